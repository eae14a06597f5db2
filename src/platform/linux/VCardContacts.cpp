#include "platform/linux/VCardContacts.h"

#include "contacts/VCardReader.h"
#include "diagnostics/DDLogMacros.h"
#include "foundation/DispatchQueue.h"
#include "foundation/StandardFolders.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tvi {
namespace {

namespace fs = std::filesystem;

// Bigger files are not address books; reading them would only stall the list.
constexpr std::uintmax_t kMaxFileSize = 32u << 20;
// Synchronisers write many files in a row: read once they have been quiet this long.
constexpr int kQuietMilliseconds = 200;
constexpr std::uint32_t kWatchMask =
    IN_CREATE | IN_DELETE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;

bool isVCardFile(const fs::directory_entry& entry)
{
    std::error_code ec;
    std::string extension = entry.path().extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
    return extension == ".vcf" && entry.is_regular_file(ec);
}

void readFile(const fs::path& path, bool oneCardPerFile, std::vector<Contact>& into)
{
    std::error_code ec;
    if (fs::file_size(path, ec) > kMaxFileSize || ec) return;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    std::vector<Contact> cards = VCardReader::read(text.str());
    for (std::size_t i = 0; i < cards.size(); ++i) {
        Contact& card = cards[i];
        card.path = path.string();
        // vdir names each file after its card, so the stem stands in for a missing UID.
        if (card.uid.empty())
            card.uid = oneCardPerFile && cards.size() == 1 ? path.stem().string() : path.string() + "#" + std::to_string(i);
        into.push_back(std::move(card));
    }
}

// Whether the events name a change to the files. Taking the watches down before a reading
// yields one IN_IGNORED each: counting those, every reading would cause the next.
bool containsChange(const char* buffer, std::size_t length)
{
    bool change = false;
    for (std::size_t at = 0; at + sizeof(inotify_event) <= length;) {
        inotify_event event;
        std::memcpy(&event, buffer + at, sizeof event);
        change = change || (event.mask & IN_IGNORED) == 0;
        at += sizeof event + event.len;
    }
    return change;
}

std::vector<fs::path> foldersToRead(const fs::path& folder)
{
    std::vector<fs::path> folders{folder};
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (entry.is_directory(ec) && entry.path().filename().string().front() != '.') folders.push_back(entry.path());
    return folders;
}

}

std::string VCardContacts::defaultSource()
{
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const std::string base = dataHome && *dataHome == '/' ? std::string(dataHome)
                                                          : StandardFolders::homeDirectory() + "/.local/share";
    const std::string folder = base + "/contacts";
    Error error;
    if (!StandardFolders::createDirectory(folder, &error))
        DDLogWarn("%@: Could not create the contacts folder %@", std::string("VCardContacts"), folder);
    return folder;
}

std::vector<Contact> VCardContacts::readSource(const std::string& path)
{
    std::vector<Contact> contacts;
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        for (const fs::path& folder : foldersToRead(path)) {
            std::vector<fs::path> files;
            for (const auto& entry : fs::directory_iterator(folder, ec))
                if (isVCardFile(entry)) files.push_back(entry.path());
            std::sort(files.begin(), files.end());
            for (const fs::path& file : files) readFile(file, true, contacts);
        }
    } else if (fs::is_regular_file(path, ec)) {
        readFile(path, false, contacts);
    }
    std::stable_sort(contacts.begin(), contacts.end(),
                     [](const Contact& a, const Contact& b) { return a.name < b.name; });
    return contacts;
}

VCardContacts::VCardContacts(std::string source) : source_(std::move(source))
{
    contacts_ = readSource(source_);
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0) {
        DDLogWarn("%@: Changes to the contacts are not followed: no eventfd", std::string("VCardContacts"));
        return;
    }
    // Watching starts before the constructor returns: a file written right after must be seen.
    inotify_ = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (inotify_ >= 0) watch(inotify_, watches_);
    thread_ = std::thread([this] { run(); });
}

VCardContacts::~VCardContacts()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    if (wake_ >= 0) {
        const std::uint64_t one = 1;
        (void)!write(wake_, &one, sizeof one);
    }
    if (thread_.joinable()) thread_.join();
    if (wake_ >= 0) close(wake_);
    if (inotify_ >= 0) close(inotify_);
}

std::vector<Contact> VCardContacts::contacts() const
{
    std::lock_guard lock(mutex_);
    return contacts_;
}

std::string VCardContacts::source() const
{
    std::lock_guard lock(mutex_);
    return source_;
}

void VCardContacts::setSource(const std::string& path)
{
    {
        std::lock_guard lock(mutex_);
        source_ = path;
    }
    if (wake_ >= 0) {
        const std::uint64_t one = 1;
        (void)!write(wake_, &one, sizeof one);
    } else {
        reload();
    }
}

void VCardContacts::addChangeObserver(const void* owner, ChangeHandler handler)
{
    observers_.add(owner, std::move(handler));
}

void VCardContacts::removeChangeObservers(const void* owner)
{
    observers_.remove(owner);
}

void VCardContacts::watch(int inotify, std::vector<int>& watches) const
{
    for (int w : watches) inotify_rm_watch(inotify, w);
    watches.clear();
    const std::string path = source();
    std::error_code ec;
    // A single file is replaced by renaming over it: watch its folder.
    std::vector<fs::path> folders =
        fs::is_directory(path, ec) ? foldersToRead(path) : std::vector<fs::path>{fs::path(path).parent_path()};
    for (const fs::path& folder : folders) {
        const int w = inotify_add_watch(inotify, folder.c_str(), kWatchMask);
        if (w >= 0) watches.push_back(w);
    }
}

void VCardContacts::run()
{
    const int inotify = inotify_;
    std::vector<int>& watches = watches_;
    bool pending = false;
    for (;;) {
        pollfd fds[2] = {{wake_, POLLIN, 0}, {inotify, POLLIN, 0}};
        const int ready = poll(fds, inotify >= 0 ? 2 : 1, pending ? kQuietMilliseconds : -1);
        {
            std::lock_guard lock(mutex_);
            if (stopping_) break;
        }
        if (ready == 0 && pending) { // quiet again: read the files once
            pending = false;
            if (inotify >= 0) watch(inotify, watches); // collection folders may have come or gone
            reload();
            continue;
        }
        char buffer[4096];
        if (fds[0].revents & POLLIN) {
            std::uint64_t count;
            (void)!read(wake_, &count, sizeof count);
            pending = true;
        }
        if (inotify >= 0 && (fds[1].revents & POLLIN)) {
            for (ssize_t length; (length = read(inotify, buffer, sizeof buffer)) > 0;)
                pending = containsChange(buffer, static_cast<std::size_t>(length)) || pending;
        }
    }
}

void VCardContacts::reload()
{
    std::vector<Contact> contacts = readSource(source());
    {
        std::lock_guard lock(mutex_);
        contacts_ = std::move(contacts);
    }
    notify();
}

void VCardContacts::notify()
{
    observers_.notify();
}

}
