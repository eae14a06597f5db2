#pragma once

#include <memory>

namespace tvi {

class TVICrashManager;
class TVIProblemReport;

// The crash check at start and its prompt, which may open the problem report.
class TVICrashReports {
public:
    explicit TVICrashReports(std::shared_ptr<TVIProblemReport> problemReport)
        : problemReport_(std::move(problemReport))
    {
    }

    void checkForCrashes();
    bool checkForCrashLogDataAtLaunch();
    void notifyUserAboutCrash();
    // Created by the crash check; null before.
    const std::shared_ptr<TVICrashManager>& crashManager() const { return crashManager_; }

private:
    std::shared_ptr<TVIProblemReport> problemReport_;
    std::shared_ptr<TVICrashManager> crashManager_;
};

}
