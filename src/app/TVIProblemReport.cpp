// Its lines have always named the controller, and still do.
#define TVI_LOG_CLASS_NAME "TVIAppDelegate"
#include "app/TVIProblemReport.h"

#include "app/TVIWindowPresenter.h"
#include "diagnostics/DDFileLogger.h"
#include "diagnostics/DDLogFileManagerDefault.h"
#include "diagnostics/DDLogMacros.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace tvi {

namespace {

std::optional<PlistData> readWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    PlistData bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

}

std::vector<PlistData> TVIProblemReport::errorLogData() const
{
    DDLogInfo("%@: => Logging errorLogData");
    std::vector<PlistData> contents;
    if (!fileLogger_) return contents;
    const std::shared_ptr<DDLogFileManagerDefault>& manager = fileLogger_->logFileManager();
    const unsigned long maximum = manager->maximumNumberOfLogFiles();
    DDLogInfo("%@: fileLogger.logFileManager logsDirectory : %@", manager->logsDirectory());
    DDLogInfo("%@: fileLogger.logFileManager maximum_num_files : %lu", maximum);
    const std::vector<DDLogFileInfo> newestFirst = manager->sortedLogFileInfos();
    const std::size_t count = std::min<std::size_t>(maximum, newestFirst.size());
    for (std::size_t i = 0; i < count; ++i) {
        // A file that went away meanwhile (rolled and deleted) is left out.
        if (auto bytes = readWholeFile(newestFirst[i].filePath())) contents.push_back(std::move(*bytes));
    }
    return contents;
}

void TVIProblemReport::showReportProblem()
{
    DDLogInfo("%@: => showReportProblem");
    if (const auto presenter = TVIWindowPresenter::installed())
        presenter->showReportProblemWindow(*this);
    else
        DDLogInfo("%@: No windows in this mode; the problem-report window is not shown");
}

}
