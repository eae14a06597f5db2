#include "app/TVIAppRunner.h"

#include "app/TVIAppDelegate.h"
#include "diagnostics/DDLog.h"
#include "diagnostics/DDLogMacros.h"
#include "foundation/Bundle.h"
#include "foundation/DispatchQueue.h"
#include "foundation/MainRunLoop.h"

#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace tvi {
namespace {

struct Options {
    bool help = false;
    bool version = false;
    bool headless = false;
    std::string unknown;
};

Options parse(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") options.help = true;
        else if (arg == "--version" || arg == "-v") options.version = true;
        else if (arg == "--headless") options.headless = true;
        else if (options.unknown.empty()) options.unknown = arg;
    }
    return options;
}

// Blocks the termination signals in every thread and waits for them on one of
// its own, so the shutdown sequence runs on the main thread, not in a handler.
sigset_t terminationSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}

void startSignalWatcher()
{
    std::thread([] {
        const sigset_t set = terminationSignals();
        int signal = 0;
        while (sigwait(&set, &signal) != 0) {
        }
        MainRunLoop::shared().stop();
    }).detach();
}

}

std::string TVIAppRunner::versionText()
{
    const Bundle bundle = Bundle::mainBundle();
    const auto version = bundle.objectForInfoDictionaryKey("CFBundleShortVersionString").stringValue();
    const auto build = bundle.objectForInfoDictionaryKey("CFBundleVersion").stringValue();
    return "Telvora " + version.value_or(TELVORA_VERSION) + " (Build " + build.value_or(TELVORA_BUILD_NUMBER) + ")";
}

std::string TVIAppRunner::usage()
{
    return "usage: Telvora [--headless] [--help] [--version]\n"
           "Telvora gives Calvetto system-wide call-control shortcuts and dials the text you select.\n"
           "It listens for Calvetto on the loopback interface and writes the port to\n"
           "~/Library/Application Support/Telvora/serverport.txt; logs go to ~/Library/Logs/Telvora.\n"
           "\n"
           "  --headless   run without the desktop (also the case when DISPLAY is not set)\n"
           "  --version    print the version and exit\n"
           "  --help       print this text and exit\n"
           "\n"
           "Telvora stops on SIGTERM or SIGINT (Ctrl-C).\n";
}

int TVIAppRunner::run(int argc, char** argv)
{
    const Options options = parse(argc, argv);
    if (options.help) {
        std::fputs(usage().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("%s\n", versionText().c_str());
        return 0;
    }
    if (!options.unknown.empty()) {
        std::fprintf(stderr, "Telvora: unknown option %s\n%s", options.unknown.c_str(), usage().c_str());
        return 2;
    }

    const sigset_t set = terminationSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    startSignalWatcher();

    auto controller = std::make_shared<TVIAppDelegate>();
    DispatchQueue::main()->async([controller] { controller->applicationDidFinishLaunching(); });
    const char* display = std::getenv("DISPLAY");
    if (!options.headless && display && *display) {
        DispatchQueue::main()->async([] {
            DDLogWarn("%@: No desktop backend in this build: running headless on the in-memory platform");
        });
    }
    MainRunLoop::shared().run();

    controller->applicationWillTerminate();
    DDLog::flushLog();
    return 0;
}

}
