#pragma once

#include "foundation/PlistValue.h"

#include <memory>
#include <vector>

namespace tvi {

class DDFileLogger;

// The problem report: its window, and the log files it attaches.
class TVIProblemReport : public std::enable_shared_from_this<TVIProblemReport> {
public:
    // Set once logging has started; without it there are no log files to attach.
    void setFileLogger(std::shared_ptr<DDFileLogger> fileLogger) { fileLogger_ = std::move(fileLogger); }
    // The contents of the newest log files the file logger keeps (current file included);
    // empty without a file logger. Any thread.
    std::vector<PlistData> errorLogData() const;
    // Shows the problem-report window (main thread); headless, only the log line.
    void showReportProblem();

private:
    std::shared_ptr<DDFileLogger> fileLogger_;
};

}
