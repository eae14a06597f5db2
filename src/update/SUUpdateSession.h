#pragma once

#include "update/SUAppcast.h"
#include "update/SUDownloader.h"
#include "update/SUFeedFetcher.h"
#include "update/SUInstallationHost.h"
#include "update/SUUserDriver.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace tvi {

// One offered update, from the offer to its installation: download, the checks (announced
// length, Ed25519 signature, no downgrade), unpacking and checking a bundle, then installing
// it the way Telvora was installed and relaunching. Used on the main thread; the download,
// the checks and the installation run on a thread of the session's own and report back on the
// main queue, so nothing long ever blocks the main thread. Failures of an interactive session
// are shown in an alert; those of a silent one are only logged.
class SUUpdateSession : public std::enable_shared_from_this<SUUpdateSession> {
public:
    struct Hooks {
        // Telvora should quit now (the relauncher waits for it).
        std::function<void()> terminate;
        // The user skipped this version.
        std::function<void(const std::string& version)> skip;
        // A verified bundle waits beside the running one, to be swapped in when Telvora quits.
        std::function<void(const std::string& newBundle, const std::string& version)> installOnQuit;
        // A silently downloaded package may be offered (true once per version).
        std::function<bool(const std::string& version)> mayOfferPackage;
        // The session is over, however it ended.
        std::function<void()> finished;
    };

    static std::shared_ptr<SUUpdateSession> make(SUAppcastItem item, SUInstallationHost host,
                                                 std::shared_ptr<SUUserDriver> driver,
                                                 SUFeedFetcher::Options downloadOptions, Hooks hooks);
    ~SUUpdateSession();
    SUUpdateSession(const SUUpdateSession&) = delete;
    SUUpdateSession& operator=(const SUUpdateSession&) = delete;

    // Shows the offer; on Install downloads, checks, prepares and asks to install.
    void offer(bool userInitiated);
    // Automatic updating: downloads, checks and prepares without a word; then a bundle waits for
    // Telvora to quit, while a package (which needs the administrator) is offered once.
    void downloadSilently();
    // Stops the download or preparation (the installation, once asked for, runs to its end).
    void cancel();

    const SUAppcastItem& item() const { return item_; }

private:
    struct Prepared {
        bool succeeded = false;
        bool cancelled = false;
        std::string file;         // the verified download
        std::string bundle;       // the checked new bundle (bundle installs)
        std::string errorDescription;
    };

    SUUpdateSession(SUAppcastItem item, SUInstallationHost host, std::shared_ptr<SUUserDriver> driver,
                    SUFeedFetcher::Options downloadOptions, Hooks hooks);

    void onChoice(SUUserDriver::UpdateChoice choice);
    void startDownload();
    void onPrepared(const Prepared& prepared);
    void askToInstall();
    void installNow();
    void installBundle();
    void installPackage();
    void relaunch(const std::string& newBundle);
    void fail(const std::string& reason);
    void finish();
    // Runs `work` on the session's thread and `done` with its result on the main queue.
    void runInBackground(std::function<Prepared()> work, std::function<void(const Prepared&)> done);

    // The work of the session's thread.
    Prepared prepare(const std::atomic<bool>& cancelled, const SUDownloader::Progress& progress) const;
    // What the feed alone decides (newer, length, size, signed), before the file system is touched.
    bool mayDownload(const SUAppcastEnclosure* enclosure, std::string& why) const;
    // A new, uniquely named folder in the Updates folder, when the download fits the free space.
    bool makeDownloadFolder(std::uint64_t length, std::string& folder, std::string& why) const;
    bool checkDownload(const SUAppcastEnclosure& enclosure, const std::string& file, std::string& why) const;
    bool unpack(const std::string& file, Prepared& prepared, const std::atomic<bool>& cancelled) const;

    SUAppcastItem item_;
    SUInstallationHost host_;
    std::shared_ptr<SUUserDriver> driver_;
    SUFeedFetcher::Options downloadOptions_;
    Hooks hooks_;
    bool interactive_ = false;
    bool finished_ = false;
    Prepared prepared_;
    std::shared_ptr<std::atomic<bool>> cancelled_ = std::make_shared<std::atomic<bool>>(false);
    std::thread worker_;
};

}
