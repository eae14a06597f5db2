#include "ui/MASShortcutDefaultsObserver.h"

#include "foundation/KeyedArchiver.h"
#include "foundation/NotificationCenter.h"
#include "foundation/UserDefaults.h"
#include "ui/MASShortcutView.h"

#include <QThread>

namespace tvi {

MASShortcutDefaultsObserver::MASShortcutDefaultsObserver(MASShortcutView& view, std::string userDefaultsKey)
    : MASShortcutDefaultsObserver(view, std::move(userDefaultsKey), UserDefaults::standard())
{
}

MASShortcutDefaultsObserver::MASShortcutDefaultsObserver(MASShortcutView& view, std::string userDefaultsKey,
                                                         UserDefaults& defaults)
    : view_(view), defaults_(defaults), userDefaultsKey_(std::move(userDefaultsKey)),
      originalShortcut_(view.shortcutValue())
{
    internalShortcutChange_ = true;
    view_.setShortcutValue(storedShortcut());
    internalShortcutChange_ = false;
    NotificationCenter::defaultCenter().addObserver(
        UserDefaults::didChangeNotification, &defaults_,
        [this](const Notification&) {
            if (internalPreferenceChange_) return; // our own write, on this thread
            if (QThread::currentThread() == thread())
                userDefaultsDidChange();
            else
                QMetaObject::invokeMethod(this, [this] { userDefaultsDidChange(); }, Qt::QueuedConnection);
        },
        this);
    viewObservation_ = connect(&view_, &MASShortcutView::shortcutValueChanged, this,
                               &MASShortcutDefaultsObserver::shortcutValueDidChange);
}

MASShortcutDefaultsObserver::~MASShortcutDefaultsObserver()
{
    disconnect(viewObservation_);
    NotificationCenter::defaultCenter().removeObserversForOwner(this);
    view_.setShortcutValue(originalShortcut_);
}

std::optional<MASShortcut> MASShortcutDefaultsObserver::storedShortcut() const
{
    return MASShortcut::shortcutWithData(defaults_.dataForKey(userDefaultsKey_));
}

void MASShortcutDefaultsObserver::userDefaultsDidChange()
{
    const std::optional<MASShortcut> stored = storedShortcut();
    if (stored == view_.shortcutValue()) return;
    internalShortcutChange_ = true;
    view_.setShortcutValue(stored);
    internalShortcutChange_ = false;
}

void MASShortcutDefaultsObserver::shortcutValueDidChange()
{
    if (internalShortcutChange_) return;
    const std::optional<MASShortcut>& value = view_.shortcutValue();
    internalPreferenceChange_ = true;
    defaults_.setData(value ? value->data() : KeyedArchiver::archivedDataWithNilRoot(), userDefaultsKey_);
    defaults_.synchronize();
    internalPreferenceChange_ = false;
}

}
