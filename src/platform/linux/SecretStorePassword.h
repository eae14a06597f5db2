#pragma once

#include <optional>
#include <string>

namespace tvi {

// The submission password, kept in the desktop's secret store (Secret Service, through libsecret,
// loaded when first needed) and never in the preferences file. The item is found by the
// attributes "server" (the submission server's URL) and "user"; it can be stored with
//   secret-tool store --label="Telvora submission" server smtp://host:587 user NAME
class SecretStorePassword {
public:
    SecretStorePassword() = delete;

    // nullopt when there is no such item, or the store (or libsecret) is out of reach.
    static std::optional<std::string> lookup(const std::string& server, const std::string& user);
};

}
