#pragma once

#include <optional>
#include <string>

namespace tvi {

// Checks an unpacked update before it may replace the running bundle: that it holds one
// bundle folder (the name ending ".app") with a readable Contents/Info.plist of the same
// CFBundleIdentifier as the running one, the announced CFBundleVersion, and an executable
// Contents/MacOS/<CFBundleExecutable> that starts and answers `--version` with that version:
// it must exit 0 within 10 seconds and print "(Build <CFBundleVersion>)" as Telvora does
// ("Telvora 1.4 (Build 1400)"). It runs with the caller's environment; Telvora answers
// --version before it looks for a running Telvora, so the user's one is left alone.
// Blocking: run it off the main thread.
class SUBundleValidator {
public:
    SUBundleValidator() = delete;

    // The one "*.app" folder directly inside `folder`; nullopt (reason in `error`) when there is
    // none or more than one.
    static std::optional<std::string> findBundle(const std::string& folder, std::string* error = nullptr);

    // True when `bundle` may be installed as version `expectedVersion` (CFBundleVersion) of the
    // application identified by `expectedIdentifier`; otherwise false with the reason in `error`.
    static bool validate(const std::string& bundle, const std::string& expectedIdentifier,
                         const std::string& expectedVersion, std::string* error = nullptr);
};

}
