#include "app/TVIAppRunner.h"

#include "app/TVIAppCommandLine.h"
#include "app/TVIAppDelegate.h"
#include "app/TVIAppSessionCommands.h"
#include "app/TVIAppTermination.h"
#include "app/TVISingleInstance.h"
#include "app/TVITestHooks.h"
#include "diagnostics/DDLog.h"
#include "diagnostics/DDLogMacros.h"
#include "diagnostics/TVICrashReporter.h"
#include "diagnostics/TVIHangWatchdog.h"
#include "foundation/Bundle.h"
#include "foundation/DispatchQueue.h"
#include "foundation/MainRunLoop.h"
#include "foundation/StandardFolders.h"
#include "foundation/TVIApplication.h"
#include "foundation/UserDefaults.h"

#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace tvi {
namespace {

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
        TVIAppRunner::requestShutdown();
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
           "       Telvora call [TEXT...]\n"
           "       Telvora --about | --preferences | --check-for-updates | --quit\n"
           "Telvora gives Calvetto system-wide call-control shortcuts and dials the text you select.\n"
           "It listens for Calvetto on the loopback interface and writes the port to\n"
           "~/Library/Application Support/Telvora/serverport.txt; logs go to ~/Library/Logs/Telvora.\n"
           "\n"
           "  --headless   run without the desktop (also the case when no X display can be reached)\n"
           "  --version    print the version and exit\n"
           "  --help       print this text and exit\n"
           "  --about, --preferences, --check-for-updates\n"
           "               show that window of the running Telvora (started first when none runs)\n"
           "  --quit       ask the running Telvora to quit\n"
           "Starting Telvora again while it runs shows its preferences.\n"
           "Qt's own options (-platform, -session, ...) are accepted and go to Qt in desktop mode.\n"
           "\n"
           "  call TEXT... hand each TEXT to the running Telvora for dialling, as it stands (a tel: or\n"
           "               callto: URL gives its number; a TEXT of blanks alone is skipped); without\n"
           "               TEXT, each line of standard input. Exits 1 when the session bus cannot be\n"
           "               reached; a Telvora that is not running is not noticed.\n"
           "\n"
           "Telvora stops on SIGTERM or SIGINT (Ctrl-C).\n";
}

TVIAppRunner::Options TVIAppRunner::parse(int argc, char** argv, ToolkitOptions toolkitOptions)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") options.help = true;
        else if (arg == "--version" || arg == "-v") options.version = true;
        else if (arg == "--headless") options.headless = true;
        else if (const std::string command = TVIAppCommandLine::commandForOption(arg); !command.empty()) options.command = command;
        else if (const int values = toolkitOptions ? toolkitOptions(arg) : -1; values >= 0) i += values;
        else if (options.unknown.empty()) options.unknown = arg;
    }
    return options;
}

std::optional<int> TVIAppRunner::answerWithoutRunning(const Options& options)
{
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
    TVIAppCommandLine::setRequestedCommand(options.command);
    return std::nullopt;
}

void TVIAppRunner::blockTerminationSignals()
{
    const sigset_t set = terminationSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

std::string TVIAppRunner::backendsLine(const std::string& mode, const std::vector<BackendReport>& backends)
{
    std::string line = "Running in " + mode + "; backends:";
    for (std::size_t i = 0; i < backends.size(); ++i)
        line += (i ? ", " : " ") + backends[i].service + " " + backends[i].backend;
    return line;
}

void TVIAppRunner::requestShutdown()
{
    MainRunLoop::shared().stop();
}

int TVIAppRunner::run(const std::string& mode, const std::vector<BackendReport>& backends)
{
    if (const auto status = TVIAppCommandLine::forwardToRunningInstance()) return *status;
    // In main(), so after a sanitizer's handlers: ours replace them and still end the process as they would.
    TVICrashReporter::install(StandardFolders::userLogs(), TVIApplication::nameForFiles(), versionText());
    // Before the link server writes the port file: a second Telvora leaves the first one's alone.
    if (!TVISingleInstance::acquireOrExplain()) return 0;
    // A signal that came since the mask was set is still pending: the watcher takes it.
    startSignalWatcher();

    auto controller = std::make_shared<TVIAppDelegate>();
    DispatchQueue::main()->async([controller] { controller->applicationDidFinishLaunching(); });
    DispatchQueue::main()->async([controller] { TVIAppCommandLine::serve(controller); });
    DispatchQueue::main()->async([] { TVIAppSessionCommands::install(); });
    TVIAppTermination termination(controller);
    // After the launch, so that the log files have them.
    DispatchQueue::main()->async([line = backendsLine(mode, backends), backends] {
        DDLogInfo("%@: %@", line);
        for (const BackendReport& report : backends) {
            if (!report.fallbackReason.empty())
                DDLogWarn("%@: %@: falling back to the %@ backend: %@", report.service, report.backend,
                          report.fallbackReason);
        }
    });
    TVIHangWatchdog::start(TVIHangWatchdog::thresholdFromDefaults(UserDefaults::standard()));
    TVITestHooks::installIfRequested();
    MainRunLoop::shared().run();
    TVIHangWatchdog::stop();

    termination.terminate();
    return 0;
}

}
