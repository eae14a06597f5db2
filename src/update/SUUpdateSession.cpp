#include "update/SUUpdateSession.h"

#include "diagnostics/DDLogMacros.h"
#include "environment/TVILocalizationUtilities.h"
#include "foundation/Bundle.h"
#include "foundation/DispatchQueue.h"
#include "foundation/Format.h"
#include "foundation/StandardFolders.h"
#include "platform/Alerts.h"
#include "platform/Platform.h"
#include "update/SUArchiveExtractor.h"
#include "update/SUBundleValidator.h"
#include "update/SUPackageInstaller.h"
#include "update/SURelauncher.h"
#include "update/SUSignatureVerifier.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>

namespace tvi {

namespace {

std::string localized(const std::string& key)
{
    return TVILocalizationUtilities::replaceAppNameInString(Bundle::mainBundle().localizedString(key));
}

// Nothing larger is an update of Telvora: a feed must not be able to fill the disk.
constexpr std::uint64_t kLargestDownload = 512ull * 1024 * 1024;
// Left free beside a download, so that other programs can still save their work.
constexpr std::uint64_t kFreeSpaceMargin = 64ull * 1024 * 1024;

// The download's file name is ours, never the address's.
const char* downloadName(bool package) { return package ? "update.deb" : "update.tar.gz"; }

std::optional<std::uint64_t> freeSpaceIn(const std::string& folder)
{
    struct statvfs space {};
    if (::statvfs(folder.c_str(), &space) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize;
}

void removeQuietly(const std::string& path)
{
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
}

}

std::shared_ptr<SUUpdateSession> SUUpdateSession::make(SUAppcastItem item, SUInstallationHost host,
                                                       std::shared_ptr<SUUserDriver> driver,
                                                       SUFeedFetcher::Options downloadOptions, Hooks hooks)
{
    return std::shared_ptr<SUUpdateSession>(new SUUpdateSession(std::move(item), std::move(host), std::move(driver),
                                                                downloadOptions, std::move(hooks)));
}

SUUpdateSession::SUUpdateSession(SUAppcastItem item, SUInstallationHost host, std::shared_ptr<SUUserDriver> driver,
                                 SUFeedFetcher::Options downloadOptions, Hooks hooks)
    : item_(std::move(item)), host_(std::move(host)), driver_(std::move(driver)), downloadOptions_(downloadOptions),
      hooks_(std::move(hooks))
{
}

SUUpdateSession::~SUUpdateSession()
{
    *cancelled_ = true;
    if (worker_.joinable()) worker_.join();
}

void SUUpdateSession::offer(bool userInitiated)
{
    interactive_ = true;
    DDLogInfo("%@: Offering the update to version %@", item_.displayVersion());
    SUUserDriver::Offer offer{item_, host_.displayVersion, userInitiated, false};
    std::weak_ptr<SUUpdateSession> weak = weak_from_this();
    driver_->showUpdateFound(offer, [weak](SUUserDriver::UpdateChoice choice) {
        if (auto self = weak.lock()) self->onChoice(choice);
    });
}

void SUUpdateSession::onChoice(SUUserDriver::UpdateChoice choice)
{
    switch (choice) {
    case SUUserDriver::UpdateChoice::Install:
        if (prepared_.succeeded) installNow();
        else startDownload();
        return;
    case SUUserDriver::UpdateChoice::Skip:
        DDLogInfo("%@: The user skipped version %@", item_.displayVersion());
        if (hooks_.skip) hooks_.skip(SUInstallationHost::versionOf(item_));
        break;
    case SUUserDriver::UpdateChoice::RemindLater:
        DDLogInfo("%@: The user postponed the update to version %@", item_.displayVersion());
        break;
    }
    driver_->dismissUpdate();
    finish();
}

void SUUpdateSession::downloadSilently()
{
    interactive_ = false;
    DDLogInfo("%@: Downloading the update to version %@ in the background", item_.displayVersion());
    startDownload();
}

void SUUpdateSession::cancel()
{
    *cancelled_ = true;
}

void SUUpdateSession::startDownload()
{
    if (interactive_) {
        std::weak_ptr<SUUpdateSession> weak = weak_from_this();
        driver_->showDownloadStarted([weak] {
            if (auto self = weak.lock()) self->cancel();
        });
    }
    std::weak_ptr<SUUpdateSession> weak = weak_from_this();
    const bool interactive = interactive_;
    auto loggedQuarter = std::make_shared<int>(0);
    SUDownloader::Progress progress = [weak, interactive, loggedQuarter](std::uint64_t received,
                                                                          std::uint64_t expected) {
        // Each quarter once in the log, for a person reading it after a slow or broken download.
        if (expected && received < expected && int(4 * received / expected) > *loggedQuarter) {
            *loggedQuarter = int(4 * received / expected);
            DDLogInfo("%@: Downloaded %llu of %llu bytes", static_cast<unsigned long long>(received),
                      static_cast<unsigned long long>(expected));
        }
        if (!interactive) return;
        DispatchQueue::main()->async([weak, received, expected] {
            auto self = weak.lock();
            if (self && !self->finished_ && self->driver_) self->driver_->showDownloadProgress(received, expected);
        });
    };
    runInBackground([this, progress] { return prepare(*cancelled_, progress); },
                    [this](const Prepared& prepared) { onPrepared(prepared); });
}

void SUUpdateSession::runInBackground(std::function<Prepared()> work, std::function<void(const Prepared&)> done)
{
    if (worker_.joinable()) worker_.join();
    std::weak_ptr<SUUpdateSession> weak = weak_from_this();
    worker_ = std::thread([work = std::move(work), done = std::move(done), weak] {
        Prepared result = work();
        DispatchQueue::main()->async([weak, done, result = std::move(result)] {
            if (weak.lock()) done(result);
        });
    });
}

SUUpdateSession::Prepared SUUpdateSession::prepare(const std::atomic<bool>& cancelled,
                                                    const SUDownloader::Progress& progress) const
{
    Prepared prepared;
    const SUAppcastEnclosure* enclosure = host_.enclosureFor(item_);
    // Everything the feed alone decides is checked before the file system is touched.
    if (!mayDownload(enclosure, prepared.errorDescription)) return prepared;
    std::string folder;
    if (!makeDownloadFolder(enclosure->length, folder, prepared.errorDescription)) return prepared;
    prepared.file = folder + "/" + downloadName(host_.kind == SUInstallationHost::Kind::Package);
    DDLogInfo("%@: Downloading %@ (%llu bytes announced) to %@", enclosure->url,
              static_cast<unsigned long long>(enclosure->length), prepared.file);
    const SUDownloader::Result downloaded =
        SUDownloader::download(enclosure->url, prepared.file, enclosure->length, downloadOptions_, progress, &cancelled);
    if (!downloaded.succeeded) {
        prepared.cancelled = downloaded.cancelled;
        prepared.errorDescription = downloaded.errorDescription;
        removeQuietly(folder);
        return prepared;
    }
    DDLogInfo("%@: Downloaded %llu bytes; checking the signature", static_cast<unsigned long long>(downloaded.bytes));
    if (!checkDownload(*enclosure, prepared.file, prepared.errorDescription) ||
        (host_.kind == SUInstallationHost::Kind::Bundle && !unpack(prepared.file, prepared, cancelled))) {
        prepared.cancelled = cancelled;
        removeQuietly(folder);
        return prepared;
    }
    prepared.succeeded = true;
    return prepared;
}

bool SUUpdateSession::mayDownload(const SUAppcastEnclosure* enclosure, std::string& why) const
{
    if (!enclosure) {
        why = host_.kind == SUInstallationHost::Kind::Package
                  ? "The update offers no Debian package."
                  : "The update offers no archive of the application bundle (.tar.gz).";
        return false;
    }
    if (host_.workFolder.empty()) {
        why = "There is no folder to download the update into.";
        return false;
    }
    // Said before anything is downloaded: the new bundle must be unpacked beside the old one.
    const std::string parent = std::filesystem::path(host_.bundlePath).parent_path().string();
    if (host_.kind == SUInstallationHost::Kind::Bundle && ::access(parent.c_str(), W_OK) != 0) {
        why = format("Telvora lies in %@, which you cannot change; an administrator has to install version %@ there.",
                     parent, item_.displayVersion());
        return false;
    }
    if (!host_.isNewer(item_)) {
        why = format("Version %@ is not newer than the running %@; it is not installed.", item_.displayVersion(),
                     host_.displayVersion);
        return false;
    }
    if (enclosure->length == 0) {
        why = "The update feed announces no length for the download, so it cannot be checked.";
        return false;
    }
    if (enclosure->length > kLargestDownload) {
        why = format("The update feed announces a download of %llu bytes; updates larger than 512 MiB are refused.",
                     static_cast<unsigned long long>(enclosure->length));
        return false;
    }
    if (enclosure->edSignature.empty()) {
        why = "The update is not signed; only updates signed by the maker are installed.";
        return false;
    }
    return true;
}

bool SUUpdateSession::makeDownloadFolder(std::uint64_t length, std::string& folder, std::string& why) const
{
    // Downloads and the relauncher's log are the user's alone, whatever the folders above allow.
    if (Error error; !StandardFolders::createPrivateDirectory(host_.workFolder, &error)) {
        why = format("The folder %@ could not be made: %@", host_.workFolder, error.localizedDescription);
        return false;
    }
    const auto available = freeSpaceIn(host_.workFolder);
    if (!available || *available < kFreeSpaceMargin || *available - kFreeSpaceMargin < length) {
        why = format("The download of %llu bytes does not fit in the space left free in %@.",
                     static_cast<unsigned long long>(length), host_.workFolder);
        return false;
    }
    // A fresh folder of our own for each download: no name in it comes from the feed.
    std::string pattern = host_.workFolder + "/download-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        why = format("No folder could be made in %@ for the download: %@", host_.workFolder,
                     std::string(std::strerror(errno)));
        return false;
    }
    folder = pattern;
    return true;
}

bool SUUpdateSession::checkDownload(const SUAppcastEnclosure& enclosure, const std::string& file,
                                    std::string& why) const
{
    const auto verifier = SUSignatureVerifier::withPublicKey(host_.publicKey, &why);
    if (!verifier) {
        why = "This copy of Telvora carries no valid key to check updates with (" + why + ")";
        return false;
    }
    return verifier->verifyFile(file, enclosure.edSignature, &why);
}

bool SUUpdateSession::unpack(const std::string& file, Prepared& prepared, const std::atomic<bool>& cancelled) const
{
    const std::string folder = host_.updateFolderFor(SUInstallationHost::versionOf(item_));
    removeQuietly(folder);
    DDLogInfo("%@: Signature good; unpacking the update into %@", folder);
    const SUArchiveExtractor::Result extracted = SUArchiveExtractor::extractTarGz(file, folder, &cancelled);
    if (!extracted.succeeded) {
        prepared.errorDescription = extracted.errorDescription;
        return false;
    }
    const auto bundle = SUBundleValidator::findBundle(folder, &prepared.errorDescription);
    if (!bundle || !SUBundleValidator::validate(*bundle, host_.bundleIdentifier, SUInstallationHost::versionOf(item_),
                                                &prepared.errorDescription)) {
        removeQuietly(folder);
        return false;
    }
    prepared.bundle = *bundle;
    return true;
}

void SUUpdateSession::onPrepared(const Prepared& prepared)
{
    if (finished_) return;
    prepared_ = prepared;
    if (prepared.cancelled) {
        DDLogInfo("%@: The update to version %@ was cancelled", item_.displayVersion());
        if (interactive_) driver_->dismissUpdate();
        finish();
        return;
    }
    if (!prepared.succeeded) return fail(prepared.errorDescription);
    DDLogInfo("%@: The update to version %@ is downloaded and verified", item_.displayVersion());
    if (interactive_) return askToInstall();
    if (host_.kind == SUInstallationHost::Kind::Bundle) {
        if (hooks_.installOnQuit) hooks_.installOnQuit(prepared.bundle, SUInstallationHost::versionOf(item_));
        DDLogInfo("%@: Version %@ will be installed when Telvora quits", item_.displayVersion());
        return finish();
    }
    const bool offer = driver_ && hooks_.mayOfferPackage && hooks_.mayOfferPackage(SUInstallationHost::versionOf(item_));
    if (!offer) return finish();
    interactive_ = true;
    SUUserDriver::Offer downloaded{item_, host_.displayVersion, false, true};
    std::weak_ptr<SUUpdateSession> weak = weak_from_this();
    driver_->showUpdateFound(downloaded, [weak](SUUserDriver::UpdateChoice choice) {
        if (auto self = weak.lock()) self->onChoice(choice);
    });
}

void SUUpdateSession::askToInstall()
{
    std::weak_ptr<SUUpdateSession> weak = weak_from_this();
    driver_->showReadyToInstall([weak](bool now) {
        auto self = weak.lock();
        if (!self) return;
        if (now) return self->installNow();
        if (self->host_.kind == SUInstallationHost::Kind::Bundle && self->hooks_.installOnQuit) {
            self->hooks_.installOnQuit(self->prepared_.bundle, SUInstallationHost::versionOf(self->item_));
            DDLogInfo("%@: Version %@ will be installed when Telvora quits", self->item_.displayVersion());
        }
        self->driver_->dismissUpdate();
        self->finish();
    });
}

void SUUpdateSession::installNow()
{
    if (driver_) driver_->showInstalling();
    if (host_.kind == SUInstallationHost::Kind::Bundle) installBundle();
    else installPackage();
}

void SUUpdateSession::installBundle()
{
    std::error_code error;
    if (!std::filesystem::is_directory(prepared_.bundle, error))
        return fail("The prepared update is gone: " + prepared_.bundle);
    relaunch(prepared_.bundle);
}

void SUUpdateSession::installPackage()
{
    const std::string file = prepared_.file;
    const SUAppcastEnclosure* enclosure = host_.enclosureFor(item_);
    const std::string signature = enclosure ? enclosure->edSignature : std::string();
    // The package's own version is the release's display version (its Debian version's upstream part).
    const std::string version = item_.displayVersion();
    DDLogInfo("%@: Asking the administrator to install the package %@", file);
    runInBackground(
        [file, signature, version, pkexec = host_.pkexecProgram, helper = host_.packageHelper] {
            const SUPackageInstaller::Result installed =
                SUPackageInstaller::install(file, signature, version, pkexec, helper);
            Prepared result;
            result.succeeded = installed.status == SUPackageInstaller::Status::Installed;
            result.cancelled = installed.status == SUPackageInstaller::Status::Dismissed;
            result.errorDescription = installed.errorDescription;
            return result;
        },
        [this](const Prepared& installed) {
            if (installed.cancelled) {
                DDLogInfo("%@: The administrator's password was not given; the update is not installed");
                driver_->dismissUpdate();
                return finish();
            }
            if (!installed.succeeded) return fail(installed.errorDescription);
            DDLogInfo("%@: The package of version %@ is installed", item_.displayVersion());
            relaunch({});
        });
}

void SUUpdateSession::relaunch(const std::string& newBundle)
{
    SURelauncher::Options options;
    options.oldPid = ::getpid();
    options.lockFile = host_.lockFile;
    options.bundlePath = host_.bundlePath;
    options.newBundlePath = newBundle;
    options.backupPath = newBundle.empty() ? std::string() : host_.backupPath();
    options.logFile = host_.workFolder.empty() ? std::string() : host_.workFolder + "/relauncher.log";
    const std::string program = SURelauncher::programInBundle(host_.bundlePath);
    std::string why;
    const auto pid = SURelauncher::spawnDetached(program, SURelauncher::commandLine(options), &why);
    if (!pid) return fail("The relauncher could not be started: " + why);
    DDLogInfo("%@: Relauncher %@ started (pid %d); Telvora quits to be replaced by version %@", program,
              static_cast<int>(*pid), item_.displayVersion());
    if (driver_) driver_->dismissUpdate();
    const auto terminate = hooks_.terminate;
    finish();
    if (terminate) terminate();
}

void SUUpdateSession::fail(const std::string& reason)
{
    DDLogError("%@: The update to version %@ failed: %@", item_.displayVersion(), reason);
    if (interactive_) {
        driver_->dismissUpdate();
        Alert alert;
        alert.alertStyle = AlertStyle::Warning;
        alert.messageText = localized("The update could not be installed.");
        alert.informativeText = format(localized("<AppName> %@ stays as it is. %@"), host_.displayVersion, reason);
        alert.buttons = {localized("OK")};
        Platform::get<Alerts>()->runModal(alert);
    }
    finish();
}

void SUUpdateSession::finish()
{
    if (finished_) return;
    finished_ = true;
    // The download is of no use once the session is over: a bundle was unpacked from it (and
    // waits beside the running one), a package was installed or declined.
    if (!prepared_.file.empty()) removeQuietly(std::filesystem::path(prepared_.file).parent_path().string());
    if (hooks_.finished) hooks_.finished();
}

}
