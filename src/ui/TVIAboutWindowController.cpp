#include "ui/TVIAboutWindowController.h"

#include "diagnostics/DDLogMacros.h"
#include "environment/DirectoryLocations.h"
#include "environment/TVIGeneralUtils.h"
#include "foundation/Bundle.h"
#include "foundation/PropertyListSerialization.h"
#include "ui/TVIFileManager.h"
#include "ui/TVIUiText.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFile>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

namespace tvi {
namespace {

constexpr int kWindowWidth = 420;

QString infoString(const char* key)
{
    return QString::fromStdString(Bundle::mainBundle().objectForInfoDictionaryKey(key).stringValue().value_or(""));
}

QString resourcePath(const char* name, const char* type)
{
    return QString::fromStdString(Bundle::mainBundle().pathForResource(name, type).value_or(""));
}

// A deployment value of the resource Support.plist (web addresses, support mailbox).
QUrl supportUrl(const char* key)
{
    const auto path = Bundle::mainBundle().pathForResource("Support", "plist");
    if (!path) return {};
    const auto plist = PropertyListSerialization::propertyListWithContentsOfFile(*path);
    const PlistDictionary* values = plist ? plist->get<PlistDictionary>() : nullptr;
    if (!values) return {};
    const auto found = values->find(key);
    if (found == values->end()) return {};
    return QUrl(QString::fromStdString(found->second.stringValue().value_or("")));
}

QString fileText(const QString& path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

}

TVIAboutWindowController::TVIAboutWindowController(std::function<void()> showReportProblem)
    : showReportProblem_(std::move(showReportProblem))
{
}

TVIAboutWindowController::~TVIAboutWindowController() = default;

void TVIAboutWindowController::setAcknowledgementsPath(const QString& path)
{
    acknowledgementsPathSet_ = path;
    acknowledgementsPath_ = path;
    if (acknowledgementsButton_) acknowledgementsButton_->setVisible(!path.isEmpty());
}

QDialog* TVIAboutWindowController::window()
{
    if (!window_) {
        buildWindow();
        windowDidLoad();
    }
    return window_.get();
}

void TVIAboutWindowController::showWindowAt(const QPoint& topLeft)
{
    QDialog* about = window();
    about->move(topLeft);
    about->show();
    about->raise();
    about->activateWindow();
}

void TVIAboutWindowController::buildWindow()
{
    window_ = std::make_unique<QDialog>(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    window_->setObjectName("TVIAboutWindow");
    window_->setModal(false);

    infoView_ = new QFrame(window_.get());
    infoView_->setObjectName("infoView");
    // A white sheet with a thin grey border, edge to edge under the title bar.
    infoView_->setStyleSheet("#infoView { background: white; border: 1px solid #c8c8c8; border-top: none; }"
                             "#infoView QLabel { color: #1e1e1e; }");
    nameLabel_ = new QLabel(infoView_);
    QFont nameFont = nameLabel_->font();
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.6);
    nameFont.setBold(true);
    nameLabel_->setFont(nameFont);
    versionLabel_ = new QLabel(infoView_);
    versionLabel_->setObjectName("versionLabel");
    versionLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    copyrightLabel_ = new QLabel(infoView_);
    copyrightLabel_->setStyleSheet("color: #6e6e6e;");
    // Read-only rich text that takes the height of its content.
    creditsTextView_ = new QLabel(infoView_);
    creditsTextView_->setTextFormat(Qt::RichText);
    creditsTextView_->setWordWrap(true);
    creditsTextView_->setOpenExternalLinks(true);
    creditsTextView_->setTextInteractionFlags(Qt::TextBrowserInteraction);

    auto* info = new QVBoxLayout(infoView_);
    info->setContentsMargins(24, 20, 24, 16);
    info->setSpacing(4);
    for (QLabel* label : {nameLabel_, versionLabel_}) label->setAlignment(Qt::AlignHCenter);
    copyrightLabel_->setAlignment(Qt::AlignHCenter);
    info->addWidget(nameLabel_);
    info->addWidget(versionLabel_);
    info->addSpacing(12);
    info->addWidget(creditsTextView_);
    info->addSpacing(8);
    info->addWidget(copyrightLabel_);

    helpButton_ = new QPushButton(window_.get());
    helpButton_->setObjectName("helpButton");
    helpMenu_ = new QMenu(helpButton_);
    visitWebsiteButton_ = new QPushButton(window_.get());
    visitWebsiteButton_->setDefault(true);
    acknowledgementsButton_ = new QPushButton(TVIUiText::localized("Acknowledgements"), window_.get());
    QObject::connect(visitWebsiteButton_, &QPushButton::clicked, window_.get(), [this] { visitWebsite(); });
    QObject::connect(acknowledgementsButton_, &QPushButton::clicked, window_.get(), [this] { showAcknowledgements(); });

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(16, 12, 16, 14);
    buttons->setSpacing(8); // the window's own layout has none, and a child layout takes its parent's
    buttons->addWidget(helpButton_);
    buttons->addStretch();
    buttons->addWidget(acknowledgementsButton_);
    buttons->addWidget(visitWebsiteButton_);

    auto* layout = new QVBoxLayout(window_.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(infoView_);
    layout->addLayout(buttons);
    infoView_->setFixedWidth(kWindowWidth);
    // Neither resizable nor maximisable: the window has exactly the size of its content.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TVIAboutWindowController::windowDidLoad()
{
    transformButtonWithPopMenu();
    fillDefaults();
    DDLogInfo("%@: => windowDidLoad -> appVersion:%@", appVersion_.toStdString());
    window_->setWindowTitle(TVIUiText::localized("About <AppName>"));
    nameLabel_->setText(appName_);
    versionLabel_->setText(appVersion_);
    copyrightLabel_->setText(appCopyright_);
    visitWebsiteButton_->setText(TVIUiText::localized("Visit Orvella"));
    creditsTextView_->setText(appCredits_);
    creditsTextView_->setVisible(!appCredits_.isEmpty());
    acknowledgementsButton_->setVisible(!acknowledgementsPath_.isEmpty());
    // The keyboard starts on the default button, not in the credits.
    visitWebsiteButton_->setFocus();
    window_->adjustSize();
}

void TVIAboutWindowController::fillDefaults()
{
    if (appName_.isEmpty()) appName_ = infoString("CFBundleName");
    if (appVersion_.isEmpty()) appVersion_ = QString::fromStdString(TVIGeneralUtils::getCombinedVersion());
    if (appCopyright_.isEmpty()) appCopyright_ = infoString("NSHumanReadableCopyright");
    if (!acknowledgementsPathSet_) acknowledgementsPath_ = resourcePath("Acknowledgements", "html");
    if (appCredits_.isEmpty()) appCredits_ = fileText(resourcePath("Credits", "html"));
    if (appWebsiteURL_.isEmpty()) appWebsiteURL_ = supportUrl("TVIWebsiteURL");
    if (customerSupportWebsiteURL_.isEmpty()) customerSupportWebsiteURL_ = supportUrl("TVICustomerSupportURL");
}

void TVIAboutWindowController::transformButtonWithPopMenu()
{
    DDLogInfo("%@: => transformButtonWithPopMenu");
    helpButton_->setFocusPolicy(Qt::TabFocus);
    changePopupState(true);
}

void TVIAboutWindowController::changePopupState(bool asPullDown)
{
    DDLogInfo("%@: => changePopupState");
    if (!asPullDown) {
        DDLogInfo("%@: => changePopupState make No pullDown");
        // A plain pop-up: the menu opens over the button, without a title entry.
        helpButton_->setText(helpMenu_->actions().isEmpty() ? QString() : helpMenu_->actions().first()->text());
        helpButton_->setMenu(helpMenu_);
        return;
    }
    DDLogInfo("%@: => changePopupState make pullDown");
    helpMenu_->clear();
    helpMenu_->addAction(TVIUiText::localized("Open Log Files..."), [this] { openLogFileLocation(); });
    helpMenu_->addAction(TVIUiText::localized("Report a problem..."), [this] {
        if (showReportProblem_) showReportProblem_();
    });
    helpMenu_->addAction(TVIUiText::localized("Visit Support Portal..."), [this] { visitCustomerSupportWebsite(); });
    helpMenu_->addAction(TVIUiText::localized("Uninstall..."), [this] { openFolderForUninstall(); });
    // The button's face is the menu's title entry.
    helpButton_->setText(TVIUiText::localized("Support"));
    helpButton_->setMenu(helpMenu_);
}

void TVIAboutWindowController::visitWebsite()
{
    if (appWebsiteURL_.isEmpty()) {
        DDLogInfo("%@: Error: please set the appWebsiteURL property on the about window");
        return;
    }
    QDesktopServices::openUrl(appWebsiteURL_);
}

void TVIAboutWindowController::visitCustomerSupportWebsite()
{
    if (customerSupportWebsiteURL_.isEmpty()) {
        DDLogInfo("%@: Error: please set the customerSupportWebsiteURL property on the about window");
        return;
    }
    QDesktopServices::openUrl(customerSupportWebsiteURL_);
}

void TVIAboutWindowController::showAcknowledgements()
{
    if (acknowledgementsPath_.isEmpty() || !QFile::exists(acknowledgementsPath_)) {
        DDLogInfo("%@: Error: couldn't load the acknowledgements file");
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(acknowledgementsPath_));
}

void TVIAboutWindowController::openLogFileLocation()
{
    const auto folder = DirectoryLocations::applicationLogDirectory();
    if (!folder) {
        DDLogError("%@: The log folder is unknown");
        return;
    }
    TVIFileManager::showFolder(*folder);
}

void TVIAboutWindowController::openFolderForUninstall()
{
    const auto shared = DirectoryLocations::applicationSupportDirectoryForAllUsers();
    if (!shared) {
        DDLogError("%@: The shared support folder is unknown: cannot show the uninstaller");
        return;
    }
    TVIFileManager::showItemSelected(*shared + "/Sarnex Uninstall.app");
}

}
