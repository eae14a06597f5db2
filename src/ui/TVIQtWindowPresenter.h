#pragma once

#include "app/TVIWindowPresenter.h"
#include "ui/TVIPreferencesWindowController.h"

#include <memory>

namespace tvi {

class TVIMailWindowController;

// The desktop program's windows, as the controller reaches them: the preferences window
// and the two mail windows, each built on first demand and kept until the process ends.
class TVIQtWindowPresenter : public TVIWindowPresenter {
public:
    TVIQtWindowPresenter();
    ~TVIQtWindowPresenter() override;

    void showPreferencesWindow(TVIAppDelegate& delegate) override;
    void showReportProblemWindow(TVIProblemReport& report) override;
    void showFeedbackWindow(TVIProblemReport& report) override;

private:
    TVIPreferencesWindowController preferences_;
    std::unique_ptr<TVIMailWindowController> reportWindow_;
    std::unique_ptr<TVIMailWindowController> feedbackWindow_;
};

}
