#pragma once

#include "link/TVIMessageTypes.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tvi {

// What the link server asks of the application controller. Every call is made
// on the main queue.
class TVISocketController {
public:
    virtual ~TVISocketController() = default;

    // A client connected: ask it for the communication server's address.
    virtual void askForIpAddress() = 0;
    // The first client (the one that receives Telvora's own messages) went away, or
    // the last one did: switch every call-control shortcut off.
    virtual void disableAllShortcuts() = 0;

    // Switches one action's shortcut on or off through its enabled flag. Unless a controller
    // takes it here, the request goes to the action's own setter below.
    virtual void setShortcutEnabled(TVICallAction action, bool enabled)
    {
        switch (action) {
        case TVICallAction::MakeCall: return setMakeCallShortcutEnabled(enabled);
        case TVICallAction::CancelAction: return setCancelActionShortcutEnabled(enabled);
        case TVICallAction::AnswerCall: return setAnswerCallShortcutEnabled(enabled);
        case TVICallAction::ClearConnection: return setClearConnectionShortcutEnabled(enabled);
        case TVICallAction::DeflectCall: return setDeflectCallShortcutEnabled(enabled);
        case TVICallAction::HoldCall: return setHoldCallShortcutEnabled(enabled);
        case TVICallAction::RetrieveCall: return setRetrieveCallShortcutEnabled(enabled);
        case TVICallAction::TransferCall: return setTransferCallShortcutEnabled(enabled);
        }
    }
    // The per-action setters by their long-standing names.
    virtual void setMakeCallShortcutEnabled(bool) {}
    virtual void setCancelActionShortcutEnabled(bool) {}
    virtual void setAnswerCallShortcutEnabled(bool) {}
    virtual void setClearConnectionShortcutEnabled(bool) {}
    virtual void setDeflectCallShortcutEnabled(bool) {}
    virtual void setHoldCallShortcutEnabled(bool) {}
    virtual void setRetrieveCallShortcutEnabled(bool) {}
    virtual void setTransferCallShortcutEnabled(bool) {}

    // Asked right after an action's update notification: whether the action now holds a
    // live hot key for exactly this combination, so a refused one is not answered as taken.
    virtual bool holdsShortcut(TVICallAction action, std::uint64_t keyCode, std::uint64_t modifierFlags) = 0;

    // The server address as Calvetto sent it; absent when it was not UTF-8.
    virtual void setLastSavedIpString(const std::optional<std::string>& address) = 0;
};

}
