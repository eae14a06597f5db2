#pragma once

#include "app/TVIWindowPresenter.h"

#include <memory>

namespace tvi {

class MASPreferencesWindowController;

// The preferences window of the desktop program: built on first demand with the General
// pane, and the Shortcuts pane after it when "TVIShowHiddenPreferences" is true; kept
// until the process ends. Installed at start as the controller's window presenter.
class TVIPreferencesWindowController : public TVIWindowPresenter {
public:
    TVIPreferencesWindowController();
    ~TVIPreferencesWindowController() override;

    void showPreferencesWindow(TVIAppDelegate& delegate) override;
    // Null until first shown.
    MASPreferencesWindowController* windowController() const { return windowController_.get(); }

private:
    std::unique_ptr<MASPreferencesWindowController> windowController_;
};

}
