#pragma once

#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QDialog;
class QLabel;
class QMenu;
class QPushButton;
class QWidget;

namespace tvi {

// The about window: name, version, copyright and credits, the maker's web site, the
// acknowledgements, and the support pull-down (log folder, problem report, support portal,
// uninstaller). Values the caller sets before the window is first shown stay; empty ones get
// the bundle's. Credits and acknowledgements are HTML resources ("Credits.html",
// "Acknowledgements.html"); the web addresses come from the resource "Support.plist". Main thread.
class TVIAboutWindowController {
public:
    // `showReportProblem` is the controller's problem-report command.
    explicit TVIAboutWindowController(std::function<void()> showReportProblem);
    ~TVIAboutWindowController();
    TVIAboutWindowController(const TVIAboutWindowController&) = delete;
    TVIAboutWindowController& operator=(const TVIAboutWindowController&) = delete;

    // The window, built (and filled) on first use.
    QDialog* window();
    // Shows the window at `topLeft` (frame coordinates), makes it key and raises it.
    void showWindowAt(const QPoint& topLeft);

    void setAppName(const QString& name) { appName_ = name; }
    void setAppVersion(const QString& version) { appVersion_ = version; }
    void setAppCopyright(const QString& copyright) { appCopyright_ = copyright; }
    void setAppCredits(const QString& html) { appCredits_ = html; }
    void setAppWebsiteURL(const QUrl& url) { appWebsiteURL_ = url; }
    void setCustomerSupportWebsiteURL(const QUrl& url) { customerSupportWebsiteURL_ = url; }
    // An empty path removes the acknowledgements button.
    void setAcknowledgementsPath(const QString& path);

    const QString& appName() const { return appName_; }
    const QString& appVersion() const { return appVersion_; }
    const QString& acknowledgementsPath() const { return acknowledgementsPath_; }
    QPushButton* acknowledgementsButton() const { return acknowledgementsButton_; }
    QMenu* helpMenu() const { return helpMenu_; }

    // Actions.
    void visitWebsite();
    void visitCustomerSupportWebsite();
    void showAcknowledgements();
    void openLogFileLocation();
    void openFolderForUninstall();

private:
    void windowDidLoad();
    void buildWindow();
    void transformButtonWithPopMenu();
    void changePopupState(bool asPullDown);
    void fillDefaults();

    std::function<void()> showReportProblem_;
    QString appName_;
    QString appVersion_;
    QString appCopyright_;
    QString appCredits_;
    QUrl appWebsiteURL_;
    QUrl customerSupportWebsiteURL_;
    std::optional<QString> acknowledgementsPathSet_;
    QString acknowledgementsPath_;

    std::unique_ptr<QDialog> window_;
    QWidget* infoView_ = nullptr;
    QLabel* nameLabel_ = nullptr;
    QLabel* versionLabel_ = nullptr;
    QLabel* copyrightLabel_ = nullptr;
    QLabel* creditsTextView_ = nullptr;
    QPushButton* visitWebsiteButton_ = nullptr;
    QPushButton* acknowledgementsButton_ = nullptr;
    QPushButton* helpButton_ = nullptr;
    QMenu* helpMenu_ = nullptr;
};

}
