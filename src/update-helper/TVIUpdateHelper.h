#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tvi {

// The steps of installing one downloaded package as root, each of which may end the run with
// one of SUPackageInstaller::HelperExit's statuses and a message on standard error. The
// caller's file is read once, into a copy in a folder only root can write; every check and
// apt-get then use that copy, so that nothing the user can still change gets installed.
class TVIUpdateHelper {
public:
    struct Locations {
        std::string cacheFolder = "/var/cache/telvora/updates";
        std::string installedInfoPlist = "/usr/lib/telvora/Telvora.app/Contents/Info.plist";
        // The user pkexec ran the helper for (PKEXEC_UID): the package is opened with that user's
        // identity, so that nobody can have root read a file they could not read themselves.
        std::optional<unsigned int> callerUid;
    };
    static constexpr const char* kPackageName = "telvora";
    static constexpr std::uint64_t kMaxPackageBytes = 512ull * 1024 * 1024;

    TVIUpdateHelper(std::string packagePath, std::string base64Signature, std::string version,
                    Locations locations);
    ~TVIUpdateHelper();
    TVIUpdateHelper(const TVIUpdateHelper&) = delete;
    TVIUpdateHelper& operator=(const TVIUpdateHelper&) = delete;

    // The exit status of the helper.
    int run();

    // Debian's version syntax, kept to what a release of Telvora can carry.
    static bool isPlausibleVersion(const std::string& version);
    // True when the package's Version is `announced`, or its upstream part (without epoch
    // and Debian revision) is.
    static bool isAnnouncedVersion(const std::string& packageVersion, const std::string& announced);

private:
    struct Failure {
        int status;
        std::string message;
    };
    using Step = std::optional<Failure>;

    Step checkArguments();
    Step prepareCacheFolder();
    Step copyPackage();
    // open(2) of the package as the caller (when known); -1 with errno set on failure.
    int openAsCaller(int flags) const;
    Step verifySignature();
    Step checkPackageFields();
    Step checkNewerThanInstalled();
    Step installCopy();
    void removeCopy();

    std::string packagePath_;
    std::string signature_;
    std::string version_;
    Locations locations_;
    std::string copyPath_;
    std::string packageVersion_;
    int cacheFolder_ = -1; // open and locked for the whole run
    bool copyWritten_ = false;
};

}
