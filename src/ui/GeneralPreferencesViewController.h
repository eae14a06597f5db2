#pragma once

#include "ui/MASPreferencesViewController.h"

#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QWidget;

namespace tvi {

class SUUpdater;
class TVIAppPreferences;

// The General pane: start at login, the address book the contacts view reads (a folder of
// .vcf files or one .vcf file), automatic update checks with their interval, and the time of
// the last check (refreshed when an update check ends).
class GeneralPreferencesViewController : public MASPreferencesViewController {
public:
    // The intervals offered for automatic checks, in seconds: an hour, a day, a week, and a
    // month of 30 days.
    static constexpr double kHourly = 3600;
    static constexpr double kDaily = 86400;
    static constexpr double kWeekly = 604800;
    static constexpr double kMonthly = 2592000;

    // Where the chosen address book is kept (absent: the contacts service's default).
    static constexpr const char* kContactsSourceKey = "TVIContactsSource";
    // $XDG_DATA_HOME/contacts.
    static QString defaultContactsSource();
    // Points the contacts service at the stored choice; run once at start.
    static void applyStoredContactsSource();

    GeneralPreferencesViewController(TVIAppPreferences& preferences, SUUpdater& updater);
    ~GeneralPreferencesViewController() override;

    QString identifier() const override { return QStringLiteral("GeneralPreferences"); }
    QIcon toolbarItemImage() const override;
    QString toolbarItemLabel() const override;
    QWidget* view() override { return view_.get(); }
    QWidget* initialKeyView() override;

    void changeApplicationLogin();
    void updateLastUpdateLabel();
    QString lastUpdateText() const;
    // Reads the address book from the folder or .vcf file from now on, and keeps the choice.
    void setContactsSource(const QString& path);
    QLabel* contactsSourceLabel() const { return contactsSourceLabel_; }

private:
    void buildView();
    void showUpdaterSettings();
    QGroupBox* buildContactsBox();
    void showContactsSource();

    TVIAppPreferences& preferences_;
    SUUpdater& updater_;
    std::unique_ptr<QWidget> view_;
    QGroupBox* generalBox_ = nullptr;
    QGroupBox* updatesBox_ = nullptr;
    QCheckBox* startLoginChkbox_ = nullptr;
    QCheckBox* autoCheckUpdateCheckbox_ = nullptr;
    QLabel* checkForUpdatesTextField_ = nullptr;
    QComboBox* intervalMenu_ = nullptr;
    QLabel* lastUpdateLabel_ = nullptr;
    QLabel* contactsSourceLabel_ = nullptr;
};

}
