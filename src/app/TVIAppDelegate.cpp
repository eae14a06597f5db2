#include "app/TVIAppDelegate.h"

#include "app/TVIAppPreferences.h"
#include "app/TVIAppUpdates.h"
#include "app/TVICallControl.h"
#include "app/TVICapturedText.h"
#include "app/TVICrashReports.h"
#include "app/TVIProblemReport.h"
#include "app/TVIPreferenceKeys.h"
#include "capture/TVIAccessibility.h"
#include "capture/TVIPasteBoardObserver.h"
#include "diagnostics/DDFileLogger.h"
#include "diagnostics/DDLog.h"
#include "diagnostics/DDLogFileManagerDefault.h"
#include "diagnostics/DDLogMacros.h"
#include "diagnostics/DDTTYLogger.h"
#include "environment/TVIAutoLoginUtils.h"
#include "environment/TVIAutomatorInstaller.h"
#include "environment/TVILocalizationUtilities.h"
#include "foundation/UserDefaults.h"
#include "platform/Accessibility.h"
#include "platform/DistributedNotifications.h"
#include "platform/Platform.h"

#include <vector>

namespace tvi {
namespace {

constexpr const char* kTextFromAutomatorNotification = "com.orvella.Telvora-Automator.textFromAutomator";

}

TVIAppDelegate::TVIAppDelegate()
    : preferences_(std::make_unique<TVIAppPreferences>()), callControl_(std::make_shared<TVICallControl>()),
      updates_(std::make_unique<TVIAppUpdates>(*preferences_)), problemReport_(std::make_shared<TVIProblemReport>()),
      crashReports_(std::make_unique<TVICrashReports>(problemReport_))
{
}

TVIAppDelegate::~TVIAppDelegate()
{
    pasteboardObserver_.reset();
    DDLogInfo("%@: => dealloc");
}

void TVIAppDelegate::applicationDidFinishLaunching()
{
    DDLogInfo("%@: => applicationDidFinishLaunching");
    initLogging();
    initAboutDialog();
    initAxStatusItem();
    initPreferences();
    initNotifications();
    initPasteboardObserver();
    initSocket();
    initAutoLogin();
    initAutomatorInstaller();
    crashReports_->checkForCrashes();
    std::weak_ptr<TVIAppDelegate> weak = weak_from_this();
    const std::string accessibilityNotification = Platform::get<Accessibility>()->changeNotificationName();
    Platform::get<DistributedNotifications>()->addObserver(this, accessibilityNotification,
                                                           [weak](const std::string&, const std::optional<std::string>&) {
                                                               if (auto self = weak.lock()) self->accessibilityChanged();
                                                           });
    DispatchQueue::main()->async([weak] {
        if (auto self = weak.lock()) self->cacheIsAccessibilityEnabled();
    });
    logLanguageAndRegion();
    // The cached answer is not in yet, so this asks the system at every start;
    // the system prompts only when access was never granted.
    if (!isAccessibilityEnabled_) TVIAccessibilityOpenPanel();
}

void TVIAppDelegate::applicationWillTerminate()
{
    DDLogInfo("%@: => applicationWillTerminate");
    disableAllShortcuts();
    stopServer();
    removeNotifications();
    updates_->installUpdateOnQuit();
}

void TVIAppDelegate::initLogging()
{
    // Queued before any logger exists, so it reaches none.
    DDLogInfo("%@: => initLogging");
    auto console = DDTTYLogger::sharedInstance();
    DDLog::addLogger(console);
    console->setColorsEnabled(true);
    fileLogger_ = std::make_shared<DDFileLogger>(std::make_shared<DDLogFileManagerDefault>());
    fileLogger_->setRollingFrequency(60 * 60 * 24);
    fileLogger_->logFileManager()->setMaximumNumberOfLogFiles(2);
    DDLog::addLogger(fileLogger_);
    problemReport_->setFileLogger(fileLogger_);
}

void TVIAppDelegate::observeCallActionNotifications()
{
    std::weak_ptr<TVICallControl> weak = callControl_;
    for (TVICallAction action : allCallActions) {
        NotificationCenter::defaultCenter().addObserver(
            std::string(TVIMessageTypes::codes(action).notification), nullptr,
            [weak, action](const Notification& notification) {
                if (auto callControl = weak.lock()) callControl->shortcutUpdated(action, notification);
            },
            this);
    }
}

void TVIAppDelegate::initNotifications()
{
    DDLogInfo("%@: => initNotifications");
    std::weak_ptr<TVIAppDelegate> weak = weak_from_this();
    Platform::get<DistributedNotifications>()->addObserver(
        this, kTextFromAutomatorNotification, [weak](const std::string&, const std::optional<std::string>& text) {
            if (auto self = weak.lock()) self->callControl_->capturedText().getSelectedTextFromService(text);
        });
    // The enabled keys in the controller's order, then the start-at-login and the server address.
    std::vector<const char*> observedKeys;
    for (TVICallAction action : allCallActions) observedKeys.push_back(TVIMessageTypes::codes(action).enabledKey);
    observedKeys.insert(observedKeys.end(), {TVIStartAtLogin, TVILastSavedIpString});
    for (const char* key : observedKeys) {
        defaults().addObserver(
            key,
            [weak, key](const PlistValue& newValue) {
                if (auto self = weak.lock()) self->observeValueForKeyPath(key, newValue);
            },
            this);
    }
    observeCallActionNotifications();
    DDLogInfo("%@: => addObserver for pasteboard");
    NotificationCenter::defaultCenter().addObserver(
        TVIPasteBoardObserver::kPasteboardUpdatedNotification, nullptr,
        [weak](const Notification& notification) {
            if (auto self = weak.lock())
                self->callControl_->capturedText().pasteboardUpdated(TVIPasteBoardObserver::stringFromNotification(notification));
        },
        this);
}

void TVIAppDelegate::initPasteboardObserver()
{
    DDLogInfo("%@: => initPasteboardObserver");
    pasteboardObserver_ = std::make_unique<TVIPasteBoardObserver>(pasteboardPollInterval_);
}

void TVIAppDelegate::cacheIsAccessibilityEnabled()
{
    isAccessibilityEnabled_ = TVIAccessibilityIsEnabled();
}

void TVIAppDelegate::accessibilityChanged()
{
    // Give the system a moment to settle before asking again.
    std::weak_ptr<TVIAppDelegate> weak = weak_from_this();
    DispatchQueue::main()->after(std::chrono::nanoseconds(150000000), [weak] {
        if (auto self = weak.lock()) self->cacheIsAccessibilityEnabled();
    });
}

void TVIAppDelegate::removeNotifications()
{
    DDLogInfo("%@: => removeNotifications");
    Platform::get<DistributedNotifications>()->removeObserversForOwner(this);
    defaults().removeObserversForOwner(this);
    DDLogInfo("%@: => removeObserver for pasteboardUpdated");
    NotificationCenter::defaultCenter().removeObserversForOwner(this);
    // The preferences window's changes are followed by call control itself.
    NotificationCenter::defaultCenter().removeObserversForOwner(callControl_.get());
}

void TVIAppDelegate::initSocket()
{
    DDLogInfo("%@: => initSocket");
    tviSocket_ = TVISocket::create();
    tviSocket_->setController(weak_from_this());
    callControl_->setSocket(tviSocket_);
    tviSocket_->startServer();
}

void TVIAppDelegate::stopServer()
{
    DDLogInfo("%@: => stopServer");
    if (tviSocket_) tviSocket_->stopServer();
}

void TVIAppDelegate::initAutoLogin()
{
    if (preferences_->preferenceStartAtLogin())
        TVIAutoLoginUtils::addLoginItem();
    else
        TVIAutoLoginUtils::removeLoginItem();
}

void TVIAppDelegate::initAutomatorInstaller()
{
    installer_ = TVIAutomatorInstaller::create();
}

void TVIAppDelegate::logLanguageAndRegion()
{
    DDLogInfo("%@: => Language:%@", TVILocalizationUtilities::getLanguage());
    DDLogInfo("%@: => Region:%@", TVILocalizationUtilities::getRegion());
}

}
