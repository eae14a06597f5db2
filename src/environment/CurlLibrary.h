#pragma once

#include <curl/curl.h>

namespace tvi {

// libcurl, loaded on first use: the update check is rare, and linking libcurl with
// its TLS stack would cost every start time and several megabytes of resident memory.
class CurlLibrary {
public:
    // The loaded library, or nullptr when it cannot be loaded.
    static const CurlLibrary* shared();

    CURLcode (*global_init)(long flags) = nullptr;
    CURL* (*easy_init)() = nullptr;
    void (*easy_cleanup)(CURL* handle) = nullptr;
    CURLcode (*easy_setopt)(CURL* handle, CURLoption option, ...) = nullptr;
    CURLcode (*easy_perform)(CURL* handle) = nullptr;
    const char* (*easy_strerror)(CURLcode code) = nullptr;

private:
    CurlLibrary() = default;
    bool load();
};

}
