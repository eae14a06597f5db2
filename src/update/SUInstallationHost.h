#pragma once

#include "update/SUAppcast.h"
#include "update/SUPackageInstaller.h"

#include <optional>
#include <string>

namespace tvi {

// How and where the running Telvora is installed, as far as an update needs to know: a bundle
// in a folder (a build or an unpacked archive) is replaced by a newer bundle; the bundle the
// Debian package installed is replaced by a newer package.
struct SUInstallationHost {
    enum class Kind { Bundle, Package };

    // Where the Debian package puts the bundle.
    static constexpr const char* kPackageBundlePath = "/usr/lib/telvora/Telvora.app";

    Kind kind = Kind::Bundle;
    std::string bundlePath;       // the running bundle
    std::string bundleIdentifier; // CFBundleIdentifier
    std::string version;          // CFBundleVersion
    std::string displayVersion;   // CFBundleShortVersionString, else CFBundleVersion
    std::string publicKey;        // "SUPublicEDKey"; empty when the bundle carries none
    std::string workFolder;       // where downloads are kept
    std::string lockFile;         // the one-Telvora-per-user lock
    // How a package is installed: pkexec and the root-owned helper it starts.
    std::string pkexecProgram = "pkexec";
    std::string packageHelper = SUPackageInstaller::kHelperPath;

    // The running application's.
    static SUInstallationHost current();

    // The enclosure this kind of installation can install: a .tar.gz of the bundle, or a .deb;
    // nullptr when the item offers none.
    const SUAppcastEnclosure* enclosureFor(const SUAppcastItem& item) const;
    // The machine version of `item` (its display version when it has none).
    static const std::string& versionOf(const SUAppcastItem& item);
    // True when `item` is newer than the running version (the same rule as the check).
    bool isNewer(const SUAppcastItem& item) const;
    // Folder names beside the bundle: the unpacked update, and the old bundle kept until the
    // new one has come up.
    std::string updateFolderFor(const std::string& version) const;
    std::string backupPath() const;
};

}
