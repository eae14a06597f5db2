#include "update/SUDownloader.h"

#include "environment/CurlLibrary.h"
#include "foundation/Format.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>
#include <memory>

namespace tvi {

namespace {

struct Transfer {
    int fd = -1;
    std::uint64_t received = 0;
    std::uint64_t announced = 0;
    bool tooLong = false;
    int writeError = 0;
    const std::atomic<bool>* cancelled = nullptr;
    const SUDownloader::Progress* progress = nullptr;
    std::chrono::steady_clock::time_point lastReport{};
};

std::size_t writeToFile(char* data, std::size_t size, std::size_t count, void* context)
{
    auto* transfer = static_cast<Transfer*>(context);
    const std::size_t bytes = size * count;
    if (transfer->announced && transfer->received + bytes > transfer->announced) {
        transfer->tooLong = true;
        return 0; // stops the transfer with a write error
    }
    for (std::size_t done = 0; done < bytes;) {
        const ssize_t written = ::write(transfer->fd, data + done, bytes - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            transfer->writeError = written < 0 ? errno : ENOSPC;
            return 0;
        }
        done += static_cast<std::size_t>(written);
    }
    transfer->received += bytes;
    return bytes;
}

int onProgress(void* context, curl_off_t total, curl_off_t, curl_off_t, curl_off_t)
{
    auto* transfer = static_cast<Transfer*>(context);
    if (transfer->cancelled && transfer->cancelled->load()) return 1;
    if (transfer->progress && *transfer->progress) {
        const auto now = std::chrono::steady_clock::now();
        if (now - transfer->lastReport >= std::chrono::milliseconds(100)) {
            transfer->lastReport = now;
            const std::uint64_t expected = transfer->announced ? transfer->announced
                                                               : static_cast<std::uint64_t>(total > 0 ? total : 0);
            (*transfer->progress)(transfer->received, expected);
        }
    }
    return 0;
}

// Only over the network: a feed must not make Telvora copy a device or a local file.
bool downloadableScheme(const std::string& url, std::string& error)
{
    const std::string scheme = SUFeedFetcher::schemeOf(url);
    if (scheme == "http" || scheme == "https") return true;
    error = format("The download address \"%@\" is refused: updates are downloaded over http or https only.", url);
    return false;
}

std::string describeFailure(const CurlLibrary& library, CURLcode code, const Transfer& transfer,
                            const char* errorBuffer)
{
    if (transfer.tooLong || code == CURLE_FILESIZE_EXCEEDED)
        return format("The download is longer than the %llu bytes the update feed announced.",
                      static_cast<unsigned long long>(transfer.announced));
    if (transfer.writeError)
        return format("The download could not be saved: %@", std::string(std::strerror(transfer.writeError)));
    if (code == CURLE_ABORTED_BY_CALLBACK) return "The download was cancelled.";
    return errorBuffer[0] ? std::string(errorBuffer) : std::string(library.easy_strerror(code));
}

}

SUDownloader::Result SUDownloader::download(const std::string& url, const std::string& destination,
                                            std::uint64_t announcedLength, const SUFeedFetcher::Options& options,
                                            const Progress& progress, const std::atomic<bool>* cancelled)
{
    Result result;
    if (!downloadableScheme(url, result.errorDescription)) return result;
    const SUFeedFetcher::Transfer opened = SUFeedFetcher::openTransfer(result.errorDescription);
    if (!opened.handle) return result;
    const CurlLibrary* library = opened.library;
    Transfer transfer;
    transfer.fd = ::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (transfer.fd < 0) {
        result.errorDescription =
            format("The download could not be saved to %@: %@", destination, std::string(std::strerror(errno)));
        return result;
    }
    transfer.announced = announcedLength;
    transfer.cancelled = cancelled;
    transfer.progress = &progress;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    CURL* handle = opened.handle.get();
    SUFeedFetcher::prepareTransfer(*library, handle, url, options, errorBuffer);
    library->easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    // A server that says beforehand the body is longer than announced is not listened to at all.
    if (announcedLength && announcedLength <= static_cast<std::uint64_t>(std::numeric_limits<curl_off_t>::max()))
        library->easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(announcedLength));
    // The enclosure is compressed already; asking for compression only costs time.
    library->easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, nullptr);
    library->easy_setopt(handle, CURLOPT_BUFFERSIZE, 256L * 1024);
    library->easy_setopt(handle, CURLOPT_WRITEFUNCTION, &writeToFile);
    library->easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
    library->easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &onProgress);
    library->easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);
    library->easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);

    const CURLcode code = library->easy_perform(handle);
    const bool closed = ::close(transfer.fd) == 0;
    result.bytes = transfer.received;
    if (code != CURLE_OK) {
        result.cancelled = code == CURLE_ABORTED_BY_CALLBACK && !transfer.tooLong;
        result.errorDescription = describeFailure(*library, code, transfer, errorBuffer);
    } else if (!closed) {
        result.errorDescription = "The download could not be saved completely.";
    } else if (announcedLength && transfer.received != announcedLength) {
        result.errorDescription =
            format("The download ended after %llu of the %llu bytes the update feed announced.",
                   static_cast<unsigned long long>(transfer.received), static_cast<unsigned long long>(announcedLength));
    } else {
        result.succeeded = true;
    }
    if (progress) progress(transfer.received, announcedLength ? announcedLength : transfer.received);
    if (!result.succeeded) ::unlink(destination.c_str());
    return result;
}

}
