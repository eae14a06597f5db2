#include "app/TVIAppRunner.h"
#include "app/TVIWindowPresenter.h"
#include "companions/TVICallAction.h"
#include "platform/linux/QtMainRunLoop.h"
#include "platform/linux/SdBusConnection.h"
#include "platform/linux/X11Backends.h"
#include "platform/linux/X11DisplayLoss.h"
#include "platform/linux/X11Display.h"
#include "platform/memory/MemoryBackends.h"
#include "ui/TVIDesktopWindowPresenter.h"

#include <QApplication>

#include <memory>
#include <string_view>

// The one place that chooses the mode: desktop when an X display can be reached and
// --headless was not given, headless otherwise. Headless never starts Qt.
int main(int argc, char** argv)
{
    using namespace tvi;
    // A command, not a start: it posts and ends, whether or not a Telvora runs.
    if (argc > 1 && std::string_view(argv[1]) == "call") return TVICallAction::callCommand(argc, argv, 2);
    const TVIAppRunner::Options options = TVIAppRunner::parse(argc, argv, &QtMainRunLoop::toolkitOptionValueCount);
    if (const auto status = TVIAppRunner::answerWithoutRunning(options)) return *status;
    // Before Qt starts its threads: they inherit the mask.
    TVIAppRunner::blockTerminationSignals();

    std::string whyHeadless = "--headless given";
    if (options.headless || !X11Display::isReachable(whyHeadless))
        return TVIAppRunner::run("headless mode (" + whyHeadless + ")", MemoryBackends::installAll());

    const std::unique_ptr<QApplication> application = QtMainRunLoop::installWithApplication(argc, argv);
    // Losing the session bus means the session is ending: shut down in order.
    SdBusConnection::setConnectionLostHandler(&TVIAppRunner::requestShutdown);
    X11DisplayLoss::install(&TVIAppRunner::requestShutdown);
    const auto windows = TVIDesktopWindowPresenter::installWhileInScope();
    return TVIAppRunner::run("desktop mode (X11)", X11Backends::install());
}
