#include "app/TVIAppRunner.h"
#include "platform/linux/QtMainRunLoop.h"
#include "platform/linux/X11Backends.h"
#include "platform/linux/X11Display.h"
#include "platform/memory/MemoryBackends.h"
#include "ui/TVIDesktopWindowPresenter.h"

#include <QApplication>

#include <memory>

// The one place that chooses the mode: desktop when an X display can be reached and
// --headless was not given, headless otherwise. Headless never starts Qt.
int main(int argc, char** argv)
{
    using namespace tvi;
    const TVIAppRunner::Options options = TVIAppRunner::parse(argc, argv, &QtMainRunLoop::toolkitOptionValueCount);
    if (const auto status = TVIAppRunner::answerWithoutRunning(options)) return *status;
    // Before Qt starts its threads: they inherit the mask.
    TVIAppRunner::blockTerminationSignals();

    std::string whyHeadless = "--headless given";
    if (options.headless || !X11Display::isReachable(whyHeadless))
        return TVIAppRunner::run("headless mode (" + whyHeadless + ")", MemoryBackends::installAll());

    const std::unique_ptr<QApplication> application = QtMainRunLoop::installWithApplication(argc, argv);
    const auto windows = TVIDesktopWindowPresenter::installWhileInScope();
    return TVIAppRunner::run("desktop mode (X11)", X11Backends::install());
}
