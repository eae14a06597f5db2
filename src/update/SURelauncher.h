#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tvi {

// Starts the new Telvora once the old one has ended. One Telvora per user holds its lock
// (and bus name) until it exits, so the updated one cannot be started by the old process
// itself: the small "telvora-relauncher" program waits for the lock to be released, then
// (for a bundle update) swaps the bundle folders with renames, starts the new version and
// watches it come up; a new version that does not come up is rolled back and the old one
// started again. The old bundle is removed only once the new one has come up.
class SURelauncher {
public:
    struct Options {
        pid_t oldPid = 0;         // the Telvora that is quitting
        std::string lockFile;     // its "Telvora.lock"
        std::string bundlePath;   // where Telvora.app lives (and stays)
        // A bundle update: the verified new bundle beside bundlePath, and where the old one is
        // kept until the new one has come up. Empty for a package update (start bundlePath only).
        std::string newBundlePath;
        std::string backupPath;
        std::vector<std::string> arguments; // passed to the started Telvora
        std::string logFile;                // lines appended here ("" = standard error)
        // How long the old process may take to end, and the new one to take the lock.
        std::chrono::milliseconds quitTimeout{60000};
        std::chrono::milliseconds startTimeout{20000};
        // How long the new one must stay alive after taking the lock to count as come up.
        std::chrono::milliseconds settleTime{2000};
    };

    // Started: the (new) Telvora came up. RolledBack: the new bundle did not, the old one is
    // back in place and started again. Failed: the old Telvora did not quit (nothing changed),
    // the folders could not be swapped (the old one is started again), or a package update's
    // Telvora did not come up.
    enum class Outcome { Started, RolledBack, Failed };

    SURelauncher() = delete;

    // The relauncher's work (blocking; the program calls it). "Quit": the lock can be taken and
    // oldPid has ended (an unreaped zombie counts as ended). "Come up": the started Telvora (our
    // child) holds the lock, which names no other pid, and is still alive settleTime later.
    static Outcome run(const Options& options);

    // The program's arguments for `options` (without the program's name), and back (the program
    // parses its command line with it); nullopt for a command line it does not understand:
    //   --pid PID --lock-file FILE --bundle BUNDLE [--new-bundle NEW --backup BACKUP]
    //   [--log-file FILE] [--quit-timeout-ms N] [--start-timeout-ms N] [--settle-time-ms N]
    //   [--argument ARG]...   (one --argument per argument passed to the started Telvora)
    static std::vector<std::string> commandLine(const Options& options);
    static std::optional<Options> parseCommandLine(const std::vector<std::string>& arguments);

    // Starts `program` with `arguments`, detached from this process (own session, standard
    // streams on /dev/null, no inherited descriptors), so that it outlives Telvora. Returns
    // its pid, or nullopt with the reason in `error`.
    static std::optional<pid_t> spawnDetached(const std::string& program, const std::vector<std::string>& arguments,
                                              std::string* error = nullptr);

    // Where the relauncher program lies in a bundle.
    static std::string programInBundle(const std::string& bundlePath);
};

}
