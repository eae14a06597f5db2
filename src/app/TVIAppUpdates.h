#pragma once

#include <string>

namespace tvi {

class SUUpdater;
class TVIAppPreferences;

// The controller's side of updating: the updater's settings at start, the feed that
// follows the server address, the check the user asks for, the install at quit.
class TVIAppUpdates {
public:
    explicit TVIAppUpdates(const TVIAppPreferences& preferences) : preferences_(preferences) {}

    void initSparkleUpdater(bool firstRun);
    std::string constructFeedUrl();
    void setFeedForUpdate();
    // The menu command: a check the user asked for.
    void checkForUpdates();
    // A downloaded update waiting for this quit is swapped in now.
    void installUpdateOnQuit();

private:
    const TVIAppPreferences& preferences_;
    SUUpdater* updater_ = nullptr;
};

}
