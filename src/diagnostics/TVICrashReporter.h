#pragma once

#include <string>

namespace tvi {

// Writes a report when a fatal signal (SEGV, BUS, ILL, FPE, ABRT) ends the process, into the
// crash folder that the crash-report finder searches, then lets the signal take its normal
// course (same exit status, same core dump). Linux has no crash reporter of its own for a
// desktop program, so Telvora brings one.
//
// Everything a report needs (folders, names, version text) is prepared by install(); the
// handler itself makes async-signal-safe calls only. The hang watchdog writes its reports
// with the same pieces.
class TVICrashReporter {
public:
    TVICrashReporter() = delete;

    // Prepares the texts, warms up the unwinder and installs the handlers with an alternate
    // stack (so that a stack overflow is reported too). Call once, early, on the main thread.
    // A sanitizer's own handlers are replaced, since they are installed before main() runs.
    static void install(const std::string& logsFolder, const std::string& executableName,
                        const std::string& versionText);
    static bool isInstalled();
    // Re-reads the local time offset used for report names (daylight saving changes it).
    static void refreshClock();

    // "<logs>/DiagnosticReports" and "<logs>/HangReporter/<executable>", as prepared by install().
    static std::string crashFolder();
    static std::string hangFolder();

    // The pieces a report is made of; async-signal-safe once install() has run.
    // Opens a new report "<executable>_<time>_<host>.<extension>" in `folder` (created 0700
    // with the folders leading to it); -1 on failure.
    static int openReport(const char* folder, const char* extension);
    // Process, version, date and the title line.
    static void writePreamble(int fd, const char* title);
    // The calling thread's backtrace, one resolved frame per line.
    static void writeBacktrace(int fd, const char* heading);
    // The mapped modules, so that the addresses can be resolved later.
    static void writeModules(int fd);
    static void writeText(int fd, const char* text);
};

}
