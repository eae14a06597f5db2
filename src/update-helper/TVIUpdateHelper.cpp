#include "TVIUpdateHelper.h"

#include "TVIRootCommand.h"
#include "foundation/PropertyListSerialization.h"
#include "update/SUPackageInstaller.h"
#include "update/SUSignatureVerifier.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tvi {
namespace {

using Exit = SUPackageInstaller::HelperExit;

constexpr const char* kCopyName = "telvora-update.deb";
constexpr const char* kDpkgDeb = "/usr/bin/dpkg-deb";
constexpr const char* kDpkgQuery = "/usr/bin/dpkg-query";
constexpr const char* kDpkg = "/usr/bin/dpkg";
constexpr const char* kAptGet = "/usr/bin/apt-get";
constexpr std::size_t kMaxSignatureLength = 256;
constexpr std::size_t kAptTailLines = 15;

std::string errnoText() { return std::strerror(errno); }

// A folder only root can enter: created if missing, a symbolic link or anything else in its
// place refused, owner and mode set again when they drifted.
int openPrivateFolder(const std::string& path, mode_t mode, std::string& error)
{
    if (mkdir(path.c_str(), mode) != 0 && errno != EEXIST) {
        error = "cannot create " + path + ": " + errnoText();
        return -1;
    }
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        error = path + " is no folder: " + errnoText();
        return -1;
    }
    if (fchown(fd, 0, 0) != 0 || fchmod(fd, mode) != 0) {
        error = "cannot make " + path + " root's own: " + errnoText();
        close(fd);
        return -1;
    }
    return fd;
}

bool removeEntries(int folder, const std::string& path, std::string& error)
{
    DIR* listing = fdopendir(dup(folder));
    if (listing == nullptr) {
        error = "cannot list " + path + ": " + errnoText();
        return false;
    }
    bool removed = true;
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        std::error_code failure;
        std::filesystem::remove_all(std::filesystem::path(path) / name, failure);
        if (failure) {
            error = "cannot remove " + path + "/" + name + ": " + failure.message();
            removed = false;
        }
    }
    closedir(listing);
    return removed;
}

// "Package: telvora\nVersion: 1.0.1-1\n" -> the value of `field`.
std::optional<std::string> controlField(const std::string& output, const std::string& field)
{
    const std::string prefix = field + ": ";
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        if (output.compare(start, prefix.size(), prefix) == 0)
            return output.substr(start + prefix.size(), end - start - prefix.size());
        start = end + 1;
    }
    return std::nullopt;
}

bool copyBytes(int from, int to, std::uint64_t limit, std::uint64_t& copied, std::string& error)
{
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t count = read(from, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) {
            error = "cannot read the package: " + errnoText();
            return false;
        }
        if (count == 0) return true;
        copied += static_cast<std::uint64_t>(count);
        if (copied > limit) return true;
        for (ssize_t written = 0; written < count;) {
            const ssize_t n = write(to, buffer + written, static_cast<std::size_t>(count - written));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                error = "cannot write the copy: " + errnoText();
                return false;
            }
            written += n;
        }
    }
}

}

TVIUpdateHelper::TVIUpdateHelper(std::string packagePath, std::string base64Signature, std::string version,
                                 Locations locations)
    : packagePath_(std::move(packagePath)), signature_(std::move(base64Signature)), version_(std::move(version)),
      locations_(std::move(locations)), copyPath_(locations_.cacheFolder + "/" + kCopyName)
{
}

TVIUpdateHelper::~TVIUpdateHelper()
{
    removeCopy();
    if (cacheFolder_ >= 0) close(cacheFolder_);
}

int TVIUpdateHelper::run()
{
    using StepFunction = Step (TVIUpdateHelper::*)();
    for (const StepFunction step :
         {&TVIUpdateHelper::checkArguments, &TVIUpdateHelper::prepareCacheFolder, &TVIUpdateHelper::copyPackage,
          &TVIUpdateHelper::verifySignature, &TVIUpdateHelper::checkPackageFields,
          &TVIUpdateHelper::checkNewerThanInstalled, &TVIUpdateHelper::installCopy}) {
        if (Step failure = (this->*step)()) {
            removeCopy();
            std::cerr << "telvora-update-helper: " << failure->message << std::endl;
            return failure->status;
        }
    }
    removeCopy();
    std::cout << "telvora-update-helper: installed " << kPackageName << " " << packageVersion_ << std::endl;
    return Exit::kInstalled;
}

TVIUpdateHelper::Step TVIUpdateHelper::checkArguments()
{
    if (packagePath_.empty() || packagePath_.front() != '/')
        return Failure{Exit::kUsage, "the package path must be absolute: \"" + packagePath_ + "\""};
    if (signature_.empty() || signature_.size() > kMaxSignatureLength)
        return Failure{Exit::kUsage, "the signature is missing or too long"};
    if (!isPlausibleVersion(version_)) return Failure{Exit::kUsage, "\"" + version_ + "\" is no package version"};
    return std::nullopt;
}

bool TVIUpdateHelper::isPlausibleVersion(const std::string& version)
{
    if (version.empty() || version.size() > 128 || !std::isdigit(static_cast<unsigned char>(version.front())))
        return false;
    for (const char c : version) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && std::strchr(".+~:-", c) == nullptr) return false;
    }
    return true;
}

bool TVIUpdateHelper::isAnnouncedVersion(const std::string& packageVersion, const std::string& announced)
{
    if (packageVersion == announced) return true;
    std::string upstream = packageVersion;
    if (const std::size_t colon = upstream.find(':'); colon != std::string::npos) upstream.erase(0, colon + 1);
    if (const std::size_t dash = upstream.rfind('-'); dash != std::string::npos) upstream.erase(dash);
    return upstream == announced;
}

TVIUpdateHelper::Step TVIUpdateHelper::prepareCacheFolder()
{
    const std::string& folder = locations_.cacheFolder;
    std::string error;
    const std::string parent = std::filesystem::path(folder).parent_path();
    const int parentFd = openPrivateFolder(parent, 0755, error);
    if (parentFd < 0) return Failure{Exit::kCopyFailed, error};
    close(parentFd);
    cacheFolder_ = openPrivateFolder(folder, 0700, error);
    if (cacheFolder_ < 0) return Failure{Exit::kCopyFailed, error};
    // One update at a time: a second helper (another user's) waits here instead of removing
    // the copy this one is checking.
    while (flock(cacheFolder_, LOCK_EX) != 0) {
        if (errno != EINTR) return Failure{Exit::kCopyFailed, "cannot lock " + folder + ": " + errnoText()};
    }
    if (!removeEntries(cacheFolder_, folder, error)) return Failure{Exit::kCopyFailed, error};
    return std::nullopt;
}

TVIUpdateHelper::Step TVIUpdateHelper::copyPackage()
{
    // O_NONBLOCK: a FIFO in the package's place must not hang the helper before fstat refuses it.
    const int source = openAsCaller(O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (source < 0) {
        if (errno == ELOOP) return Failure{Exit::kWrongPackage, packagePath_ + " is a symbolic link"};
        return Failure{Exit::kCopyFailed, "cannot open " + packagePath_ + ": " + errnoText()};
    }
    struct stat info {};
    if (fstat(source, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(source);
        return Failure{Exit::kWrongPackage, packagePath_ + " is no regular file"};
    }
    if (static_cast<std::uint64_t>(info.st_size) > kMaxPackageBytes) {
        close(source);
        return Failure{Exit::kWrongPackage, packagePath_ + " is larger than an update can be"};
    }
    fcntl(source, F_SETFL, fcntl(source, F_GETFL) & ~O_NONBLOCK);
    const int target = openat(cacheFolder_, kCopyName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (target < 0) {
        close(source);
        return Failure{Exit::kCopyFailed, "cannot create " + copyPath_ + ": " + errnoText()};
    }
    copyWritten_ = true;
    std::uint64_t copied = 0;
    std::string error;
    const bool complete = copyBytes(source, target, kMaxPackageBytes, copied, error);
    close(source);
    if (close(target) != 0 && complete) return Failure{Exit::kCopyFailed, "cannot write the copy: " + errnoText()};
    if (!complete) return Failure{Exit::kCopyFailed, error};
    // The file may grow while it is read.
    if (copied > kMaxPackageBytes) return Failure{Exit::kWrongPackage, packagePath_ + " is larger than an update can be"};
    return std::nullopt;
}

int TVIUpdateHelper::openAsCaller(int flags) const
{
    if (!locations_.callerUid) return open(packagePath_.c_str(), flags);
    const passwd* user = getpwuid(*locations_.callerUid);
    if (user == nullptr) {
        errno = EPERM;
        return -1;
    }
    // Effective ids only: the real and saved ids stay root's, so that root comes back after.
    if (initgroups(user->pw_name, user->pw_gid) != 0 || setegid(user->pw_gid) != 0 ||
        seteuid(user->pw_uid) != 0) {
        const int failure = errno;
        seteuid(0);
        setegid(0);
        setgroups(0, nullptr);
        errno = failure;
        return -1;
    }
    const int fd = open(packagePath_.c_str(), flags);
    const int failure = errno;
    // Without root back every later step would fail; stop rather than go on half-privileged.
    if (seteuid(0) != 0 || setegid(0) != 0 || setgroups(0, nullptr) != 0) std::abort();
    errno = failure;
    return fd;
}

TVIUpdateHelper::Step TVIUpdateHelper::verifySignature()
{
    const std::optional<PlistValue> info =
        PropertyListSerialization::propertyListWithContentsOfFile(locations_.installedInfoPlist);
    const PlistDictionary* entries = info ? info->get<PlistDictionary>() : nullptr;
    std::optional<std::string> key;
    if (entries != nullptr) {
        const auto found = entries->find(SUSignatureVerifier::kPublicKeyInfoKey);
        if (found != entries->end()) key = found->second.stringValue();
    }
    if (!key || key->empty())
        return Failure{Exit::kNoPublicKey, locations_.installedInfoPlist + " names no \"" +
                                               SUSignatureVerifier::kPublicKeyInfoKey + "\""};
    std::string error;
    const std::optional<SUSignatureVerifier> verifier = SUSignatureVerifier::withPublicKey(*key, &error);
    if (!verifier)
        return Failure{Exit::kNoPublicKey, "the installed public key is unusable: " + error};
    if (!verifier->verifyFile(copyPath_, signature_, &error))
        return Failure{Exit::kBadSignature,
                       "refused " + packagePath_ + ": " + (error.empty() ? "its signature does not match." : error)};
    return std::nullopt;
}

TVIUpdateHelper::Step TVIUpdateHelper::checkPackageFields()
{
    const TVIRootCommand::Result fields = TVIRootCommand::run({kDpkgDeb, "--field", copyPath_, "Package", "Version"});
    const std::optional<std::string> name = controlField(fields.output, "Package");
    const std::optional<std::string> version = controlField(fields.output, "Version");
    if (fields.exitStatus != 0 || !name || !version)
        return Failure{Exit::kWrongPackage, packagePath_ + " is no Debian package:\n" +
                                                TVIRootCommand::tail(fields.output, 5)};
    if (*name != kPackageName)
        return Failure{Exit::kWrongPackage, packagePath_ + " holds the package \"" + *name + "\", not \"" +
                                                kPackageName + "\""};
    if (!isAnnouncedVersion(*version, version_))
        return Failure{Exit::kNotAnnounced, packagePath_ + " holds version " + *version + ", not the announced " +
                                                version_};
    packageVersion_ = *version;
    return std::nullopt;
}

TVIUpdateHelper::Step TVIUpdateHelper::checkNewerThanInstalled()
{
    const TVIRootCommand::Result installed =
        TVIRootCommand::run({kDpkgQuery, "--show", "--showformat=${Version}", kPackageName});
    if (installed.exitStatus != 0 || installed.output.empty())
        return Failure{Exit::kWrongPackage, std::string(kPackageName) + " is not installed as a Debian package"};
    const TVIRootCommand::Result newer =
        TVIRootCommand::run({kDpkg, "--compare-versions", packageVersion_, "gt", installed.output});
    if (newer.exitStatus == 1)
        return Failure{Exit::kNotNewer, "version " + packageVersion_ + " is not newer than the installed " +
                                            installed.output};
    if (newer.exitStatus != 0)
        return Failure{Exit::kWrongPackage, "cannot compare version " + packageVersion_ + " with " + installed.output};
    return std::nullopt;
}

TVIUpdateHelper::Step TVIUpdateHelper::installCopy()
{
    const TVIRootCommand::Result apt =
        TVIRootCommand::run({kAptGet, "install", "-y", "-q", "--no-install-recommends", copyPath_});
    if (apt.exitStatus != 0)
        return Failure{Exit::kAptFailed, "apt-get could not install " + std::string(kPackageName) + " " +
                                             packageVersion_ + " (status " + std::to_string(apt.exitStatus) +
                                             "):\n" + TVIRootCommand::tail(apt.output, kAptTailLines)};
    return std::nullopt;
}

void TVIUpdateHelper::removeCopy()
{
    if (!copyWritten_) return;
    if (unlinkat(cacheFolder_, kCopyName, 0) != 0 && errno != ENOENT)
        std::cerr << "telvora-update-helper: cannot remove " << copyPath_ << ": " << errnoText() << std::endl;
    copyWritten_ = false;
}

}
