#pragma once

#include "diagnostics/DDAbstractLogger.h"
#include "diagnostics/DDTTYLoggerColorProfile.h"

#include <unistd.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tvi {

// The console logger: one line per message on standard error,
// "2016-03-01 09:05:17:042 Telvora[123:1a2b] TVISocket: text", optionally coloured.
class DDTTYLogger : public DDAbstractLogger {
public:
    // The environment variables that decide the colour mode.
    struct Environment {
        std::optional<std::string> term;
        std::optional<std::string> xcodeColors;
        static Environment current();
    };

    // The shared instance, writing to standard error.
    static std::shared_ptr<DDTTYLogger> sharedInstance();

    // A console logger on another descriptor or environment (tests, tools).
    explicit DDTTYLogger(int fileDescriptor = STDERR_FILENO, const Environment& environment = Environment::current());

    static DDColorMode colorModeFor(const Environment& environment);
    DDColorMode colorMode() const { return colorMode_; }

    // Off until enabled; enabling with no profile loads the defaults
    // (Error red-orange, Warning orange).
    bool colorsEnabled() const;
    void setColorsEnabled(bool enabled);

    // A profile for every line whose flag shares a bit with the mask and whose
    // context matches (kAnyContext matches any); replaces one for the same mask and context.
    void setForegroundColor(std::optional<DDColor> foreground, std::optional<DDColor> background,
                            std::int32_t mask, std::int32_t context = DDTTYLoggerColorProfile::kAnyContext);
    // A profile for lines carrying the tag; it wins over the mask profiles.
    void setForegroundColor(std::optional<DDColor> foreground, std::optional<DDColor> background,
                            const std::string& tag);
    void clearColorsForFlag(std::int32_t mask, std::int32_t context = DDTTYLoggerColorProfile::kAnyContext);
    void clearAllColors();

    void logMessage(const DDLogMessage& logMessage) override;
    // Writes the lines of a delivery step with as few system calls as possible.
    void logMessages(const std::vector<DDLogMessage>& logMessages, std::int32_t level) override;

private:
    const DDTTYLoggerColorProfile* profileFor(const DDLogMessage& logMessage) const;
    void loadDefaultProfiles();
    // Appends the console form of the line (codes, prefix, text, newline) to `out`.
    void appendLine(std::string& out, const DDLogMessage& logMessage) const;
    void writeOut(const std::string& out) const;

    const int fileDescriptor_;
    const DDColorMode colorMode_;
    const std::string appName_;
    const std::string processId_;
    // On the logger's queue only.
    bool colorsEnabled_ = false;
    std::vector<DDTTYLoggerColorProfile> profiles_;
    std::map<std::string, DDTTYLoggerColorProfile> profilesByTag_;
};

}
