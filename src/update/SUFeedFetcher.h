#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

namespace tvi {

class CurlLibrary;

// Fetches an appcast over http, https or from a file (libcurl). Blocking: run it off the
// main thread. Only addresses that name one of these schemes are fetched; an address
// without a scheme is refused here (the updater chooses https for such a feed).
class SUFeedFetcher {
public:
    struct Options {
        std::chrono::milliseconds connectTimeout{15000};
        // The whole transfer, redirects included.
        std::chrono::milliseconds timeout{60000};
        long maximumRedirects = 5;
        // An appcast is a few kilobytes; anything far larger is no appcast.
        std::size_t maximumSize = 4 * 1024 * 1024;
    };

    struct Result {
        bool succeeded = false;
        std::string body;             // the feed's text when succeeded
        std::string errorDescription; // why not, when failed
    };

    SUFeedFetcher() = delete;

    // `cancelled`, when given, is polled during the transfer; once true the fetch fails soon.
    static Result fetch(const std::string& url, const Options& options, const std::atomic<bool>* cancelled = nullptr);
    // The lower-cased scheme of `url` ("https"), or empty when it names none.
    static std::string schemeOf(const std::string& url);

    // True when `url` names http, https or file (the update download takes http and https only);
    // otherwise false with the reason, calling the address `what` ("feed address").
    static bool fetchableScheme(const std::string& url, const std::string& what, std::string& error);
    // A libcurl transfer handle (libcurl loaded and initialised once) and its library; a null
    // handle with the reason when libcurl cannot be loaded or started.
    struct Transfer {
        const CurlLibrary* library = nullptr;
        std::unique_ptr<void, void (*)(void*)> handle{nullptr, [](void*) {}};
    };
    static Transfer openTransfer(std::string& error);
    // The options every transfer of the updater sets: protocols, redirects (never into the
    // file system), time-outs, no signals, failure on HTTP errors, the user agent.
    static void prepareTransfer(const CurlLibrary& library, void* curlHandle, const std::string& url,
                                const Options& options, char* errorBuffer);
};

}
