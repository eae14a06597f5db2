// Desktop-mode figures of the real program on an X11 session (Xvfb is fine):
//  - hot-key press (XTest) to the _Pressed message at the peer, p50 and p99;
//  - make-call press to the captured text at the peer, counted from the key release, p50,
//    with the Qt text window in front holding a selected number;
//  - idle resident memory and wake-ups per second (voluntary context switches of all threads).
// Prints figures, asserts nothing. Run it inside a session:
//   scripts/desktop-session.sh build/bench/desktop_bench [presses] [idle-seconds]
#include "CalvettoPeer.h"
#include "PeerCommand.h"
#include "TelvoraProcess.h"
#include "link/TVIMessageTypes.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

using namespace std::chrono;
using namespace tvi;
using peer::CalvettoPeer;
using peer::TelvoraProcess;

namespace {

const std::filesystem::path kBuild = std::filesystem::canonical("/proc/self/exe").parent_path().parent_path();

double percentile(std::vector<double> values, double p)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(p * static_cast<double>(values.size())))];
}

// Waits for the next message of the type, skipping others; false on time-out.
bool awaitType(CalvettoPeer& peer, int type, milliseconds timeout = seconds(5))
{
    const auto deadline = steady_clock::now() + timeout;
    while (steady_clock::now() < deadline) {
        auto message = peer.receive(duration_cast<milliseconds>(deadline - steady_clock::now()));
        if (message && message->msgType() == type) return true;
    }
    return false;
}

void key(Display* display, KeySym symbol, bool down)
{
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, symbol), down ? True : False, CurrentTime);
    XFlush(display);
}

// Sums a "Name:  value" field over every thread of the process (VmRSS is process-wide: read once).
long statusField(pid_t pid, const std::string& field, bool allThreads)
{
    long total = 0;
    auto readOne = [&](const std::filesystem::path& status) {
        std::ifstream in(status);
        std::string line;
        while (std::getline(in, line))
            if (line.rfind(field + ":", 0) == 0) total += std::atol(line.c_str() + field.size() + 1);
    };
    const std::filesystem::path proc = "/proc/" + std::to_string(pid);
    if (!allThreads) {
        readOne(proc / "status");
        return total;
    }
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator(proc / "task", ec)) readOne(task.path() / "status");
    return total;
}

pid_t spawnTextWindow(const std::string& text)
{
    const std::string program = (kBuild / "tools/test-textwindow/telvora-textwindow").string();
    std::vector<std::string> args{program, text};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

}

int main(int argc, char** argv)
{
    const int presses = argc > 1 ? std::atoi(argv[1]) : 200;
    const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 30;
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "desktop_bench: no X display; run it inside scripts/desktop-session.sh\n");
        return 1;
    }
    std::string home = (std::filesystem::temp_directory_path() / "telvora-bench-XXXXXX").string();
    if (!mkdtemp(home.data())) return 1;
    TelvoraProcess telvora((kBuild / "Telvora.app/Contents/MacOS/Telvora").string(), home);
    telvora.keepDisplay();
    if (!telvora.start({}, home + "/console.txt")) return 1;
    auto port = telvora.waitForPort(seconds(20));
    CalvettoPeer peer;
    if (!port || !peer.connect("127.0.0.1", *port) || !awaitType(peer, Ip_Address_Request)) {
        std::fprintf(stderr, "desktop_bench: Telvora did not come up\n");
        return 1;
    }
    const auto& hold = TVIMessageTypes::codes(TVICallAction::HoldCall);
    peer.send(hold.request, *peer::combinationPayload("Ctrl+F5"));
    peer.send(Button_Combination_MakeCall_Request, *peer::combinationPayload("F1"));
    if (!awaitType(peer, hold.accepted()) || !awaitType(peer, Button_Combination_MakeCall_Accepted)) {
        std::fprintf(stderr, "desktop_bench: the combinations were not accepted\n");
        return 1;
    }

    // Hot key: from the XTest press to the message.
    std::vector<double> pressMs;
    int lost = 0;
    for (int i = 0; i < presses; ++i) {
        key(display, XK_Control_L, true);
        XSync(display, False);
        const auto t0 = steady_clock::now();
        key(display, XK_F5, true);
        if (awaitType(peer, hold.pressed(), seconds(2)))
            pressMs.push_back(duration<double, std::milli>(steady_clock::now() - t0).count());
        else
            ++lost;
        key(display, XK_F5, false);
        key(display, XK_Control_L, false);
        XSync(display, False);
    }
    if (pressMs.empty()) std::printf("hot-key press to _Pressed: no press arrived (%d lost)\n", lost);
    else std::printf("hot-key press to _Pressed: p50 %.3f ms, p99 %.3f ms over %zu presses (%d lost)\n",
                percentile(pressMs, 0.5), percentile(pressMs, 0.99), pressMs.size(), lost);

    // Make-call: the text window in front, F1 pressed and released, the text at the peer.
    const pid_t field = spawnTextWindow("+49 89 1234-5678");
    std::this_thread::sleep_for(seconds(2)); // the window maps and takes the focus
    std::vector<double> captureMs;
    lost = 0;
    for (int i = 0; i < std::max(1, presses / 10); ++i) {
        key(display, XK_F1, true);
        key(display, XK_F1, false);
        XSync(display, False);
        const auto released = steady_clock::now();
        if (awaitType(peer, Button_Combination_MakeCall_Pressed, seconds(3)))
            captureMs.push_back(duration<double, std::milli>(steady_clock::now() - released).count());
        else
            ++lost;
        std::this_thread::sleep_for(milliseconds(100));
    }
    if (captureMs.empty()) std::printf("make-call release to captured text: no text arrived (%d lost)\n", lost);
    else std::printf("make-call release to captured text: p50 %.1f ms, max %.1f ms over %zu presses (%d lost)\n",
                percentile(captureMs, 0.5), percentile(captureMs, 1.0), captureMs.size(), lost);
    if (field > 0) {
        kill(field, SIGTERM);
        waitpid(field, nullptr, 0);
    }

    // Idle: nothing happens for a while; count wake-ups of every thread.
    std::this_thread::sleep_for(seconds(2));
    const long before = statusField(telvora.pid(), "voluntary_ctxt_switches", true);
    std::this_thread::sleep_for(seconds(idleSeconds));
    const long after = statusField(telvora.pid(), "voluntary_ctxt_switches", true);
    std::printf("idle desktop mode: RSS %ld kB, %.2f wake-ups/s (voluntary context switches, all threads, %d s)\n",
                statusField(telvora.pid(), "VmRSS", false), double(after - before) / idleSeconds, idleSeconds);

    peer.close();
    telvora.terminate();
    XCloseDisplay(display);
    std::filesystem::remove_all(home);
    return 0;
}
