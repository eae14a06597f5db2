#include "diagnostics/DDLogFileManagerDefault.h"

#include "diagnostics/DDLog.h"
#include "diagnostics/SystemLog.h"
#include "foundation/Error.h"
#include "foundation/Format.h"
#include "foundation/StandardFolders.h"
#include "foundation/TVIApplication.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <filesystem>

namespace tvi {
namespace {

std::string defaultLogsDirectory()
{
    std::string logs = StandardFolders::userLogs();
    if (logs.empty()) logs = std::filesystem::temp_directory_path().string();
    return logs + "/" + TVIApplication::nameForFiles();
}

// Reads exactly `width` digits into value.
bool readNumber(const std::string& text, std::size_t& at, std::size_t width, int& value)
{
    if (at + width > text.size()) return false;
    value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        const char c = text[at + i];
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        value = value * 10 + (c - '0');
    }
    at += width;
    return true;
}

bool readLiteral(const std::string& text, std::size_t& at, char literal)
{
    if (at >= text.size() || text[at] != literal) return false;
    ++at;
    return true;
}

std::vector<std::string> splitAtSpaces(const std::string& text)
{
    std::vector<std::string> pieces(1);
    for (char c : text) {
        if (c == ' ') pieces.emplace_back();
        else pieces.back().push_back(c);
    }
    return pieces;
}

}

DDLogFileManagerDefault::DDLogFileManagerDefault() : DDLogFileManagerDefault(defaultLogsDirectory()) {}

DDLogFileManagerDefault::DDLogFileManagerDefault(std::string logsDirectory)
    : logsDirectory_(std::move(logsDirectory)), applicationName_(TVIApplication::nameForFiles())
{
}

std::string DDLogFileManagerDefault::logsDirectory() const
{
    // Every dialled number and captured text is in there: the folder is the user's alone,
    // whatever its parents allow.
    Error error;
    if (!StandardFolders::createPrivateDirectory(logsDirectory_, &error))
        SystemLog::write(format("DDFileLogManagerDefault: Error creating logsDirectory: %@", error.description()));
    return logsDirectory_;
}

void DDLogFileManagerDefault::setMaximumNumberOfLogFiles(unsigned long maximum)
{
    if (maximumNumberOfLogFiles_.exchange(maximum) == maximum) return;
    // The logging queue keeps the manager alive until the deletion ran; one not
    // owned by a shared_ptr cannot be kept, so it waits for the deletion.
    if (auto self = weak_from_this().lock()) {
        DDLog::asyncOnLoggingQueue([self] { self->deleteOldLogFiles(); });
    } else {
        DDLog::syncOnLoggingQueue([this] { deleteOldLogFiles(); });
    }
}

std::string DDLogFileManagerDefault::fileDateString(std::chrono::system_clock::time_point time)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d-%02d", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                  utc.tm_hour, utc.tm_min);
    return text;
}

bool DDLogFileManagerDefault::parseFileDate(const std::string& text)
{
    std::size_t at = 0;
    int year, month, day, hour, minute;
    const bool read = readNumber(text, at, 4, year) && readLiteral(text, at, '-') && readNumber(text, at, 2, month) &&
                      readLiteral(text, at, '-') && readNumber(text, at, 2, day) && readLiteral(text, at, ' ') &&
                      readNumber(text, at, 2, hour) && readLiteral(text, at, '-') && readNumber(text, at, 2, minute);
    return read && at == text.size() && month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour <= 23 &&
           minute <= 59;
}

bool DDLogFileManagerDefault::isLogFile(const std::string& fileName) const
{
    static const std::string kExtension = ".log";
    if (fileName.size() < applicationName_.size() + kExtension.size()) return false;
    if (fileName.compare(0, applicationName_.size(), applicationName_) != 0) return false;
    if (fileName.compare(fileName.size() - kExtension.size(), kExtension.size(), kExtension) != 0) return false;
    const std::string middle =
        fileName.substr(applicationName_.size(), fileName.size() - applicationName_.size() - kExtension.size());
    if (middle.size() < 17) return false;
    const std::vector<std::string> pieces = splitAtSpaces(middle);
    if (pieces.size() != 3 && pieces.size() != 4) return false;
    if (!pieces[0].empty()) return false;
    return parseFileDate(pieces[1] + " " + pieces[2]);
}

std::string DDLogFileManagerDefault::newLogFileName(unsigned long attempt,
                                                    std::chrono::system_clock::time_point now) const
{
    const std::string date = fileDateString(now);
    if (attempt <= 1) return format("%@ %@.log", applicationName_, date);
    return format("%@ %@ %lu.log", applicationName_, date, attempt);
}

std::string DDLogFileManagerDefault::createNewLogFile()
{
    const std::string directory = logsDirectory();
    const auto now = std::chrono::system_clock::now();
    std::string path;
    for (unsigned long attempt = 1;; ++attempt) {
        path = directory + "/" + newLogFileName(attempt, now);
        // Exclusive creation: a name taken meanwhile by another writer moves on to the next attempt.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            break;
        }
        if (errno != EEXIST) break;
    }
    deleteOldLogFiles();
    return path;
}

std::vector<std::string> DDLogFileManagerDefault::unsortedLogFilePaths() const
{
    std::vector<std::string> paths;
    const std::string directory = logsDirectory();
    DIR* folder = ::opendir(directory.c_str());
    if (!folder) return paths;
    while (const dirent* entry = ::readdir(folder)) {
        const std::string name = entry->d_name;
        if (isLogFile(name)) paths.push_back(directory + "/" + name);
    }
    ::closedir(folder);
    return paths;
}

std::vector<DDLogFileInfo> DDLogFileManagerDefault::unsortedLogFileInfos() const
{
    std::vector<DDLogFileInfo> infos;
    for (auto& path : unsortedLogFilePaths()) infos.emplace_back(std::move(path));
    return infos;
}

std::vector<DDLogFileInfo> DDLogFileManagerDefault::sortedLogFileInfos() const
{
    std::vector<DDLogFileInfo> infos = unsortedLogFileInfos();
    std::sort(infos.begin(), infos.end(), [](const DDLogFileInfo& a, const DDLogFileInfo& b) {
        return a.creationDate() > b.creationDate();
    });
    return infos;
}

std::vector<std::string> DDLogFileManagerDefault::sortedLogFilePaths() const
{
    std::vector<std::string> paths;
    for (const auto& info : sortedLogFileInfos()) paths.push_back(info.filePath());
    return paths;
}

void DDLogFileManagerDefault::deleteOldLogFiles()
{
    const unsigned long maximum = maximumNumberOfLogFiles();
    if (maximum == 0) return;
    std::vector<DDLogFileInfo> infos = sortedLogFileInfos();
    // An unarchived newest file is the one being written: it never counts.
    if (!infos.empty() && !infos.front().isArchived()) infos.erase(infos.begin());
    for (std::size_t index = maximum; index < infos.size(); ++index) ::unlink(infos[index].filePath().c_str());
}

}
