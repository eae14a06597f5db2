#pragma once

#include "diagnostics/DDLogFileInfo.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tvi {

// Owns the logs folder: names new files "<app> <yyyy-MM-dd HH-mm>[ <n>].log"
// (UTC), recognises them, lists them newest first and deletes the oldest
// archived ones beyond maximumNumberOfLogFiles.
class DDLogFileManagerDefault : public std::enable_shared_from_this<DDLogFileManagerDefault> {
public:
    static constexpr unsigned long kDefaultMaximumNumberOfLogFiles = 5;

    // $HOME/Library/Logs/<application name>.
    DDLogFileManagerDefault();
    explicit DDLogFileManagerDefault(std::string logsDirectory);

    // The folder, created 0700 when missing and closed to others when it was not.
    std::string logsDirectory() const;
    // TVIApplication::nameForFiles(), read once: "Telvora" however the program was started.
    const std::string& applicationName() const { return applicationName_; }

    unsigned long maximumNumberOfLogFiles() const { return maximumNumberOfLogFiles_.load(); }
    // A different value deletes the surplus asynchronously on the logging queue.
    void setMaximumNumberOfLogFiles(unsigned long maximum);

    bool isLogFile(const std::string& fileName) const;
    // "<app> <date>.log" for attempt 1, "<app> <date> <attempt>.log" after.
    std::string newLogFileName(unsigned long attempt, std::chrono::system_clock::time_point now) const;
    // Creates an empty file (0600) under the first free name, deletes old files and
    // returns the path (also when the file could not be created).
    std::string createNewLogFile();

    std::vector<std::string> unsortedLogFilePaths() const;
    std::vector<DDLogFileInfo> unsortedLogFileInfos() const;
    // Newest creation date first.
    std::vector<DDLogFileInfo> sortedLogFileInfos() const;
    std::vector<std::string> sortedLogFilePaths() const;

    void deleteOldLogFiles();

    // "yyyy-MM-dd HH-mm" in UTC, and its strict reading.
    static std::string fileDateString(std::chrono::system_clock::time_point time);
    static bool parseFileDate(const std::string& text);

private:
    std::string logsDirectory_;
    std::string applicationName_;
    std::atomic<unsigned long> maximumNumberOfLogFiles_{kDefaultMaximumNumberOfLogFiles};
};

}
