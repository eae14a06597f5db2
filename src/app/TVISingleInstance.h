#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

namespace tvi {

// One Telvora per user: the port file and the preferences are per user, so a second Telvora
// (another session, or a headless one beside a desktop one) would overwrite the first one's.
// The first takes an exclusive flock on "Telvora.lock" in the application-support folder and
// holds it until the process ends (the kernel lets go of it however the process ends); the
// lock file names its pid.
class TVISingleInstance {
public:
    TVISingleInstance() = delete;

    struct Result {
        bool acquired = false;
        std::optional<pid_t> holder; // the running Telvora, when it could be read
    };

    static constexpr const char* kLockFileName = "Telvora.lock";

    // Takes the lock for the rest of the process. Not acquired only when another process holds
    // it; a folder or file that cannot be used lets this Telvora run (better two than none).
    static Result acquire();
    // The same for a lock file of the caller's choice (tests).
    static Result acquire(const std::string& lockFile);
    // For the runner: takes the lock, or logs that another Telvora is running; false when this
    // process is the second and should exit.
    static bool acquireOrExplain();
};

}
