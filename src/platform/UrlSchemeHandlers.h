#pragma once

#include <string>

namespace tvi {

// Where the desktop learns which program opens links of a scheme (tel:, callto:). The
// companion installer hands it each service workflow it installed or updated.
// Threads: called from the installer's thread; blocks while the desktop's tools run.
class UrlSchemeHandlers {
public:
    static constexpr const char* serviceName = "UrlSchemeHandlers";

    virtual ~UrlSchemeHandlers() = default;

    // Makes the workflow's link handler (run by the action installed at `actionPath`) known to
    // the desktop, and the default for its schemes where the user has none. Logs what it did.
    virtual void serviceWorkflowInstalled(const std::string& workflowPath, const std::string& actionPath) = 0;
};

}
