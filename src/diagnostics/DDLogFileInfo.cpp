#include "diagnostics/DDLogFileInfo.h"

#include "diagnostics/SystemLog.h"
#include "foundation/Format.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <mutex>
#include <set>

namespace tvi {
namespace {

// File systems without extended attributes (ENOTSUP) keep the archived marker
// in this process's memory instead: a restart forgets it, which at worst makes
// the newest file look current again and so appended to or archived anew.
class ArchivedWithoutAttributes {
public:
    static ArchivedWithoutAttributes& shared()
    {
        static ArchivedWithoutAttributes* const instance = new ArchivedWithoutAttributes;
        return *instance;
    }
    bool contains(const std::string& path)
    {
        std::lock_guard lock(mutex_);
        return paths_.count(path) > 0;
    }
    void set(const std::string& path, bool archived)
    {
        std::lock_guard lock(mutex_);
        if (archived) paths_.insert(path);
        else paths_.erase(path);
    }

private:
    std::mutex mutex_;
    std::set<std::string> paths_;
};

bool unsupported(int error)
{
    return error == ENOTSUP || error == EOPNOTSUPP;
}

DDLogFileInfo::Clock::time_point toTimePoint(const statx_timestamp& stamp)
{
    using namespace std::chrono;
    return DDLogFileInfo::Clock::time_point(
        duration_cast<DDLogFileInfo::Clock::duration>(seconds(stamp.tv_sec) + nanoseconds(stamp.tv_nsec)));
}

}

DDLogFileInfo::DDLogFileInfo(std::string filePath) : filePath_(std::move(filePath)) {}

const std::string& DDLogFileInfo::fileName() const
{
    if (!fileName_) {
        const auto slash = filePath_.find_last_of('/');
        fileName_ = slash == std::string::npos ? filePath_ : filePath_.substr(slash + 1);
    }
    return *fileName_;
}

const std::optional<DDLogFileInfo::FileAttributes>& DDLogFileInfo::fileAttributes() const
{
    if (!attributesRead_) {
        attributesRead_ = true;
        struct statx info {};
        if (statx(AT_FDCWD, filePath_.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &info) == 0) {
            FileAttributes attributes;
            attributes.modificationDate = toTimePoint(info.stx_mtime);
            attributes.creationDate =
                (info.stx_mask & STATX_BTIME) ? toTimePoint(info.stx_btime) : attributes.modificationDate;
            attributes.fileSize = info.stx_size;
            fileAttributes_ = attributes;
        }
    }
    return fileAttributes_;
}

DDLogFileInfo::Clock::time_point DDLogFileInfo::creationDate() const
{
    const auto& attributes = fileAttributes();
    return attributes ? attributes->creationDate : Clock::time_point{};
}

std::uint64_t DDLogFileInfo::fileSize() const
{
    const auto& attributes = fileAttributes();
    return attributes ? attributes->fileSize : 0;
}

double DDLogFileInfo::age() const
{
    return std::chrono::duration<double>(Clock::now() - creationDate()).count();
}

bool DDLogFileInfo::isArchived() const
{
    if (getxattr(filePath_.c_str(), kArchivedAttributeName, nullptr, 0) >= 0) return true;
    if (unsupported(errno)) return ArchivedWithoutAttributes::shared().contains(filePath_);
    return false;
}

void DDLogFileInfo::setIsArchived(bool archived)
{
    if (archived) {
        const int result = setxattr(filePath_.c_str(), kArchivedAttributeName, "", 0, 0);
        if (result == 0) return;
        if (unsupported(errno)) {
            ArchivedWithoutAttributes::shared().set(filePath_, true);
            return;
        }
        SystemLog::write(format("DDLogFileInfo: setxattr(%@, %@): error = %i", kArchivedAttributeName, fileName(),
                                errno));
    } else {
        ArchivedWithoutAttributes::shared().set(filePath_, false);
        const int result = removexattr(filePath_.c_str(), kArchivedAttributeName);
        if (result == 0 || errno == ENODATA || unsupported(errno)) return;
        SystemLog::write(format("DDLogFileInfo: removexattr(%@, %@): error = %i", kArchivedAttributeName,
                                fileName(), errno));
    }
}

void DDLogFileInfo::setIsArchivedThroughDescriptor(int fileDescriptor)
{
    if (fsetxattr(fileDescriptor, kArchivedAttributeName, "", 0, 0) == 0) return;
    if (unsupported(errno)) {
        ArchivedWithoutAttributes::shared().set(filePath_, true);
        return;
    }
    SystemLog::write(
        format("DDLogFileInfo: setxattr(%@, %@): error = %i", kArchivedAttributeName, fileName(), errno));
}

}
