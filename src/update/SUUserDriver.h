#pragma once

#include "update/SUAppcast.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tvi {

// What the person sees of one offered update, from the offer to the installation. The
// updater calls it on the main thread; every reply is called at most once, on the main thread.
// Failures are not shown here: the updater shows them in an alert after dismissUpdate().
class SUUserDriver {
public:
    enum class UpdateChoice { Install, RemindLater, Skip };

    struct Offer {
        SUAppcastItem item;      // the release, its notes included
        std::string hostVersion; // the running version as shown to people
        bool userInitiated = false;
        // Downloaded and verified already (automatic updating): Install goes straight to
        // the installation.
        bool downloaded = false;
    };

    virtual ~SUUserDriver() = default;

    // The offer with the release notes and the three choices. Closing the window is RemindLater.
    virtual void showUpdateFound(const Offer& offer, std::function<void(UpdateChoice)> reply) = 0;
    // The download began; `cancel` stops it (the updater then calls dismissUpdate()).
    virtual void showDownloadStarted(std::function<void()> cancel) = 0;
    // `expected` is 0 when the length is unknown.
    virtual void showDownloadProgress(std::uint64_t received, std::uint64_t expected) = 0;
    // Checking the signature and unpacking.
    virtual void showPreparing() = 0;
    // Ready to install: reply(true) installs and relaunches now, reply(false) waits (a bundle
    // is then swapped when Telvora quits). Closing the window is reply(false).
    virtual void showReadyToInstall(std::function<void(bool installNow)> reply) = 0;
    // The installation runs (for a package: the administrator's password is being asked for).
    virtual void showInstalling() = 0;
    // The flow ended (installed, cancelled, failed, postponed): close whatever is shown.
    virtual void dismissUpdate() = 0;
};

}
