#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace tvi {

// One log file on disk. Name, attributes, creation date and size are read once
// and then kept. Not thread-safe: an info is used on one queue at a time.
class DDLogFileInfo {
public:
    using Clock = std::chrono::system_clock;

    struct FileAttributes {
        Clock::time_point creationDate;
        Clock::time_point modificationDate;
        std::uint64_t fileSize = 0;
    };

    // Linux lets unprivileged programs set attributes in the "user." name space only.
    static constexpr const char* kArchivedAttributeName = "user.lumberjack.log.archived";

    explicit DDLogFileInfo(std::string filePath);

    const std::string& filePath() const { return filePath_; }
    const std::string& fileName() const;
    // Empty when the file cannot be examined.
    const std::optional<FileAttributes>& fileAttributes() const;
    // The file's birth time; where the file system keeps none, its modification time.
    Clock::time_point creationDate() const;
    std::uint64_t fileSize() const;
    // Seconds since creationDate.
    double age() const;

    bool isArchived() const;
    void setIsArchived(bool archived);
    // Marks the file behind an open descriptor; works after the file was renamed or unlinked.
    void setIsArchivedThroughDescriptor(int fileDescriptor);

    bool operator==(const DDLogFileInfo& other) const { return filePath_ == other.filePath_; }

private:
    std::string filePath_;
    mutable std::optional<std::string> fileName_;
    mutable bool attributesRead_ = false;
    mutable std::optional<FileAttributes> fileAttributes_;
};

}
