#include "app/TVIAppDelegate.h"

#include "app/TVIPreferenceKeys.h"
#include "diagnostics/DDFileLogger.h"
#include "diagnostics/DDLog.h"
#include "diagnostics/DDLogFileManagerDefault.h"
#include "diagnostics/DDLogMacros.h"
#include "diagnostics/DDTTYLogger.h"
#include "environment/TVIAutoLoginUtils.h"
#include "environment/TVILocalizationUtilities.h"
#include "foundation/UserDefaults.h"

namespace tvi {
namespace {

// The keys whose changes the controller follows, in the order they are registered.
constexpr const char* kObservedKeys[] = {
    MASPrefKeyMakeCallShortcutEnabled,    MASPrefKeyCancelActionShortcutEnabled,   MASPrefKeyAnswerCallShortcutEnabled,
    MASPrefKeyClearConnectionShortcutEnabled, MASPrefKeyDeflectCallShortcutEnabled, MASPrefKeyHoldCallShortcutEnabled,
    MASPrefKeyRetrieveCallShortcutEnabled, MASPrefKeyTransferCallShortcutEnabled, TVIStartAtLogin,
    TVILastSavedIpString,
};

}

TVIAppDelegate::TVIAppDelegate() = default;

TVIAppDelegate::~TVIAppDelegate()
{
    DDLogInfo("%@: => dealloc");
}

void TVIAppDelegate::applicationDidFinishLaunching()
{
    DDLogInfo("%@: => applicationDidFinishLaunching");
    initLogging();
    initPreferences();
    initNotifications();
    initSocket();
    initAutoLogin();
    logLanguageAndRegion();
}

void TVIAppDelegate::applicationWillTerminate()
{
    DDLogInfo("%@: => applicationWillTerminate");
    disableAllShortcuts();
    stopServer();
    removeNotifications();
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

void TVIAppDelegate::initNotifications()
{
    DDLogInfo("%@: => initNotifications");
    std::weak_ptr<TVIAppDelegate> weak = weak_from_this();
    for (const char* key : kObservedKeys) {
        defaults().addObserver(
            key,
            [weak, key](const PlistValue& newValue) {
                if (auto self = weak.lock()) self->observeValueForKeyPath(key, newValue);
            },
            this);
    }
    DDLogInfo("%@: => addObserver for pasteboard");
}

void TVIAppDelegate::removeNotifications()
{
    DDLogInfo("%@: => removeNotifications");
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

void TVIAppDelegate::logLanguageAndRegion()
{
    DDLogInfo("%@: => Language:%@", TVILocalizationUtilities::getLanguage());
    DDLogInfo("%@: => Region:%@", TVILocalizationUtilities::getRegion());
}

}
