#include "ui/TVIQtWindowPresenter.h"

#include "ui/TVIMailWindowController.h"

namespace tvi {

TVIQtWindowPresenter::TVIQtWindowPresenter() = default;

TVIQtWindowPresenter::~TVIQtWindowPresenter() = default;

void TVIQtWindowPresenter::showPreferencesWindow(TVIAppDelegate& delegate)
{
    preferences_.showPreferencesWindow(delegate);
}

void TVIQtWindowPresenter::showReportProblemWindow(TVIAppDelegate& delegate)
{
    if (!reportWindow_)
        reportWindow_ = std::make_unique<TVIMailWindowController>(true, TVIMailDiagnosticSources::forDelegate(delegate));
    reportWindow_->showWindow();
}

void TVIQtWindowPresenter::showFeedbackWindow(TVIAppDelegate& delegate)
{
    if (!feedbackWindow_)
        feedbackWindow_ =
            std::make_unique<TVIMailWindowController>(false, TVIMailDiagnosticSources::forDelegate(delegate));
    feedbackWindow_->showWindow();
}

}
