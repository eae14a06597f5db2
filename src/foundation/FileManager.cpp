#include "foundation/FileManager.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace tvi {
namespace {

std::string lastComponent(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string parentOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

void setError(Error* error, Error value)
{
    if (error) *error = std::move(value);
}

Error posixError(int code, const std::string& path)
{
    return Error{"NSPOSIXErrorDomain", code, std::strerror(code), {{"NSFilePath", path}}};
}

Error cocoaError(long code, std::string description, const std::string& path)
{
    return Error{FileManager::kCocoaErrorDomain, code, std::move(description), {{"NSFilePath", path}}};
}

bool copyFile(const std::string& from, const std::string& to, mode_t mode)
{
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        const int saved = errno;
        ::close(in);
        errno = saved;
        return false;
    }
    std::vector<char> buffer(64 * 1024);
    bool ok = true;
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        for (ssize_t done = 0; ok && done < got;) {
            const ssize_t put = ::write(out, buffer.data() + done, static_cast<std::size_t>(got - done));
            if (put < 0 && errno != EINTR) ok = false;
            if (put > 0) done += put;
        }
        if (!ok) break;
    }
    // The source's permission bits, execute bits included, once the content is in.
    if (ok && ::fchmod(out, mode & 07777) != 0) ok = false;
    const int saved = errno;
    if (::close(out) != 0 && ok) ok = false;
    ::close(in);
    if (!ok) errno = saved ? saved : EIO;
    return ok;
}

// Copies one item; on failure errno tells why and `failedPath` where.
bool copyTree(const std::string& from, const std::string& to, std::string& failedPath)
{
    struct stat info {};
    failedPath = from;
    if (::lstat(from.c_str(), &info) != 0) return false;
    if (S_ISLNK(info.st_mode)) {
        std::vector<char> target(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 4096) + 1);
        const ssize_t length = ::readlink(from.c_str(), target.data(), target.size() - 1);
        if (length < 0) return false;
        failedPath = to;
        return ::symlink(std::string(target.data(), static_cast<std::size_t>(length)).c_str(), to.c_str()) == 0;
    }
    if (S_ISREG(info.st_mode)) return copyFile(from, to, info.st_mode);
    if (!S_ISDIR(info.st_mode)) {
        errno = ENOTSUP;
        return false;
    }
    failedPath = to;
    if (::mkdir(to.c_str(), 0700) != 0) return false;
    DIR* dir = ::opendir(from.c_str());
    failedPath = from;
    if (!dir) return false;
    bool ok = true;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (!copyTree(from + "/" + name, to + "/" + name, failedPath)) {
            ok = false;
            break;
        }
    }
    const int saved = errno;
    ::closedir(dir);
    errno = saved;
    if (ok && ::chmod(to.c_str(), info.st_mode & 07777) != 0) {
        failedPath = to;
        ok = false;
    }
    return ok;
}

void removeQuietly(const std::string& path)
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

}

bool FileManager::fileExists(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

bool FileManager::copyItem(const std::string& source, const std::string& destination, Error* error)
{
    const std::string name = lastComponent(source);
    if (!fileExists(source)) {
        setError(error, cocoaError(kFileReadNoSuchFileError,
                                   "The file \xE2\x80\x9C" + name + "\xE2\x80\x9D couldn\xE2\x80\x99t be opened because "
                                   "there is no such file.", source));
        return false;
    }
    const Error exists = cocoaError(kFileWriteFileExistsError,
                                    "\xE2\x80\x9C" + name + "\xE2\x80\x9D couldn\xE2\x80\x99t be copied to \xE2\x80\x9C" +
                                        lastComponent(parentOf(destination)) +
                                        "\xE2\x80\x9D because an item with the same name already exists.",
                                    destination);
    if (fileExists(destination)) {
        setError(error, exists);
        return false;
    }
    static std::atomic<unsigned> counter{0};
    const std::string temporary = parentOf(destination) + "/." + lastComponent(destination) + ".copy-" +
                                  std::to_string(::getpid()) + "-" + std::to_string(counter++);
    removeQuietly(temporary);
    std::string failedPath;
    if (!copyTree(source, temporary, failedPath)) {
        const int code = errno;
        removeQuietly(temporary);
        setError(error, posixError(code, failedPath));
        return false;
    }
    // No replacing: whoever put an item there meanwhile keeps it.
    int renamed = ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE);
    // A file system without the no-replace rename: look, then rename.
    if (renamed != 0 && errno == EINVAL) {
        errno = EEXIST;
        renamed = fileExists(destination) ? -1 : ::rename(temporary.c_str(), destination.c_str());
    }
    if (renamed != 0) {
        const int code = errno;
        removeQuietly(temporary);
        setError(error, code == EEXIST ? exists : posixError(code, destination));
        return false;
    }
    return true;
}

bool FileManager::removeItem(const std::string& path, Error* error)
{
    if (!fileExists(path)) {
        setError(error, cocoaError(kFileNoSuchFileError,
                                   "\xE2\x80\x9C" + lastComponent(path) + "\xE2\x80\x9D couldn\xE2\x80\x99t be removed "
                                   "because it doesn\xE2\x80\x99t exist.", path));
        return false;
    }
    std::error_code failure;
    std::filesystem::remove_all(path, failure);
    if (failure) {
        setError(error, posixError(failure.value(), path));
        return false;
    }
    return true;
}

}
