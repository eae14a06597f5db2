#include "platform/linux/X11ErrorTrap.h"

#include <X11/Xlib.h>

#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace tvi {
namespace {

using TrapKey = std::pair<Display*, std::thread::id>;

std::mutex trapMutex;
std::map<TrapKey, int> openTraps; // first error code recorded, 0 while none

int recordError(Display* display, XErrorEvent* error)
{
    std::lock_guard lock(trapMutex);
    const auto trap = openTraps.find({display, std::this_thread::get_id()});
    if (trap != openTraps.end() && trap->second == 0) trap->second = error->error_code;
    return 0; // an error outside a trap is dropped: never a reason to end the process
}

}

void X11ErrorTrap::installOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { XSetErrorHandler(recordError); });
}

X11ErrorTrap::X11ErrorTrap(_XDisplay* display) : display_(display)
{
    installOnce();
    XSync(display_, False); // earlier requests' errors are not this trap's
    std::lock_guard lock(trapMutex);
    openTraps[{display_, std::this_thread::get_id()}] = 0;
}

X11ErrorTrap::~X11ErrorTrap()
{
    XSync(display_, False);
    std::lock_guard lock(trapMutex);
    openTraps.erase({display_, std::this_thread::get_id()});
}

int X11ErrorTrap::check()
{
    XSync(display_, False);
    std::lock_guard lock(trapMutex);
    return openTraps[{display_, std::this_thread::get_id()}];
}

}
