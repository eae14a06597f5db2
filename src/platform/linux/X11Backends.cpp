#include "platform/linux/X11Backends.h"

#include "platform/memory/MemoryBackends.h"

namespace tvi {

// No X11 service backend is built yet: every service falls back to its in-memory one.
std::vector<BackendReport> X11Backends::install()
{
    return MemoryBackends::installAll("not built");
}

}
