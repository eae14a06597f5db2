#include "update/SUArchiveExtractor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <utility>
#include <vector>

namespace tvi {
namespace {

constexpr std::size_t kBlock = 512;
// Long names and pax headers are read into memory: an update has no use for more.
constexpr std::uint64_t kMaxMetadata = 1 << 20;

using Block = std::array<unsigned char, kBlock>;
using Components = std::vector<std::string>;

struct Failure {
    std::string reason;
};

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~FileDescriptor()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

std::string systemError(const std::string& what, int error)
{
    return what + ": " + std::strerror(error) + ".";
}

// The gzip stream, read in exact amounts: a short read is a truncated or damaged archive.
class GzipReader {
public:
    explicit GzipReader(const std::string& path) : file_(::gzopen(path.c_str(), "rb")) {}
    ~GzipReader()
    {
        if (file_) ::gzclose(file_);
    }
    bool isOpen() const { return file_ != nullptr; }

    void readExactly(void* buffer, std::size_t length)
    {
        auto* bytes = static_cast<unsigned char*>(buffer);
        while (length > 0) {
            const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(length, 1 << 16));
            const int got = ::gzread(file_, bytes, chunk);
            if (got <= 0) throw Failure{"The archive is truncated or damaged" + zlibReason() + "."};
            if (::gzdirect(file_)) throw Failure{"The archive is not compressed with gzip."};
            bytes += got;
            length -= static_cast<std::size_t>(got);
        }
    }

    // After the end of the archive: the rest of the stream is read so that its checksum is checked.
    void drain()
    {
        std::vector<unsigned char> buffer(1 << 16);
        int got;
        while ((got = ::gzread(file_, buffer.data(), static_cast<unsigned>(buffer.size()))) > 0) {
        }
        int code = Z_OK;
        ::gzerror(file_, &code);
        if (got < 0 || code != Z_OK) throw Failure{"The archive is truncated or damaged" + zlibReason() + "."};
    }

private:
    std::string zlibReason() const
    {
        int code = Z_OK;
        const char* message = ::gzerror(file_, &code);
        return code != Z_OK && message && *message ? std::string(" (") + message + ")" : std::string();
    }

    gzFile file_;
};

std::string fieldText(const Block& header, std::size_t offset, std::size_t length)
{
    const char* start = reinterpret_cast<const char*>(header.data()) + offset;
    return std::string(start, strnlen(start, length));
}

// Octal, or base-256 (first byte's high bit set) as GNU tar writes large numbers.
std::uint64_t numberField(const Block& header, std::size_t offset, std::size_t length)
{
    const unsigned char* field = header.data() + offset;
    if (field[0] & 0x80) {
        std::uint64_t value = field[0] & 0x3f;
        for (std::size_t i = 1; i < length; ++i) {
            if (value >> 55) throw Failure{"The archive has a number too large to read."};
            value = (value << 8) | field[i];
        }
        return value;
    }
    std::uint64_t value = 0;
    std::size_t i = 0;
    while (i < length && field[i] == ' ') ++i;
    for (; i < length && field[i] >= '0' && field[i] <= '7'; ++i) {
        if (value >> 60) throw Failure{"The archive has a number too large to read."};
        value = value * 8 + (field[i] - '0');
    }
    if (i < length && field[i] != ' ' && field[i] != '\0')
        throw Failure{"The archive has a damaged header (a number field is not octal)."};
    return value;
}

void checkChecksum(const Block& header)
{
    const std::uint64_t stored = numberField(header, 148, 8);
    std::uint64_t unsignedSum = 0;
    std::int64_t signedSum = 0;
    for (std::size_t i = 0; i < kBlock; ++i) {
        const unsigned char byte = (i >= 148 && i < 156) ? ' ' : header[i];
        unsignedSum += byte;
        signedSum += static_cast<signed char>(byte);
    }
    // Some old writers summed signed characters.
    if (stored != unsignedSum && static_cast<std::int64_t>(stored) != signedSum)
        throw Failure{"The archive has a damaged header (bad checksum)."};
}

bool isZeroBlock(const Block& block)
{
    return std::all_of(block.begin(), block.end(), [](unsigned char b) { return b == 0; });
}

// "a/./b/" -> {a, b}. Absolute names and ".." are refused: nothing may land outside the destination.
Components entryComponents(const std::string& name)
{
    if (name.empty()) throw Failure{"The archive has an entry without a name."};
    if (name.front() == '/') throw Failure{"The archive names an absolute path (" + name + ")."};
    Components components;
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t end = std::min(name.find('/', start), name.size());
        const std::string part = name.substr(start, end - start);
        if (part == "..") throw Failure{"The archive names a path outside its folder (" + name + ")."};
        if (!part.empty() && part != ".") components.push_back(part);
        start = end + 1;
    }
    return components;
}

// A link's target must be relative, with its ".." only at the start, and must not climb above
// the destination from the link's own folder. With ".." only at the start, every ".." is
// taken in a real folder (links are never made or followed inside the destination's path
// while unpacking), so no chain of links can lead out either.
void checkLinkTarget(const Components& link, const std::string& target)
{
    const std::string refusal = "The archive has a link that points outside its folder (" + target + ").";
    if (target.empty() || target.front() == '/') throw Failure{refusal};
    std::size_t depth = link.size() - 1;
    bool descending = false;
    std::size_t start = 0;
    while (start <= target.size()) {
        const std::size_t end = std::min(target.find('/', start), target.size());
        const std::string part = target.substr(start, end - start);
        if (part == "..") {
            if (descending || depth == 0) throw Failure{refusal};
            --depth;
        } else if (!part.empty() && part != ".") {
            descending = true;
        }
        start = end + 1;
    }
}

// "len key=value\n" records; only the keys that change the next entry are kept.
void readPaxRecords(const std::string& data, std::optional<std::string>& path, std::optional<std::string>& linkPath,
                    std::optional<std::uint64_t>& size)
{
    std::size_t position = 0;
    while (position < data.size()) {
        const std::size_t space = data.find(' ', position);
        if (space == std::string::npos) throw Failure{"The archive has a damaged extended header."};
        std::size_t length = 0;
        for (std::size_t i = position; i < space; ++i) {
            if (data[i] < '0' || data[i] > '9' || length > kMaxMetadata)
                throw Failure{"The archive has a damaged extended header."};
            length = length * 10 + (data[i] - '0');
        }
        if (length <= space - position + 1 || position + length > data.size() || data[position + length - 1] != '\n')
            throw Failure{"The archive has a damaged extended header."};
        const std::string record = data.substr(space + 1, position + length - space - 2);
        const std::size_t equals = record.find('=');
        if (equals == std::string::npos) throw Failure{"The archive has a damaged extended header."};
        const std::string key = record.substr(0, equals);
        const std::string value = record.substr(equals + 1);
        if (key == "path") path = value;
        else if (key == "linkpath") linkPath = value;
        else if (key == "size") {
            if (value.empty() || value.size() > 19 || value.find_first_not_of("0123456789") != std::string::npos)
                throw Failure{"The archive has a damaged extended header."};
            size = std::stoull(value);
        }
        position += length;
    }
}

class TarExtractor {
public:
    TarExtractor(GzipReader& input, int destination, const std::atomic<bool>* cancelled)
        : input_(input), destination_(destination), cancelled_(cancelled)
    {
    }

    void run()
    {
        Block header;
        for (;;) {
            if (cancelled_ && cancelled_->load()) throw Failure{"Unpacking was cancelled."};
            input_.readExactly(header.data(), kBlock);
            if (isZeroBlock(header)) break;
            checkChecksum(header);
            entry(header);
        }
        if (pendingName_ || pendingLink_ || pendingSize_)
            throw Failure{"The archive ends with an extended header but no entry."};
        input_.drain();
    }

private:
    void entry(const Block& header)
    {
        const char type = static_cast<char>(header[156]);
        std::uint64_t size = numberField(header, 124, 12);
        switch (type) {
        case 'L': pendingName_ = readMetadata(size); return;
        case 'K': pendingLink_ = readMetadata(size); return;
        case 'x': readPaxRecords(readMetadata(size), pendingName_, pendingLink_, pendingSize_); return;
        case 'g': skip(size); return;
        default: break;
        }
        if (pendingSize_) size = *pendingSize_;
        const std::string name = pendingName_ ? *pendingName_ : headerName(header);
        const std::string link = pendingLink_ ? *pendingLink_ : fieldText(header, 157, 100);
        pendingName_.reset();
        pendingLink_.reset();
        pendingSize_.reset();
        const Components path = entryComponents(name);
        const mode_t mode = static_cast<mode_t>(numberField(header, 100, 8)) & 0777; // no set-id, no sticky bit
        switch (type) {
        case '0': case '\0': case '7': writeFile(path, name, mode, size); break;
        case '5': makeFolder(path, name, mode); skip(size); break;
        case '2': makeLink(path, name, link); skip(size); break;
        case '1': throw Failure{"The archive has a hard link (" + name + "), which updates never need."};
        case '3': case '4': throw Failure{"The archive has a device file (" + name + ")."};
        case '6': throw Failure{"The archive has a fifo (" + name + ")."};
        default: throw Failure{"The archive has an entry of an unknown kind (" + name + ")."};
        }
    }

    // POSIX ustar splits long names into prefix and name; GNU's own format uses that space otherwise.
    static std::string headerName(const Block& header)
    {
        const std::string name = fieldText(header, 0, 100);
        const bool posix = std::memcmp(header.data() + 257, "ustar\0", 6) == 0;
        const std::string prefix = posix ? fieldText(header, 345, 155) : std::string();
        return prefix.empty() ? name : prefix + "/" + name;
    }

    std::string readMetadata(std::uint64_t size)
    {
        if (size > kMaxMetadata) throw Failure{"The archive has an extended header that is too large."};
        std::string data(size, '\0');
        input_.readExactly(data.data(), size);
        skipPadding(size);
        return std::string(data.c_str()); // a GNU long name ends with a NUL
    }

    void skip(std::uint64_t size)
    {
        std::vector<unsigned char> buffer(1 << 16);
        for (std::uint64_t left = size; left > 0;) {
            const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
            input_.readExactly(buffer.data(), chunk);
            left -= chunk;
        }
        skipPadding(size);
    }

    void skipPadding(std::uint64_t size)
    {
        Block padding;
        if (const std::size_t rest = size % kBlock) input_.readExactly(padding.data(), kBlock - rest);
    }

    // The folder that holds `path`'s last component, opened one component at a time without
    // following links, making missing folders on the way.
    FileDescriptor openParent(const Components& path, const std::string& name)
    {
        FileDescriptor folder(::fcntl(destination_, F_DUPFD_CLOEXEC, 0));
        for (std::size_t i = 0; i + 1 < path.size(); ++i) {
            const char* part = path[i].c_str();
            if (::mkdirat(folder.get(), part, 0755) != 0 && errno != EEXIST)
                throw Failure{systemError("Could not make the folder of " + name, errno)};
            FileDescriptor next(::openat(folder.get(), part, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (next.get() < 0) {
                if (errno == ELOOP || errno == ENOTDIR)
                    throw Failure{"The archive writes through a link or a file (" + name + ")."};
                throw Failure{systemError("Could not open the folder of " + name, errno)};
            }
            folder = std::move(next);
        }
        return folder;
    }

    void writeFile(const Components& path, const std::string& name, mode_t mode, std::uint64_t size)
    {
        if (path.empty()) throw Failure{"The archive has a file without a name."};
        const FileDescriptor folder = openParent(path, name);
        const FileDescriptor file(::openat(folder.get(), path.back().c_str(),
                                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (file.get() < 0) {
            if (errno == EEXIST) throw Failure{"The archive has the same name twice (" + name + ")."};
            throw Failure{systemError("Could not create " + name, errno)};
        }
        std::vector<unsigned char> buffer(1 << 16);
        for (std::uint64_t left = size; left > 0;) {
            const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
            input_.readExactly(buffer.data(), chunk);
            writeAll(file.get(), buffer.data(), chunk, name);
            left -= chunk;
        }
        skipPadding(size);
        if (::fchmod(file.get(), mode) != 0) throw Failure{systemError("Could not set the permissions of " + name, errno)};
    }

    static void writeAll(int fd, const unsigned char* data, std::size_t length, const std::string& name)
    {
        while (length > 0) {
            const ssize_t written = ::write(fd, data, length);
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) throw Failure{systemError("Could not write " + name, written < 0 ? errno : EIO)};
            data += written;
            length -= static_cast<std::size_t>(written);
        }
    }

    // Folders stay writable for their owner, so that the update can always be removed again.
    void makeFolder(const Components& path, const std::string& name, mode_t mode)
    {
        if (path.empty()) return; // "./": the destination itself
        const FileDescriptor parent = openParent(path, name);
        if (::mkdirat(parent.get(), path.back().c_str(), 0700) != 0 && errno != EEXIST)
            throw Failure{systemError("Could not make the folder " + name, errno)};
        const FileDescriptor folder(
            ::openat(parent.get(), path.back().c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (folder.get() < 0) throw Failure{"The archive has a folder where a link or a file is (" + name + ")."};
        if (::fchmod(folder.get(), mode | 0700) != 0)
            throw Failure{systemError("Could not set the permissions of " + name, errno)};
    }

    void makeLink(const Components& path, const std::string& name, const std::string& target)
    {
        if (path.empty()) throw Failure{"The archive has a link without a name."};
        checkLinkTarget(path, target);
        const FileDescriptor folder = openParent(path, name);
        if (::symlinkat(target.c_str(), folder.get(), path.back().c_str()) != 0) {
            if (errno == EEXIST) throw Failure{"The archive has the same name twice (" + name + ")."};
            throw Failure{systemError("Could not make the link " + name, errno)};
        }
    }

    GzipReader& input_;
    const int destination_;
    const std::atomic<bool>* cancelled_;
    std::optional<std::string> pendingName_;
    std::optional<std::string> pendingLink_;
    std::optional<std::uint64_t> pendingSize_;
};

}

SUArchiveExtractor::Result SUArchiveExtractor::extractTarGz(const std::string& archive, const std::string& destination,
                                                          const std::atomic<bool>* cancelled)
{
    GzipReader input(archive);
    if (!input.isOpen()) return {false, systemError("Could not open the archive " + archive, errno ? errno : ENOMEM)};
    if (::mkdir(destination.c_str(), 0700) != 0)
        return {false, systemError("Could not make the folder " + destination, errno)};
    try {
        const FileDescriptor folder(::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (folder.get() < 0) throw Failure{systemError("Could not open the folder " + destination, errno)};
        TarExtractor(input, folder.get(), cancelled).run();
        return {true, {}};
    } catch (const Failure& failure) {
        std::error_code ignored;
        std::filesystem::remove_all(destination, ignored);
        return {false, failure.reason};
    }
}

}
