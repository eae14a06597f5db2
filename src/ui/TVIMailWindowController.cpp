#include "ui/TVIMailWindowController.h"

#include "app/TVIPreferenceKeys.h"
#include "diagnostics/DDLogMacros.h"
#include "environment/DirectoryLocations.h"
#include "environment/TVIGeneralUtils.h"
#include "foundation/Bundle.h"
#include "foundation/DispatchQueue.h"
#include "foundation/PropertyListSerialization.h"
#include "foundation/UserDefaults.h"
#include "platform/Alerts.h"
#include "platform/MailComposer.h"
#include "platform/Platform.h"
#include "ui/TVIUiText.h"

#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>

#include <chrono>
#include <filesystem>
#include <system_error>

namespace tvi {

namespace {

// The support mailbox is a deployment value of the bundle.
constexpr const char* kSupportMailAddressKey = "TVISupportMailAddress";

std::string supportMailAddress()
{
    return Bundle::mainBundle().objectForInfoDictionaryKey(kSupportMailAddressKey).stringValue().value_or("");
}

// All image types this desktop can read, and the text and document types.
QString attachmentTypesFilter()
{
    QStringList patterns;
    for (const QByteArray& format : QImageReader::supportedImageFormats())
        patterns << QStringLiteral("*.") + QString::fromLatin1(format);
    patterns << "*.txt" << "*.text" << "*.log" << "*.rtf" << "*.rtfd" << "*.html" << "*.htm" << "*.xml" << "*.pdf";
    patterns.removeDuplicates();
    return QStringLiteral("(") + patterns.join(' ') + QStringLiteral(")");
}

}

TVIMailWindowController::TVIMailWindowController(bool isReportDialog, TVIMailDiagnosticSources sources)
    : TVIMailWindowController(isReportDialog, std::move(sources), UserDefaults::standard())
{
}

TVIMailWindowController::TVIMailWindowController(bool isReportDialog, TVIMailDiagnosticSources sources,
                                                 UserDefaults& defaults)
    : isReportDialog_(isReportDialog),
      sources_(std::move(sources)),
      defaults_(defaults),
      compressQueue_(DispatchQueue::createSerial("Compress Queue")),
      self_(std::make_shared<TVIMailWindowController*>(this))
{
    buildWindow();
    initDefaultStringsForDialog();
    initProgressIndicators();
}

TVIMailWindowController::~TVIMailWindowController() = default;

void TVIMailWindowController::buildWindow()
{
    window_ = std::make_unique<QWidget>(nullptr, Qt::Window);
    window_->setObjectName("TVIMailWindow");
    window_->setMinimumSize(520, 440);

    toField_ = new QLineEdit;
    fromLabel_ = new QLabel;
    fromField_ = new QLineEdit;
    subjectLabel_ = new QLabel;
    subjectField_ = new QLineEdit;
    attachmentLabel_ = new QLabel;
    fileAttachmentField_ = new QLineEdit;
    chooseButton_ = new QPushButton;
    messageContent_ = new QPlainTextEdit;
    compressProgressIndicator_ = new QProgressBar;
    progressLabel_ = new QLabel;
    attachmentsNoticeLabel_ = new QLabel;
    sendEmailButton_ = new QPushButton;

    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->addRow(TVIUiText::localized("To:"), toField_);
    form->addRow(fromLabel_, fromField_);
    form->addRow(subjectLabel_, subjectField_);
    auto* attachmentRow = new QHBoxLayout;
    attachmentRow->addWidget(fileAttachmentField_, 1);
    attachmentRow->addWidget(chooseButton_);
    form->addRow(attachmentLabel_, attachmentRow);

    // A busy bar without range is the toolkit's spinning indicator.
    compressProgressIndicator_->setRange(0, 0);
    compressProgressIndicator_->setTextVisible(false);
    compressProgressIndicator_->setMaximumWidth(90);
    // The body wraps at the window edge: it never needs a horizontal bar.
    messageContent_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    attachmentsNoticeLabel_->setWordWrap(true);
    attachmentsNoticeLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    attachmentsNoticeLabel_->hide();

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(compressProgressIndicator_);
    buttons->addWidget(progressLabel_);
    buttons->addStretch(1);
    buttons->addWidget(sendEmailButton_);
    sendEmailButton_->setDefault(true);

    auto* root = new QVBoxLayout(window_.get());
    root->addLayout(form);
    root->addWidget(messageContent_, 1);
    root->addWidget(attachmentsNoticeLabel_);
    root->addLayout(buttons);

    QObject::connect(chooseButton_, &QPushButton::clicked, window_.get(), [this] { chooseFileAttachment(); });
    QObject::connect(sendEmailButton_, &QPushButton::clicked, window_.get(), [this] { sendEmailMessage(); });
    // Return in a one-line field presses the default button, as it does in a dialog: the window
    // is no dialog, so the button's default flag alone would never fire.
    for (QLineEdit* field : {toField_, fromField_, subjectField_, fileAttachmentField_})
        QObject::connect(field, &QLineEdit::returnPressed, sendEmailButton_, [this] {
            if (sendEmailButton_->isEnabled()) sendEmailButton_->animateClick();
        });
}

void TVIMailWindowController::initDefaultStringsForDialog()
{
    const QString title = TVIUiText::localized(isReportDialog_ ? "Problem Report for <AppName>" : "Feedback for <AppName>");
    window_->setWindowTitle(title);
    toField_->setText(QString::fromStdString(supportMailAddress()));
    fromLabel_->setText(TVIUiText::localized("From:"));
    fromField_->setText(TVIUiText::localized("type your email address here"));
    subjectLabel_->setText(TVIUiText::localized("Subject:"));
    subjectField_->setText(
        QString::fromStdString(format("%@ %@", title.toStdString(), TVIGeneralUtils::getCombinedVersionAlt())));
    attachmentLabel_->setText(TVIUiText::localized("Attachment:"));
    fileAttachmentField_->clear();
    chooseButton_->setText(TVIUiText::localized("Choose..."));
    messageContent_->setPlainText(TVIUiText::localized(
        isReportDialog_
            ? "Please tell us about this problem by sending this report. The report contains technical data to help us "
              "understand the problem and improve the product for you. Please describe what you where doing when the "
              "problem occurred. Please note that any information provided here, won't be considered as an official "
              "customer support request."
            : "Provide your feedback here, to help us improve the product. Please note that any information provided "
              "here, won't be considered as an official customer support request."));
    sendEmailButton_->setText(TVIUiText::localized(isReportDialog_ ? "Send Report" : "Send Feedback"));
    sendEmailButton_->setEnabled(true);
    progressLabel_->setText(TVIUiText::localized("Collecting data..."));
    attachmentsNoticeLabel_->clear();
    attachmentsNoticeLabel_->hide();
}

void TVIMailWindowController::initProgressIndicators()
{
    compressProgressIndicator_->setVisible(isReportDialog_);
    progressLabel_->setVisible(isReportDialog_);
}

void TVIMailWindowController::showWindow()
{
    initDefaultStringsForDialog();
    initProgressIndicators();
    if (isReportDialog_) attachDiagnosticFilesToMail();
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void TVIMailWindowController::setIndicatorRunning(bool running)
{
    collecting_ = running;
    compressProgressIndicator_->setVisible(running);
    progressLabel_->setVisible(running);
}

void TVIMailWindowController::postToMain(const std::weak_ptr<TVIMailWindowController*>& window,
                                         std::uint64_t collection,
                                         std::function<void(TVIMailWindowController&)> step)
{
    DispatchQueue::main()->async([window, collection, step = std::move(step)] {
        const std::shared_ptr<TVIMailWindowController*> self = window.lock();
        if (self && (*self)->collection_ == collection) step(**self);
    });
}

void TVIMailWindowController::attachDiagnosticFilesToMail()
{
    const std::uint64_t collection = ++collection_;
    // The files of the previous collection are about to be removed: never offer them.
    diagFileUrls_.clear();
    setIndicatorRunning(true);
    const std::optional<std::string> folder = DirectoryLocations::applicationSupportDirectorySubmissionDirectory();
    const std::weak_ptr<TVIMailWindowController*> window = self_;
    const auto written = [window, collection](std::string path) {
        postToMain(window, collection, [path = std::move(path)](TVIMailWindowController& self) {
            self.diagFileUrls_.push_back(path);
        });
    };
    // One serial queue: a collection started while another runs waits for it, so the two
    // never empty and fill the folder at the same time.
    compressQueue_->async([window, collection, sources = sources_, folder, written] {
        if (folder) collect(sources, *folder, written);
        postToMain(window, collection, [](TVIMailWindowController& self) { self.setIndicatorRunning(false); });
    });
}

void TVIMailWindowController::collect(const TVIMailDiagnosticSources& sources, const std::string& folder,
                                      const std::function<void(std::string)>& written)
{
    emptySubmissionDirectory(folder);
    const std::vector<PlistData> logs = sources.errorLogData ? sources.errorLogData() : std::vector<PlistData>{};
    const std::vector<PlistData> reports = sources.crashLogData ? sources.crashLogData() : std::vector<PlistData>{};
    const std::optional<PlistData> profile =
        sources.systemProfileAsNSData ? sources.systemProfileAsNSData() : std::nullopt;
    if (logs.empty() && reports.empty()) return;

    // A file that could not be compressed or written is not listed; its number stays unused.
    const auto store = [&](const PlistData& content, const std::string& name) {
        const std::optional<PlistData> compressed = sources.gzipData(content);
        if (!compressed) return;
        const std::string path = folder + "/" + name;
        if (PropertyListSerialization::writeDataAtomically(*compressed, path)) written(path);
    };
    int counter = 0;
    for (const PlistData& log : logs) store(log, format("log%d.gzip", ++counter));
    for (const PlistData& report : reports) store(report, format("crash%d.gzip", ++counter));
    if (profile) store(*profile, "profile.gzip");
}

void TVIMailWindowController::emptySubmissionDirectory(const std::string& folder)
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::directory_iterator entry(folder, error);
    for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
        std::error_code removeError;
        fs::remove_all(entry->path(), removeError);
        if (removeError)
            DDLogError("%@: An error occured trying to empty the Latest submission directory with file: %@",
                       entry->path().filename().string());
    }
}

std::vector<std::string> TVIMailWindowController::userAttachmentPaths(const std::string& field)
{
    std::vector<std::string> paths;
    for (const QString& rawPiece : QString::fromStdString(field).split(',')) {
        const QString piece = rawPiece.trimmed();
        if (piece.isEmpty()) continue;
        const QUrl url(piece);
        paths.push_back(url.isLocalFile() ? url.toLocalFile().toStdString() : piece.toStdString());
    }
    return paths;
}

std::string TVIMailWindowController::attachmentFieldText(const std::vector<std::string>& paths)
{
    QStringList urls;
    // A comma inside a file name would split it in two: it travels encoded.
    for (const std::string& path : paths)
        urls << QUrl::fromLocalFile(QString::fromStdString(path)).toString(QUrl::FullyEncoded).replace(',', "%2C");
    return urls.join(',').toStdString();
}

void TVIMailWindowController::chooseFileAttachment()
{
    const QStringList chosen =
        QFileDialog::getOpenFileNames(window_.get(), QString(), QString(), attachmentTypesFilter());
    if (chosen.isEmpty()) return;
    std::vector<std::string> paths;
    for (const QString& path : chosen) paths.push_back(path.toStdString());
    fileAttachmentField_->setText(QString::fromStdString(attachmentFieldText(paths)));
}

void TVIMailWindowController::sendEmailMessage()
{
    MailMessage message;
    message.sender = fromField_->text().toStdString();
    message.recipient = toField_->text().toStdString();
    message.subject = subjectField_->text().toStdString();
    message.body = messageContent_->toPlainText().toStdString();
    if (isReportDialog_) message.attachments = diagFileUrls_;
    for (std::string& path : userAttachmentPaths(fileAttachmentField_->text().toStdString()))
        message.attachments.push_back(std::move(path));

    const MailOutcome outcome = Platform::get<MailComposer>()->send(message);
    if (!outcome.sent) {
        eventDidFail(outcome.errorDescription);
        return;
    }
    defaults_.setObject(PlistValue(PlistDate(std::chrono::system_clock::now())), TVICrashLogLastSubmitedDate);
    defaults_.synchronize();
    if (outcome.attachmentsLeftToUser) {
        showAttachmentsLeftToUser(outcome.attachmentsFolder);
        return;
    }
    window_->close();
}

void TVIMailWindowController::eventDidFail(const std::string& errorDescription)
{
    Alert alert;
    alert.messageText = TVIUiText::localizedStd("Error");
    alert.informativeText = format("%@", errorDescription);
    alert.buttons = {TVIUiText::localizedStd("OK")};
    Platform::get<Alerts>()->runModal(alert);
}

void TVIMailWindowController::showAttachmentsLeftToUser(const std::string& folder)
{
    // The message is with the mail client; the window stays to tell where the files are,
    // and cannot send the same message twice.
    attachmentsNoticeLabel_->setText(QString::fromStdString(format(
        TVIUiText::localizedStd("Your mail program could not take the attachments. Please attach the files of the "
                                "folder that has been opened beside the message: %@"),
        folder)));
    attachmentsNoticeLabel_->show();
    sendEmailButton_->setEnabled(false);
}

}
