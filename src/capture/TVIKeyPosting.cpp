#include "capture/TVIKeyPosting.h"

#include "diagnostics/DDLogMacros.h"
#include "platform/KeyEvents.h"
#include "platform/Platform.h"

namespace tvi {

void postKeyWithModifiers(std::uint16_t keyCode, std::uint64_t flags)
{
    DDLogInfo("%@: => PostKeyWithModifiers");
    const std::shared_ptr<KeyEvents> keyEvents = Platform::get<KeyEvents>();
    if (!keyEvents->frontProcess()) return;
    // A release without its press would reach the application as a stray key up.
    if (!keyEvents->postKeyDown(keyCode, flags)) {
        DDLogError("%@: Could not post key down for key code %hu", keyCode);
        return;
    }
    // A press without its release would leave the key held down.
    if (!keyEvents->postKeyUp(keyCode)) DDLogError("%@: Could not post key up for key code %hu", keyCode);
}

}
