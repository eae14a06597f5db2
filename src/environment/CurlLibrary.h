#pragma once

#include "foundation/LoadedLibrary.h"

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
    // Lists and MIME parts, for mail submission.
    curl_slist* (*slist_append)(curl_slist* list, const char* text) = nullptr;
    void (*slist_free_all)(curl_slist* list) = nullptr;
    curl_mime* (*mime_init)(CURL* handle) = nullptr;
    void (*mime_free)(curl_mime* mime) = nullptr;
    curl_mimepart* (*mime_addpart)(curl_mime* mime) = nullptr;
    CURLcode (*mime_data)(curl_mimepart* part, const char* data, size_t size) = nullptr;
    CURLcode (*mime_filedata)(curl_mimepart* part, const char* path) = nullptr;
    CURLcode (*mime_type)(curl_mimepart* part, const char* type) = nullptr;
    CURLcode (*mime_encoder)(curl_mimepart* part, const char* encoding) = nullptr;

private:
    friend const CurlLibrary* LoadedLibrary::shared<CurlLibrary>();
    CurlLibrary() = default;
    bool load();
};

}
