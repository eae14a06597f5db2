#pragma once

#include "ui/MASPreferencesViewController.h"

#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QWidget;

namespace tvi {

class SUUpdater;
class TVIAppDelegate;

// The General pane: start at login, automatic update checks with their interval, and the
// time of the last check (refreshed when an update check ends).
class GeneralPreferencesViewController : public MASPreferencesViewController {
public:
    // The intervals offered for automatic checks, in seconds: an hour, a day, a week, and a
    // month of 30 days.
    static constexpr double kHourly = 3600;
    static constexpr double kDaily = 86400;
    static constexpr double kWeekly = 604800;
    static constexpr double kMonthly = 2592000;

    GeneralPreferencesViewController(TVIAppDelegate& delegate, SUUpdater& updater);
    ~GeneralPreferencesViewController() override;

    QString identifier() const override { return QStringLiteral("GeneralPreferences"); }
    QIcon toolbarItemImage() const override;
    QString toolbarItemLabel() const override;
    QWidget* view() override { return view_.get(); }
    QWidget* initialKeyView() override;

    void changeApplicationLogin();
    void updateLastUpdateLabel();
    QString lastUpdateText() const;

private:
    void buildView();
    void showUpdaterSettings();

    TVIAppDelegate& delegate_;
    SUUpdater& updater_;
    std::unique_ptr<QWidget> view_;
    QGroupBox* generalBox_ = nullptr;
    QGroupBox* updatesBox_ = nullptr;
    QCheckBox* startLoginChkbox_ = nullptr;
    QCheckBox* autoCheckUpdateCheckbox_ = nullptr;
    QLabel* checkForUpdatesTextField_ = nullptr;
    QComboBox* intervalMenu_ = nullptr;
    QLabel* lastUpdateLabel_ = nullptr;
};

}
