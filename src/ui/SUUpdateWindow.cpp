#include "ui/SUUpdateWindow.h"
#include "ui/TVIWindowPlacement.h"

#include "diagnostics/DDLogMacros.h"
#include "foundation/Bundle.h"
#include "foundation/Format.h"
#include "ui/TVIUiText.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace tvi {
namespace {

constexpr int kWindowWidth = 560;
constexpr int kIconSize = 64;
constexpr int kNotesHeight = 220;
// The progress bar counts in thousandths, so that sizes beyond int stay exact enough.
constexpr int kProgressSteps = 1000;

// Closing the window (title bar or Escape) asks first: on some pages it is an answer.
class UpdateDialog : public QDialog {
public:
    explicit UpdateDialog(std::function<bool()> shouldClose)
        : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
          shouldClose_(std::move(shouldClose))
    {
    }
    void reject() override
    {
        if (shouldClose_()) QDialog::reject();
    }

private:
    std::function<bool()> shouldClose_;
};

// Release notes come from the feed: they may not make Telvora fetch anything, local files
// included (an <img> would otherwise read them).
class ReleaseNotesBrowser : public QTextBrowser {
public:
    using QTextBrowser::QTextBrowser;
    QVariant loadResource(int, const QUrl&) override { return {}; }
};

QString text(const char* english) { return TVIUiText::localized(english); }

template <class... Args>
QString formatted(const char* english, Args&&... args)
{
    return QString::fromStdString(format(TVIUiText::localizedStd(english), std::forward<Args>(args)...));
}

QIcon applicationIcon()
{
    // The package installs the icon in the theme; a bundle run from a folder carries its own.
    QIcon icon = QIcon::fromTheme(QStringLiteral("com.orvella.Telvora"));
    if (!icon.isNull()) return icon;
    if (const auto path = Bundle::mainBundle().pathForResource("AppIcon", "png"))
        return QIcon(QString::fromStdString(*path));
    return QApplication::windowIcon();
}

// Only addresses a browser or mail program should open: the notes are not to start programs.
void openReleaseNotesLink(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("https") && scheme != QLatin1String("http") && scheme != QLatin1String("mailto")) {
        DDLogInfo("%@: Link of the release notes not opened: %@", url.toString().toStdString());
        return;
    }
    QDesktopServices::openUrl(url);
}

QLabel* plainLabel(QWidget* parent, const char* name)
{
    // Plain text: versions and names come from the feed and are not markup.
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

}

SUUpdateWindow::SUUpdateWindow() = default;

SUUpdateWindow::~SUUpdateWindow()
{
    // A widget outliving the application cannot be deleted any more: it goes with the process.
    if (!QCoreApplication::instance()) (void)window_.release();
}

QString SUUpdateWindow::megabytes(std::uint64_t bytes)
{
    const std::uint64_t tenths = bytes / 100'000 + (bytes % 100'000 >= 50'000 ? 1 : 0);
    return QStringLiteral("%1.%2 MB").arg(tenths / 10).arg(tenths % 10);
}

QDialog* SUUpdateWindow::window()
{
    if (!window_) buildWindow();
    return window_.get();
}

void SUUpdateWindow::buildWindow()
{
    window_ = std::make_unique<UpdateDialog>([this] { return windowShouldClose(); });
    window_->setObjectName("SUUpdateWindow");
    window_->setModal(false);
    window_->setWindowTitle(text("Software Update"));
    const QIcon icon = applicationIcon();
    window_->setWindowIcon(icon);

    auto* content = new QWidget(window_.get());
    content->setFixedWidth(kWindowWidth);
    iconLabel_ = new QLabel(content);
    iconLabel_->setFixedSize(kIconSize, kIconSize);
    iconLabel_->setPixmap(icon.pixmap(kIconSize, kIconSize));
    iconLabel_->setVisible(!icon.isNull());

    headingLabel_ = plainLabel(content, "heading");
    QFont headingFont = headingLabel_->font();
    headingFont.setBold(true);
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.15);
    headingLabel_->setFont(headingFont);
    textLabel_ = plainLabel(content, "informativeText");
    notesTitleLabel_ = plainLabel(content, "releaseNotesTitle");
    QFont notesTitleFont = notesTitleLabel_->font();
    notesTitleFont.setBold(true);
    notesTitleLabel_->setFont(notesTitleFont);
    notesTitleLabel_->setText(text("Release Notes:"));

    notesView_ = new ReleaseNotesBrowser(content);
    notesView_->setObjectName("releaseNotes");
    notesView_->setOpenLinks(false);
    notesView_->setFixedHeight(kNotesHeight);
    // Clicked into for scrolling, but Return stays with the window's default button.
    notesView_->setFocusPolicy(Qt::ClickFocus);
    QObject::connect(notesView_, &QTextBrowser::anchorClicked, notesView_, &openReleaseNotesLink);

    progressBar_ = new QProgressBar(content);
    progressBar_->setObjectName("progressBar");
    progressBar_->setTextVisible(false);
    progressLabel_ = plainLabel(content, "progressText");

    auto* column = new QVBoxLayout;
    column->setSpacing(8);
    column->addWidget(headingLabel_);
    column->addWidget(textLabel_);
    column->addSpacing(4);
    column->addWidget(notesTitleLabel_);
    column->addWidget(notesView_);
    column->addWidget(progressBar_);
    column->addWidget(progressLabel_);

    auto* top = new QHBoxLayout;
    top->setSpacing(16);
    top->addWidget(iconLabel_, 0, Qt::AlignTop);
    top->addLayout(column, 1);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->setSpacing(8);
    const char* const names[3] = {"leftButton", "middleButton", "rightButton"};
    for (int place = 0; place < 3; ++place) {
        buttons_[place] = new QPushButton(content);
        buttons_[place]->setObjectName(QString::fromLatin1(names[place]));
        // Return always means the page's default button, not whichever has the focus.
        buttons_[place]->setAutoDefault(false);
        QObject::connect(buttons_[place], &QPushButton::clicked, buttons_[place], [this, place] {
            if (auto action = buttonActions_[place]) action();
        });
        if (place == 1) buttonRow->addStretch();
        buttonRow->addWidget(buttons_[place]);
    }

    auto* contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(20, 18, 20, 16);
    contentLayout->setSpacing(16);
    contentLayout->addLayout(top);
    contentLayout->addLayout(buttonRow);

    auto* layout = new QVBoxLayout(window_.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    // The window has the size of its page: fixed width, the height of what is shown.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void SUUpdateWindow::showPage(Page page, const QString& heading, const QString& body, const PageButton (&buttons)[3],
                              int defaultPlace)
{
    window();
    page_ = page;
    headingLabel_->setText(heading);
    textLabel_->setText(body);
    textLabel_->setVisible(!body.isEmpty());
    for (int place = 0; place < 3; ++place) {
        QPushButton* button = buttons_[place];
        buttonActions_[place] = buttons[place].action;
        button->setText(buttons[place].text);
        button->setVisible(!buttons[place].text.isEmpty());
        button->setEnabled(true);
        button->setDefault(place == defaultPlace);
    }
    if (page != Page::Offer) {
        notesTitleLabel_->hide();
        notesView_->hide();
    }
    progressLabel_->clear();
    progressLabel_->setVisible(page == Page::Download);
    progressBar_->setVisible(page == Page::Download || page == Page::Preparing || page == Page::Installing);
    setBusy(true);
    presentWindow();
    if (defaultPlace >= 0) buttons_[defaultPlace]->setFocus();
}

void SUUpdateWindow::setBusy(bool busy)
{
    // A range of 0..0 is Qt's busy indicator.
    progressBar_->setRange(0, busy ? 0 : kProgressSteps);
}

void SUUpdateWindow::presentWindow()
{
    if (!placed_) {
        // Centred on the screen the first time, then where the person left it.
        window_->move(TVIWindowPlacement::centredOnPrimaryScreen(window_->sizeHint()));
        placed_ = true;
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

// Each page answers only through its own reply; whatever an earlier page held is dropped.
void SUUpdateWindow::forgetReplies()
{
    offerReply_ = nullptr;
    readyReply_ = nullptr;
    cancel_ = nullptr;
}

void SUUpdateWindow::showUpdateFound(const Offer& offer, std::function<void(UpdateChoice)> reply)
{
    DDLogInfo("%@: Offering version %@ (running %@)", offer.item.displayVersion(), offer.hostVersion);
    forgetReplies();
    offerReply_ = std::move(reply);
    offeredVersion_ = offer.item.displayVersion();
    window();
    const bool hasNotes = !offer.item.releaseNotesHTML.empty();
    notesView_->setHtml(hasNotes ? QString::fromStdString(offer.item.releaseNotesHTML) : QString());
    notesView_->setVisible(hasNotes);
    notesTitleLabel_->setVisible(hasNotes);
    const PageButton buttons[3] = {
        {text("Skip This Version"), [this] { answerOffer(UpdateChoice::Skip); }},
        {text("Remind Me Later"), [this] { answerOffer(UpdateChoice::RemindLater); }},
        {text(offer.downloaded ? "Install and Relaunch" : "Install Update"),
         [this] { answerOffer(UpdateChoice::Install); }},
    };
    showPage(Page::Offer, text("A new version of <AppName> is available!"),
             formatted("<AppName> %@ is now available\u2014you have %@. Would you like to install it now?",
                       offeredVersion_, offer.hostVersion),
             buttons, 2);
}

void SUUpdateWindow::showDownloadStarted(std::function<void()> cancel)
{
    DDLogInfo("%@: Showing the download");
    forgetReplies();
    cancel_ = std::move(cancel);
    const PageButton buttons[3] = {{}, {}, {text("Cancel"), [this] { cancelDownload(); }}};
    showPage(Page::Download, text("Downloading update\u2026"), QString(), buttons, -1);
}

void SUUpdateWindow::showDownloadProgress(std::uint64_t received, std::uint64_t expected)
{
    if (page_ != Page::Download || !window_) return;
    if (expected == 0) {
        setBusy(true);
        progressLabel_->setText(megabytes(received));
        return;
    }
    setBusy(false);
    const std::uint64_t shown = std::min(received, expected);
    progressBar_->setValue(static_cast<int>(static_cast<double>(shown) / static_cast<double>(expected) * kProgressSteps));
    progressLabel_->setText(
        formatted("%@ of %@", megabytes(received).toStdString(), megabytes(expected).toStdString()));
}

void SUUpdateWindow::showPreparing()
{
    forgetReplies();
    const PageButton none[3] = {};
    showPage(Page::Preparing, text("Verifying and unpacking the update\u2026"), QString(), none, -1);
}

void SUUpdateWindow::showReadyToInstall(std::function<void(bool installNow)> reply)
{
    DDLogInfo("%@: Showing the update ready to install");
    forgetReplies();
    readyReply_ = std::move(reply);
    const PageButton buttons[3] = {
        {},
        {text("Later"), [this] { answerReady(false); }},
        {text("Install and Relaunch"), [this] { answerReady(true); }},
    };
    const QString body =
        offeredVersion_.empty()
            ? text("The update has been downloaded and verified. <AppName> quits and starts again to finish.")
            : formatted("<AppName> %@ has been downloaded and verified. <AppName> quits and starts again to finish.",
                        offeredVersion_);
    showPage(Page::Ready, text("Ready to install"), body, buttons, 2);
}

void SUUpdateWindow::showInstalling()
{
    forgetReplies();
    const PageButton none[3] = {};
    showPage(Page::Installing, text("Installing update\u2026"), QString(), none, -1);
}

void SUUpdateWindow::dismissUpdate()
{
    // The flow ended: nothing shown can answer any more.
    forgetReplies();
    page_ = Page::None;
    if (window_) window_->hide();
}

bool SUUpdateWindow::windowShouldClose()
{
    // Hidden first: the answer may show the next page at once.
    switch (page_) {
    case Page::Offer:
        window_->hide();
        answerOffer(UpdateChoice::RemindLater);
        return false;
    case Page::Download:
        window_->hide();
        cancelDownload();
        return false;
    case Page::Ready:
        window_->hide();
        answerReady(false);
        return false;
    default:
        // Checks and installation go on; their next page shows the window again.
        return true;
    }
}

void SUUpdateWindow::answerOffer(UpdateChoice choice)
{
    auto reply = std::exchange(offerReply_, nullptr);
    if (!reply) return;
    disableButtons();
    // Skipping or postponing ends what this window shows; installing goes on in it.
    if (choice != UpdateChoice::Install) window_->hide();
    reply(choice);
}

void SUUpdateWindow::answerReady(bool installNow)
{
    auto reply = std::exchange(readyReply_, nullptr);
    if (!reply) return;
    disableButtons();
    if (!installNow) window_->hide();
    reply(installNow);
}

void SUUpdateWindow::cancelDownload()
{
    auto cancel = std::exchange(cancel_, nullptr);
    if (!cancel) return;
    DDLogInfo("%@: Download cancelled by the user");
    disableButtons();
    window_->hide();
    cancel();
}

void SUUpdateWindow::disableButtons()
{
    for (QPushButton* button : buttons_) button->setEnabled(false);
}

}
