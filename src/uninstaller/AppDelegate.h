#pragma once

// Sarnex Uninstall's window and flow: Continue quits the running Telvoras, runs the
// privileged step, then removes the companions, the folders and the desktop integration from
// the user's home and shows the OK or the error image.
#include "PrivilegedRunner.h"
#include "RunningTelvoras.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string>

class QAction;
class QLabel;
class QMainWindow;
class QMenu;
class QProgressBar;
class QPushButton;

namespace sarnex {

class AppDelegate : public QObject {
public:
    static constexpr const char* SARNEX_UNINSTALL_NAME = "Sarnex Uninstall";
    // Shows a modal warning and returns when the user dismissed it.
    using Alert = std::function<void(const std::string& title, const std::string& detail)>;

    AppDelegate(std::unique_ptr<PrivilegedRunner> runner, std::unique_ptr<RunningTelvoras> telvoras);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    void ContinueAction();
    void exitAction();
    void setAlert(Alert alert) { alert_ = std::move(alert); }

    static std::string replaceAppNameInString(const std::string& text);

    // Outlets, for the window and for tests.
    QMainWindow* window = nullptr;
    QProgressBar* progressIndicator = nullptr;
    QLabel* removeTextField = nullptr;
    QPushButton* continueButton = nullptr;
    QPushButton* exitButton = nullptr;
    QLabel* okImageView = nullptr;
    QLabel* errorImageView = nullptr;
    QMenu* AppMainMenuItem = nullptr;
    QAction* AboutMenuItem = nullptr;
    QAction* PrefMenuItem = nullptr;
    QMenu* ServicesMenuItem = nullptr;
    QAction* HideAppMenuItem = nullptr;
    QAction* HideOthersMenuItem = nullptr;
    QAction* ShowAllMenuItem = nullptr;
    QAction* QuitAppMenuItem = nullptr;

    bool hasErrorOccured = false;
    bool hasUserCancelled = false;

private:
    void buildWindow();
    void buildMenu();
    void quitTelvoraApp();
    void UninstallAppPlusForgetCmd();
    void handleScriptError(const std::vector<std::pair<std::string, std::string>>& errorInfo);
    void finalize();
    void userCancelledUninstall();
    void abortWithError(const std::string& title, const std::string& detail);
    void startProgress();
    void stopProgress();

    std::unique_ptr<PrivilegedRunner> runner_;
    std::unique_ptr<RunningTelvoras> telvoras_;
    Alert alert_;
};

}
