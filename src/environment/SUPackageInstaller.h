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
        std::string errorDescription; // the helper's message, when not installed
    };

    static constexpr const char* kHelperPath = "/usr/lib/telvora/telvora-update-helper";

    SUPackageInstaller() = delete;

    // Runs `pkexec HELPER package signature version` (the program may be replaced for tests).
    static Result install(const std::string& packagePath, const std::string& base64Signature,
                          const std::string& version, const std::string& pkexecProgram = "pkexec",
                          const std::string& helperPath = kHelperPath);
};

}
