#include "update/SUFeedFetcher.h"

#include "foundation/Format.h"

#include "environment/CurlLibrary.h"

#include <cctype>
#include <memory>
#include <mutex>

namespace tvi {

namespace {

struct FeedTransfer {
    std::string body;
    std::size_t maximumSize = 0;
    bool tooLarge = false;
    const std::atomic<bool>* cancelled = nullptr;
};

std::size_t writeBody(char* data, std::size_t size, std::size_t count, void* context)
{
    auto* transfer = static_cast<FeedTransfer*>(context);
    const std::size_t bytes = size * count;
    if (transfer->body.size() + bytes > transfer->maximumSize) {
        transfer->tooLarge = true;
        return 0; // makes libcurl stop with a write error
    }
    transfer->body.append(data, bytes);
    return bytes;
}

int checkCancelled(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto* transfer = static_cast<FeedTransfer*>(context);
    return transfer->cancelled && transfer->cancelled->load() ? 1 : 0;
}

void initialiseLibcurlOnce(const CurlLibrary& curl)
{
    static std::once_flag once;
    std::call_once(once, [&curl] { curl.global_init(CURL_GLOBAL_DEFAULT); });
}

}

std::string SUFeedFetcher::schemeOf(const std::string& url)
{
    const auto colon = url.find("://");
    if (colon == std::string::npos || colon == 0) return {};
    std::string scheme;
    for (std::size_t i = 0; i < colon; ++i) {
        const auto c = static_cast<unsigned char>(url[i]);
        const bool allowed = std::isalpha(c) || (i > 0 && (std::isdigit(c) || c == '+' || c == '-' || c == '.'));
        if (!allowed) return {};
        scheme += static_cast<char>(std::tolower(c));
    }
    return scheme;
}

void SUFeedFetcher::prepareTransfer(const CurlLibrary& library, void* curlHandle, const std::string& url,
                                    const Options& options, char* errorBuffer)
{
    CURL* handle = curlHandle;
    library.easy_setopt(handle, CURLOPT_URL, url.c_str());
    library.easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https,file");
    // A server may send us elsewhere on the network, never into the local file system.
    library.easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    library.easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    library.easy_setopt(handle, CURLOPT_MAXREDIRS, options.maximumRedirects);
    library.easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connectTimeout.count()));
    library.easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(options.timeout.count()));
    library.easy_setopt(handle, CURLOPT_NOSIGNAL, 1L); // signals do not mix with threads
    library.easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
    library.easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "");
    library.easy_setopt(handle, CURLOPT_USERAGENT, "Telvora/" TELVORA_VERSION);
    library.easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
}

bool SUFeedFetcher::fetchableScheme(const std::string& url, const std::string& what, std::string& error)
{
    const std::string scheme = schemeOf(url);
    if (scheme.empty()) {
        error = format("The %@ \"%@\" names no scheme (http, https or file).", what, url);
        return false;
    }
    if (scheme != "http" && scheme != "https" && scheme != "file") {
        error = format("The %@ \"%@\" uses the unsupported scheme \"%@\".", what, url, scheme);
        return false;
    }
    return true;
}

SUFeedFetcher::Transfer SUFeedFetcher::openTransfer(std::string& error)
{
    Transfer transfer;
    transfer.library = CurlLibrary::shared();
    if (!transfer.library) {
        error = "The network library (libcurl) could not be loaded.";
        return transfer;
    }
    initialiseLibcurlOnce(*transfer.library);
    // The library is loaded for the process's lifetime, so the deleter may keep a plain pointer.
    static const CurlLibrary* loaded = transfer.library;
    transfer.handle = {transfer.library->easy_init(), [](void* handle) { loaded->easy_cleanup(handle); }};
    if (!transfer.handle) error = "The network library could not be started.";
    return transfer;
}

SUFeedFetcher::Result SUFeedFetcher::fetch(const std::string& url, const Options& options,
                                           const std::atomic<bool>* cancelled)
{
    Result result;
    if (!fetchableScheme(url, "feed address", result.errorDescription)) return result;
    const SUFeedFetcher::Transfer opened = openTransfer(result.errorDescription);
    if (!opened.handle) return result;
    const CurlLibrary* library = opened.library;
    FeedTransfer transfer;
    transfer.maximumSize = options.maximumSize;
    transfer.cancelled = cancelled;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    CURL* handle = opened.handle.get();
    prepareTransfer(*library, handle, url, options, errorBuffer);
    library->easy_setopt(handle, CURLOPT_WRITEFUNCTION, &writeBody);
    library->easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
    library->easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &checkCancelled);
    library->easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);
    library->easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);

    const CURLcode code = library->easy_perform(handle);
    if (code == CURLE_OK) {
        result.succeeded = true;
        result.body = std::move(transfer.body);
    } else if (transfer.tooLarge) {
        result.errorDescription = format("The feed is larger than %lu bytes.", options.maximumSize);
    } else if (code == CURLE_ABORTED_BY_CALLBACK) {
        result.errorDescription = "The check was cancelled.";
    } else {
        result.errorDescription = errorBuffer[0] ? std::string(errorBuffer) : std::string(library->easy_strerror(code));
    }
    return result;
}

}
