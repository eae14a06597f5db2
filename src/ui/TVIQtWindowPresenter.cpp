#include "ui/TVIQtWindowPresenter.h"

#include "ui/TVIMailWindowController.h"

namespace tvi {

TVIQtWindowPresenter::TVIQtWindowPresenter() = default;

TVIQtWindowPresenter::~TVIQtWindowPresenter() = default;

void TVIQtWindowPresenter::showPreferencesWindow(TVIAppDelegate& delegate)
{
    preferences_.showPreferencesWindow(delegate);
}

void TVIQtWindowPresenter::showReportProblemWindow(TVIProblemReport& report)
{
    if (!reportWindow_)
        reportWindow_ = std::make_unique<TVIMailWindowController>(true, TVIMailDiagnosticSources::forProblemReport(report));
    reportWindow_->showWindow();
}

void TVIQtWindowPresenter::showFeedbackWindow(TVIProblemReport& report)
{
    if (!feedbackWindow_)
        feedbackWindow_ =
            std::make_unique<TVIMailWindowController>(false, TVIMailDiagnosticSources::forProblemReport(report));
    feedbackWindow_->showWindow();
}

}
