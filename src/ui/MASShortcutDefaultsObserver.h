#pragma once

#include "shortcuts/MASShortcut.h"

#include <QObject>

#include <atomic>
#include <optional>
#include <string>

namespace tvi {

class MASShortcutView;
class UserDefaults;

// Keeps a recorder and a user-defaults key in step both ways: a recorded shortcut is
// stored at once (a cleared one as the archive of nil), and a change of the stored value
// shows in the recorder. Made and owned by the recorder (setAssociatedUserDefaultsKey);
// on release the recorder gets back the value it had before the binding. Main thread;
// defaults changed on other threads reach the recorder through the main thread's loop.
class MASShortcutDefaultsObserver : public QObject {
    Q_OBJECT

public:
    MASShortcutDefaultsObserver(MASShortcutView& view, std::string userDefaultsKey);
    MASShortcutDefaultsObserver(MASShortcutView& view, std::string userDefaultsKey, UserDefaults& defaults);
    ~MASShortcutDefaultsObserver() override;

    const std::string& userDefaultsKey() const { return userDefaultsKey_; }
    const std::optional<MASShortcut>& originalShortcut() const { return originalShortcut_; }

private:
    void userDefaultsDidChange();
    void shortcutValueDidChange();
    std::optional<MASShortcut> storedShortcut() const;

    MASShortcutView& view_;
    UserDefaults& defaults_;
    const std::string userDefaultsKey_;
    const std::optional<MASShortcut> originalShortcut_;
    std::atomic<bool> internalPreferenceChange_{false}; // read by writers on other threads
    bool internalShortcutChange_ = false;
    QMetaObject::Connection viewObservation_;
};

}
