#include "app/TVIAppDelegate.h"

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
#include "update/SUUpdater.h"

namespace tvi {
namespace {

// The keys whose changes the controller follows, in the order they are registered.
constexpr const char* kObservedKeys[] = {
    MASPrefKeyMakeCallShortcutEnabled,    MASPrefKeyCancelActionShortcutEnabled,   MASPrefKeyAnswerCallShortcutEnabled,
    MASPrefKeyClearConnectionShortcutEnabled, MASPrefKeyDeflectCallShortcutEnabled, MASPrefKeyHoldCallShortcutEnabled,
    MASPrefKeyRetrieveCallShortcutEnabled, MASPrefKeyTransferCallShortcutEnabled, TVIStartAtLogin,
    TVILastSavedIpString,
};

constexpr const char* kTextFromAutomatorNotification = "com.orvella.Telvora-Automator.textFromAutomator";

}

TVIAppDelegate::TVIAppDelegate() = default;

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
    checkForCrashes();
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
    // A downloaded update waiting for this quit is swapped in now (not before: its files would
    // replace the running ones).
    if (updater_) updater_->installUpdateOnQuit();
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
}

void TVIAppDelegate::observeNotification(const char* name, void (TVIAppDelegate::*handler)(const Notification&))
{
    std::weak_ptr<TVIAppDelegate> weak = weak_from_this();
    NotificationCenter::defaultCenter().addObserver(
        name, nullptr,
        [weak, handler](const Notification& notification) {
            if (auto self = weak.lock()) ((*self).*handler)(notification);
        },
        this);
}

void TVIAppDelegate::initNotifications()
{
    DDLogInfo("%@: => initNotifications");
    std::weak_ptr<TVIAppDelegate> weak = weak_from_this();
    Platform::get<DistributedNotifications>()->addObserver(
        this, kTextFromAutomatorNotification, [weak](const std::string&, const std::optional<std::string>& text) {
            if (auto self = weak.lock()) self->getSelectedTextFromService(text);
        });
    for (const char* key : kObservedKeys) {
        defaults().addObserver(
            key,
            [weak, key](const PlistValue& newValue) {
                if (auto self = weak.lock()) self->observeValueForKeyPath(key, newValue);
            },
            this);
    }
    observeNotification("makeCallUpdated", &TVIAppDelegate::makeCallUpdated);
    observeNotification("cancelActionUpdated", &TVIAppDelegate::cancelActionUpdated);
    observeNotification("answerCallUpdated", &TVIAppDelegate::answerCallUpdated);
    observeNotification("clearConnectionUpdated", &TVIAppDelegate::clearConnectionUpdated);
    observeNotification("deflectCallUpdated", &TVIAppDelegate::deflectCallUpdated);
    observeNotification("holdCallUpdated", &TVIAppDelegate::holdCallUpdated);
    observeNotification("retrieveCallUpdated", &TVIAppDelegate::retrieveCallUpdated);
    observeNotification("transferCallUpdated", &TVIAppDelegate::transferCallUpdated);
    DDLogInfo("%@: => addObserver for pasteboard");
    NotificationCenter::defaultCenter().addObserver(
        TVIPasteBoardObserver::kPasteboardUpdatedNotification, nullptr,
        [weak](const Notification& notification) {
            if (auto self = weak.lock()) self->pasteboardUpdated(TVIPasteBoardObserver::stringFromNotification(notification));
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
}

void TVIAppDelegate::initSocket()
{
    DDLogInfo("%@: => initSocket");
    tviSocket_ = TVISocket::create();
    tviSocket_->setController(weak_from_this());
    tviSocket_->startServer();
}

void TVIAppDelegate::stopServer()
{
    DDLogInfo("%@: => stopServer");
    if (tviSocket_) tviSocket_->stopServer();
}

void TVIAppDelegate::initAutoLogin()
{
    if (preferenceStartAtLogin())
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
