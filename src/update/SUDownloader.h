#pragma once

#include "update/SUFeedFetcher.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace tvi {

// Downloads an update's file (libcurl) into a new file. Blocking: run it off the main thread.
// When the length is announced, a download that grows beyond it is stopped at once and one that
// ends short of it fails: the file is then removed, so nothing half-downloaded is ever used.
class SUDownloader {
public:
    // Called on the downloading thread, at most every 100 ms and once at the end; `expected` is
    // the announced length or, without one, the server's (0 when unknown).
    using Progress = std::function<void(std::uint64_t received, std::uint64_t expected)>;

    struct Result {
        bool succeeded = false;
        bool cancelled = false;
        std::uint64_t bytes = 0;
        std::string errorDescription;
    };

    SUDownloader() = delete;

    // Downloads `url` (http or https only, redirects too) into `destination` (created; must not
    // exist). `announcedLength` 0 means unknown. The whole transfer may take options.timeout;
    // the defaults suit a feed, not a download, so callers pass their own.
    static Result download(const std::string& url, const std::string& destination, std::uint64_t announcedLength,
                           const SUFeedFetcher::Options& options, const Progress& progress = {},
                           const std::atomic<bool>* cancelled = nullptr);
};

}
