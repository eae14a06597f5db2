#pragma once

// Sarnex Uninstall's window and flow: Continue quits the running Telvoras, runs the
// privileged step, then removes the companions, the folders and the desktop integration from
// the user's home and shows the OK or the error image. A privileged step that cannot run is
// found before Telvora is quit; one that fails removes nothing else, starts Telvora again and
// leaves Continue to try once more.
#include "PrivilegedRunner.h"
#include "RunningTelvoras.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
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
    bool quitTelvoraApp(); // whether any was running
    void UninstallAppPlusForgetCmd();
    void handleScriptError(const std::vector<std::pair<std::string, std::string>>& errorInfo);
    static std::string failureDetail(const std::string& message, long code);
    void cannotRun(const std::string& why);
    void removeUsersThings();
    void finalize();
    void userCancelledUninstall();
    void abortWithError(const std::string& title, const std::string& detail);
    void startProgress();
    void stopProgress();

    std::unique_ptr<PrivilegedRunner> runner_;
    std::unique_ptr<RunningTelvoras> telvoras_;
    Alert alert_;
    std::string failure_; // what the alert says after a failed privileged step
};

}
