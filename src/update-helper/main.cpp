// telvora-update-helper PACKAGE SIGNATURE VERSION
//
// Installs a downloaded Debian package of Telvora. Run as root through pkexec (polkit action
// com.orvella.Telvora.update); it takes data only, never a command: the path of the package,
// the base64 Ed25519 signature of the whole file and the version the update feed announced.
// It copies the package into /var/cache/telvora/updates (root's alone), checks the copy's
// signature with the public key of the installed Telvora ("SUPublicEDKey" of its Info.plist),
// that it is the package "telvora" in the announced version and newer than the installed one,
// and only then installs the copy with apt-get. Messages go to standard error.
//
// Exit statuses (126 and 127 stay pkexec's: dismissed dialog, no authorisation):
//   0  installed
//   1  wrong arguments, or not run as root
//   2  refused: the signature does not match the package
//   3  refused: no regular file, too large, or not the package "telvora"
//   4  refused: its version is not the announced one
//   5  refused: not newer than the installed version
//   6  failed: the installed Telvora carries no usable public key
//   7  failed: the package could not be read or copied
//   8  failed: apt-get could not install it
#include "TVIUpdateHelper.h"
#include "update/SUPackageInstaller.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>

int main(int argc, char** argv)
{
    using Exit = tvi::SUPackageInstaller::HelperExit;
    if (argc != 4) {
        std::cerr << "usage: telvora-update-helper PACKAGE SIGNATURE VERSION" << std::endl;
        return Exit::kUsage;
    }
    if (getuid() != 0 || geteuid() != 0) {
        std::cerr << "telvora-update-helper: must be run as root (through pkexec)" << std::endl;
        return Exit::kUsage;
    }
    umask(077);
    tvi::TVIUpdateHelper::Locations locations;
    // pkexec names the user it runs us for; a helper started by root directly reads as root.
    if (const char* caller = std::getenv("PKEXEC_UID")) {
        char* end = nullptr;
        const unsigned long uid = std::strtoul(caller, &end, 10);
        if (end == caller || *end != '\0' || uid > 0xfffffffful) {
            std::cerr << "telvora-update-helper: PKEXEC_UID is no user id" << std::endl;
            return Exit::kUsage;
        }
        locations.callerUid = static_cast<unsigned int>(uid);
    }
    // Nothing of the caller's environment reaches the tools this helper runs.
    clearenv();
    setenv("PATH", "/usr/sbin:/usr/bin:/sbin:/bin", 1);
    setenv("LC_ALL", "C.UTF-8", 1);
    return tvi::TVIUpdateHelper(argv[1], argv[2], argv[3], locations).run();
}
