// Start-up and idle cost of the headless program: time from spawn to the port
// file, resident memory once idle, and CPU used while idle.
// usage: startup_bench [path/to/Telvora.app/Contents/MacOS/Telvora] [runs]
#include "CalvettoPeer.h"
#include "TelvoraProcess.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

using namespace std::chrono;
using tvi::peer::TelvoraProcess;

namespace {

std::string freshHome()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "telvora-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::exit(1);
    return pattern;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}

int main(int argc, char** argv)
{
    const std::string executable = argc > 1 ? argv[1] : "build/Telvora.app/Contents/MacOS/Telvora";
    const int runs = argc > 2 ? std::atoi(argv[2]) : 10;
    std::vector<double> firstRun, laterRun;
    for (int i = 0; i < runs; ++i) {
        const std::string home = freshHome();
        for (int pass = 0; pass < 2; ++pass) {
            std::filesystem::remove(home + "/Library/Application Support/Telvora/serverport.txt");
            TelvoraProcess process(executable, home);
            if (!process.start()) return 1;
            if (!process.waitForPort(seconds(10))) {
                std::fprintf(stderr, "no port file\n");
                return 1;
            }
            const double ms = duration<double, std::milli>(TelvoraProcess::Clock::now() - process.startedAt()).count();
            (pass == 0 ? firstRun : laterRun).push_back(ms);
            process.terminate();
        }
        std::filesystem::remove_all(home);
    }
    std::printf("start to port file, first run (empty HOME): median %.1f ms, min %.1f ms over %d runs\n",
                median(firstRun), *std::min_element(firstRun.begin(), firstRun.end()), runs);
    std::printf("start to port file, later runs:             median %.1f ms, min %.1f ms over %d runs\n",
                median(laterRun), *std::min_element(laterRun.begin(), laterRun.end()), runs);

    const std::string home = freshHome();
    TelvoraProcess process(executable, home);
    process.start();
    process.waitForPort(seconds(10));
    std::this_thread::sleep_for(seconds(1));
    const double cpuBefore = process.cpuSeconds().value_or(0);
    const int idleSeconds = 5;
    std::this_thread::sleep_for(seconds(idleSeconds));
    const double cpuAfter = process.cpuSeconds().value_or(0);
    std::printf("idle resident memory: %ld kB\n", process.residentKilobytes().value_or(-1));
    std::printf("idle CPU: %.3f s over %d s (%.2f %%)\n", cpuAfter - cpuBefore, idleSeconds,
                100.0 * (cpuAfter - cpuBefore) / idleSeconds);
    process.terminate();
    std::filesystem::remove_all(home);
    return 0;
}
