#include "AppDelegate.h"

#include "ConsoleLog.h"
#include "DesktopIntegration.h"
#include "Localization.h"
#include "LibrarySteps.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QShortcut>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace sarnex {
namespace {
void log(const std::string& text) { ConsoleLog::line(text); }

QString q(const std::string& text) { return QString::fromStdString(text); }

// Texts looked up under an empty key, with the English text as the fallback.
QString fallbackText(const std::string& english)
{
    return q(AppDelegate::replaceAppNameInString(Localization::localizedString("", english)));
}

QLabel* imageLabel(QStyle::StandardPixmap icon)
{
    auto* label = new QLabel;
    label->setPixmap(QApplication::style()->standardIcon(icon).pixmap(48, 48));
    return label;
}
}

AppDelegate::AppDelegate(std::unique_ptr<PrivilegedRunner> runner, std::unique_ptr<RunningTelvoras> telvoras)
    : runner_(std::move(runner)), telvoras_(std::move(telvoras)),
      alert_([this](const std::string& title, const std::string& detail) {
          QMessageBox box(QMessageBox::Warning, q(title), q(title), QMessageBox::Ok, window);
          box.setInformativeText(q(detail));
          box.exec();
      })
{
    buildWindow();
}

AppDelegate::~AppDelegate()
{
    delete window;
}

std::string AppDelegate::replaceAppNameInString(const std::string& text)
{
    static const std::string placeholder = "<AppName>";
    std::string out = text;
    for (auto at = out.find(placeholder); at != std::string::npos; at = out.find(placeholder, at))
        out.replace(at, placeholder.size(), SARNEX_UNINSTALL_NAME), at += std::string(SARNEX_UNINSTALL_NAME).size();
    return out;
}

void AppDelegate::buildWindow()
{
    window = new QMainWindow;
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    auto* top = new QHBoxLayout;
    removeTextField = new QLabel;
    removeTextField->setWordWrap(true);
    removeTextField->setMinimumWidth(360);
    okImageView = imageLabel(QStyle::SP_DialogApplyButton);
    errorImageView = imageLabel(QStyle::SP_MessageBoxCritical);
    okImageView->setObjectName("okImageView");
    errorImageView->setObjectName("errorImageView");
    top->addWidget(removeTextField, 1);
    top->addWidget(okImageView);
    top->addWidget(errorImageView);
    layout->addLayout(top);
    progressIndicator = new QProgressBar;
    progressIndicator->setRange(0, 0); // indeterminate: it animates while shown
    layout->addWidget(progressIndicator);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    exitButton = new QPushButton;
    continueButton = new QPushButton;
    continueButton->setDefault(true);
    buttons->addWidget(exitButton);
    buttons->addWidget(continueButton);
    layout->addLayout(buttons);
    window->setCentralWidget(content);
    QObject::connect(continueButton, &QPushButton::clicked, this, [this] { ContinueAction(); });
    QObject::connect(exitButton, &QPushButton::clicked, this, [this] { exitAction(); });
    // Continue is the window's default button: Return presses it, as in a dialogue.
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter})
        QObject::connect(new QShortcut(QKeySequence(key), window), &QShortcut::activated, this, [this] {
            if (continueButton->isEnabled()) continueButton->animateClick();
        });
    buildMenu();
}

void AppDelegate::buildMenu()
{
    AppMainMenuItem = window->menuBar()->addMenu(QString());
    AboutMenuItem = AppMainMenuItem->addAction(QString(), this, [this] {
        QMessageBox::about(window, AboutMenuItem->text(), q(SARNEX_UNINSTALL_NAME));
    });
    AppMainMenuItem->addSeparator();
    // Nothing to set and no services on this desktop: both stay in the menu, disabled.
    PrefMenuItem = AppMainMenuItem->addAction(QString());
    PrefMenuItem->setEnabled(false);
    ServicesMenuItem = AppMainMenuItem->addMenu(QString());
    ServicesMenuItem->setEnabled(false);
    AppMainMenuItem->addSeparator();
    // Hiding is minimising here; other applications' windows are not ours to hide or show.
    HideAppMenuItem = AppMainMenuItem->addAction(QString(), this, [this] { window->showMinimized(); });
    HideAppMenuItem->setShortcut(QKeySequence(QStringLiteral("Ctrl+H")));
    HideOthersMenuItem = AppMainMenuItem->addAction(QString());
    HideOthersMenuItem->setEnabled(false);
    ShowAllMenuItem = AppMainMenuItem->addAction(QString());
    ShowAllMenuItem->setEnabled(false);
    AppMainMenuItem->addSeparator();
    QuitAppMenuItem = AppMainMenuItem->addAction(QString(), this, [this] { exitAction(); });
    QuitAppMenuItem->setShortcut(QKeySequence::Quit);
}

void AppDelegate::applicationDidFinishLaunching()
{
    const QStringList languages = QLocale().uiLanguages();
    log("Language: " + (languages.isEmpty() ? std::string("en") : languages.first().toStdString()));
    log("Region: " + QLocale::territoryToCode(QLocale().territory()).toStdString());
    okImageView->hide();
    errorImageView->hide();
    progressIndicator->hide();
    hasErrorOccured = false;
    hasUserCancelled = false;

    removeTextField->setText(q(Localization::localizedString("Remove Sarnex", "Remove Sarnex")));
    continueButton->setText(fallbackText("Continue"));
    exitButton->setText(fallbackText("Exit"));
    window->setWindowTitle(fallbackText(SARNEX_UNINSTALL_NAME));
    AppMainMenuItem->setTitle(fallbackText(SARNEX_UNINSTALL_NAME));
    AboutMenuItem->setText(fallbackText("About <AppName>"));
    PrefMenuItem->setText(fallbackText("Preferences..."));
    ServicesMenuItem->setTitle(fallbackText("Services"));
    HideAppMenuItem->setText(fallbackText("Hide <AppName>"));
    HideOthersMenuItem->setText(fallbackText("Hide Others"));
    ShowAllMenuItem->setText(fallbackText("Show All"));
    QuitAppMenuItem->setText(fallbackText("Quit <AppName>"));
}

void AppDelegate::startProgress()
{
    progressIndicator->setRange(0, 0);
    progressIndicator->show();
}

void AppDelegate::stopProgress()
{
    // A determinate, full bar no longer animates.
    progressIndicator->setRange(0, 1);
    progressIndicator->setValue(1);
}

void AppDelegate::ContinueAction()
{
    hasErrorOccured = false;
    hasUserCancelled = false;
    okImageView->hide();
    errorImageView->hide();
    startProgress();
    QApplication::processEvents(); // paint the indicator before the steps block the thread
    // Nothing is quit or removed when the privileged step cannot run here at all.
    if (const std::optional<std::string> why = runner_->whyItCannotRun()) {
        cannotRun(*why);
        return;
    }
    const bool telvoraWasRunning = quitTelvoraApp();
    UninstallAppPlusForgetCmd();
    // The package is still installed: the user's things stay, Telvora comes back, Continue
    // tries again.
    if (hasUserCancelled || hasErrorOccured) {
        if (telvoraWasRunning) telvoras_->relaunch();
        if (!hasErrorOccured) return;
        removeTextField->setText(q(Localization::localizedString("Sarnex Not Removed", "Telvora was not removed.")));
        abortWithError(Localization::localizedString("", "Telvora could not be removed."), failure_);
        return;
    }
    removeUsersThings();
    finalize();
}

void AppDelegate::removeUsersThings()
{
    LibrarySteps::UninstallAutomatorAction();
    LibrarySteps::UninstallAutomatorWorkflow();
    LibrarySteps::UninstallAutomatorWorkflowLegacy();
    LibrarySteps::UninstallOldAutomatorAction();
    LibrarySteps::UninstallOldAutomatorWorkflow();
    LibrarySteps::UninstallOldAutomatorWorkflowLegacy();
    LibrarySteps::UninstallAddressBookPlugin();
    LibrarySteps::deleteApplicationSupportFolder();
    LibrarySteps::deleteLogsFolder();
    LibrarySteps::deletePreferences();
    LibrarySteps::deleteCrashReports();
    LibrarySteps::deleteEmptyFolders();
    DesktopIntegration::UninstallLinkHandler();
    DesktopIntegration::UnregisterLinkHandlerDefaults();
    DesktopIntegration::UninstallAutostartEntry();
}

void AppDelegate::cannotRun(const std::string& why)
{
    log("The privileged step cannot run: " + why);
    removeTextField->setText(q(Localization::localizedString("Sarnex Cannot Ask", "Telvora was not removed.")));
    abortWithError(Localization::localizedString("", "Sarnex Uninstall cannot remove Telvora here."),
                   why + " " +
                       Localization::localizedString("", "Nothing was changed. To remove Telvora, run this command in a "
                                                         "terminal: sudo apt purge telvora"));
}

void AppDelegate::exitAction()
{
    QApplication::quit();
}

bool AppDelegate::quitTelvoraApp()
{
    log("quitTelvoraApp");
    const std::vector<std::string> paths = telvoras_->executablePaths();
    if (paths.empty()) {
        log("Didn't find any running applications with bundle identifier: com.orvella.Telvora ");
        return false;
    }
    log("Found " + std::to_string(paths.size()) + " running app");
    log("Terminating all running apps");
    for (std::size_t i = 0; i < paths.size(); ++i) {
        log("Terminating app at: " + paths[i]);
        telvoras_->terminate(i);
    }
    return true;
}

void AppDelegate::UninstallAppPlusForgetCmd()
{
    log("UninstallAppPlusForgetCmd");
    const PrivilegedOutcome outcome = runner_->run();
    if (!outcome.errorInfo) {
        log("errorDict is nil");
        if (!outcome.returned.empty()) log("returnDescriptor: " + outcome.returned);
        return;
    }
    handleScriptError(*outcome.errorInfo);
}

void AppDelegate::handleScriptError(const std::vector<std::pair<std::string, std::string>>& errorInfo)
{
    if (errorInfo.empty()) {
        log("errorDict is empty");
        return;
    }
    const std::string* message = nullptr;
    const std::string* number = nullptr;
    for (const auto& [key, value] : errorInfo) {
        if (key == PrivilegedRunner::kMessageKey) message = &value;
        if (key == PrivilegedRunner::kNumberKey) number = &value;
    }
    const auto logEntries = [&] {
        for (const auto& [key, value] : errorInfo) log("Key: " + key + ", Value " + value);
    };
    if (!message || !number) {
        logEntries();
        log("errorDict NSAppleScriptErrorMessage doesn't exist");
        return;
    }
    const long code = std::strtol(number->c_str(), nullptr, 10);
    if (*message == "User canceled." && code == PrivilegedRunner::kUserCanceled) {
        logEntries();
        log("User canceled.Ignoring the error");
        userCancelledUninstall();
    } else if (message->find("No such file or directory") != std::string::npos && code == 1) {
        log("UninstallAppPlusForgetCmd path not found or already deleted.Ignoring the error");
    } else {
        // The internal names are for the log; the user reads what happened and what to do.
        log("UninstallAppPlusForgetCmd has returned an error");
        log("NSAppleScriptErrorMessage: " + *message);
        log("NSAppleScriptErrorNumber:" + std::to_string(code));
        hasErrorOccured = true;
        failure_ = failureDetail(*message, code);
    }
}

std::string AppDelegate::failureDetail(const std::string& message, long code)
{
    const std::string what =
        code == PrivilegedRunner::kCannotAsk
            ? Localization::localizedString("", "The administrator password could not be asked for, or this user "
                                                "may not remove Telvora.")
            : Localization::localizedString("", "The administrator step did not complete") + " (" + message + ").";
    return what + " " +
           Localization::localizedString("", "Nothing else was removed, and Telvora was started again if it was "
                                             "running. Click Continue to try again, or run this command in a "
                                             "terminal: sudo apt purge telvora");
}

void AppDelegate::finalize()
{
    stopProgress();
    progressIndicator->hide();
    okImageView->setVisible(!hasErrorOccured);
    errorImageView->setVisible(hasErrorOccured);
    continueButton->setEnabled(false);
    removeTextField->setText(q(Localization::localizedString("Removed Sarnex", "Telvora has been removed.")));
}

void AppDelegate::userCancelledUninstall()
{
    stopProgress();
    progressIndicator->hide();
    hasUserCancelled = true;
}

void AppDelegate::abortWithError(const std::string& title, const std::string& detail)
{
    stopProgress();
    progressIndicator->hide();
    hasErrorOccured = true;
    errorImageView->show();
    log("Alert: " + title + " " + detail);
    alert_(title, detail);
}

}
