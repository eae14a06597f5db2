#include "ui/TVIPreferencesWindowController.h"

#include "app/TVIAppDelegate.h"
#include "app/TVIPreferenceKeys.h"
#include "foundation/UserDefaults.h"
#include "ui/GeneralPreferencesViewController.h"
#include "ui/MASPreferencesWindowController.h"
#include "ui/ShortcutPreferencesViewController.h"
#include "ui/TVIUiText.h"
#include "update/SUUpdater.h"

namespace tvi {

TVIPreferencesWindowController::TVIPreferencesWindowController() = default;

TVIPreferencesWindowController::~TVIPreferencesWindowController() = default;

void TVIPreferencesWindowController::showPreferencesWindow(TVIAppDelegate& delegate)
{
    if (!windowController_) {
        MASPreferencesWindowController::Panes panes;
        panes.push_back(
            std::make_unique<GeneralPreferencesViewController>(delegate.preferences(), SUUpdater::sharedUpdater()));
        if (delegate.defaults().boolForKey(TVIShowHiddenPreferences))
            panes.push_back(std::make_unique<ShortcutPreferencesViewController>(delegate.callControl()));
        windowController_ =
            std::make_unique<MASPreferencesWindowController>(std::move(panes), TVIUiText::localized("Preferences"));
    }
    windowController_->showWindow();
}

}
