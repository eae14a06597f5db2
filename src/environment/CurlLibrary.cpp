#include "environment/CurlLibrary.h"

#include "foundation/LoadedLibrary.h"

#include <dlfcn.h>

namespace tvi {

using LoadedLibrary::resolve;

const CurlLibrary* CurlLibrary::shared() { return LoadedLibrary::shared<CurlLibrary>(); }

bool CurlLibrary::load()
{
    void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!library) return false;
    const bool complete = resolve(library, "curl_global_init", global_init) &&
                          resolve(library, "curl_easy_init", easy_init) &&
                          resolve(library, "curl_easy_cleanup", easy_cleanup) &&
                          resolve(library, "curl_easy_setopt", easy_setopt) &&
                          resolve(library, "curl_easy_perform", easy_perform) &&
                          resolve(library, "curl_easy_strerror", easy_strerror) &&
                          resolve(library, "curl_slist_append", slist_append) &&
                          resolve(library, "curl_slist_free_all", slist_free_all) &&
                          resolve(library, "curl_mime_init", mime_init) &&
                          resolve(library, "curl_mime_free", mime_free) &&
                          resolve(library, "curl_mime_addpart", mime_addpart) &&
                          resolve(library, "curl_mime_data", mime_data) &&
                          resolve(library, "curl_mime_filedata", mime_filedata) &&
                          resolve(library, "curl_mime_type", mime_type) &&
                          resolve(library, "curl_mime_encoder", mime_encoder);
    if (!complete) dlclose(library);
    return complete;
}

}
