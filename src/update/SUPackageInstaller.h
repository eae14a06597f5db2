#pragma once

#include <string>

namespace tvi {

// Installs a downloaded Debian package of Telvora through the fixed, root-owned helper
// "/usr/lib/telvora/telvora-update-helper", started with pkexec. The helper takes only the
// package's path, its base64 Ed25519 signature and the version it must carry (data, never a
// command); it copies the package into a folder only root can write, checks the signature
// there with the public key of the installed package, checks the package name and that the
// version is the announced one and newer than the installed one, and only then installs it
// with apt. Blocking: run it off the main thread.
class SUPackageInstaller {
public:
    enum class Status { Installed, Dismissed, NotAuthorized, Refused, Failed };

    struct Result {
        Status status = Status::Failed;
        std::string errorDescription; // the helper's (or pkexec's) message, when not installed
    };

    // The helper's exit statuses. It never ends with 126 or 127: pkexec uses those for a
    // dismissed password dialog and for a refused authorisation.
    struct HelperExit {
        static constexpr int kInstalled = 0;
        static constexpr int kUsage = 1;          // wrong arguments, or not run as root
        static constexpr int kBadSignature = 2;   // the signature does not match the copy
        static constexpr int kWrongPackage = 3;   // no regular file, too large, or not the package "telvora"
        static constexpr int kNotAnnounced = 4;   // its version is not the announced one
        static constexpr int kNotNewer = 5;       // not newer than the installed version
        static constexpr int kNoPublicKey = 6;    // the installed bundle carries no usable public key
        static constexpr int kCopyFailed = 7;     // reading the package or writing the copy failed
        static constexpr int kAptFailed = 8;      // apt-get could not install the checked copy
    };

    static constexpr const char* kHelperPath = "/usr/lib/telvora/telvora-update-helper";

    SUPackageInstaller() = delete;

    // Runs `pkexec HELPER package signature version` (the program may be replaced for tests)
    // without a shell and waits for it with no time limit: the password dialog waits for a
    // person. The helper refuses a package path that is not absolute.
    static Result install(const std::string& packagePath, const std::string& base64Signature,
                          const std::string& version, const std::string& pkexecProgram = "pkexec",
                          const std::string& helperPath = kHelperPath);

    // How a status of `pkexec HELPER ...` reads: pkexec's own 126 and 127, then the helper's.
    static Status statusForExitStatus(int exitStatus);
};

}
