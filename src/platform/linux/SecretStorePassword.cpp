#include "platform/linux/SecretStorePassword.h"

#include <libsecret/secret.h>

#include <dlfcn.h>

namespace tvi {
namespace {

struct Library {
    gchar* (*lookupSync)(const SecretSchema*, GCancellable*, GError**, ...) = nullptr;
    void (*passwordFree)(gchar*) = nullptr;
    void (*errorFree)(GError*) = nullptr;
};

// Loaded once and kept: the secret store is asked at most once per message.
const Library* library()
{
    static const Library* loaded = []() -> const Library* {
        void* handle = dlopen("libsecret-1.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!handle) return nullptr;
        auto* lib = new Library;
        lib->lookupSync = reinterpret_cast<decltype(lib->lookupSync)>(dlsym(handle, "secret_password_lookup_sync"));
        lib->passwordFree = reinterpret_cast<decltype(lib->passwordFree)>(dlsym(handle, "secret_password_free"));
        lib->errorFree = reinterpret_cast<decltype(lib->errorFree)>(dlsym(handle, "g_error_free"));
        if (lib->lookupSync && lib->passwordFree && lib->errorFree) return lib;
        delete lib;
        dlclose(handle);
        return nullptr;
    }();
    return loaded;
}

// Items are matched by their attributes alone, so that one stored with secret-tool is found too.
const SecretSchema kSchema = {
    "com.orvella.Telvora.Submission",
    SECRET_SCHEMA_DONT_MATCH_NAME,
    {{"server", SECRET_SCHEMA_ATTRIBUTE_STRING}, {"user", SECRET_SCHEMA_ATTRIBUTE_STRING}, {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
    0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};

}

std::optional<std::string> SecretStorePassword::lookup(const std::string& server, const std::string& user)
{
    const Library* lib = library();
    if (!lib) return std::nullopt;
    GError* error = nullptr;
    gchar* password = lib->lookupSync(&kSchema, nullptr, &error, "server", server.c_str(), "user", user.c_str(),
                                      static_cast<const char*>(nullptr));
    if (error) lib->errorFree(error);
    if (!password) return std::nullopt;
    std::string text = password;
    lib->passwordFree(password); // wipes the store's copy
    return text;
}

}
