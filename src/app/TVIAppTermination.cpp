#include "app/TVIAppTermination.h"

#include "app/TVIAppDelegate.h"
#include "diagnostics/DDLog.h"
#include "diagnostics/DDLogMacros.h"
#include "foundation/DispatchQueue.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace tvi {
namespace {

std::atomic<TVIAppTermination*> current{nullptr};

}

TVIAppTermination::TVIAppTermination(std::shared_ptr<TVIAppDelegate> controller)
    : controller_(std::move(controller)), mainThread_(std::this_thread::get_id())
{
    current.store(this);
    DispatchQueue::main()->async([] {
        static std::once_flag once;
        std::call_once(once, [] { std::atexit(&TVIAppTermination::terminateAtExit); });
    });
}

TVIAppTermination::~TVIAppTermination()
{
    current.store(nullptr);
}

void TVIAppTermination::terminate()
{
    if (terminated_.exchange(true)) return;
    controller_->applicationWillTerminate();
    DDLog::flushLog();
}

void TVIAppTermination::terminateAtExit()
{
    TVIAppTermination* termination = current.load();
    // Only an exit on the main thread can run the sequence: it owns the controller.
    if (!termination || termination->terminated_ || std::this_thread::get_id() != termination->mainThread_) return;
    DDLogWarn("%@: The process is being ended under the running main loop (its display went away?); "
              "running the shutdown sequence first");
    termination->terminate();
    std::fflush(nullptr);
    std::_Exit(0);
}

}
