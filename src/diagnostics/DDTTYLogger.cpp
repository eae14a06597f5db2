#include "diagnostics/DDTTYLogger.h"

#include "diagnostics/DDLog.h"
#include "diagnostics/LocalCalendar.h"

#include <errno.h>
#include <sys/uio.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace tvi {
namespace {

constexpr DDColor kErrorColor{214, 57, 30};
constexpr DDColor kWarningColor{204, 121, 32};

std::optional<std::string> environmentValue(const char* name)
{
    const char* value = std::getenv(name);
    if (!value) return std::nullopt;
    return std::string(value);
}

bool containsIgnoringCase(std::string haystack, const std::string& needle)
{
    std::transform(haystack.begin(), haystack.end(), haystack.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return haystack.find(needle) != std::string::npos;
}

bool isValidUtf8(const std::string& text)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    std::size_t i = 0;
    while (i < size) {
        const unsigned char lead = bytes[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length;
        std::uint32_t codePoint;
        if ((lead & 0xE0) == 0xC0) { length = 2; codePoint = lead & 0x1F; }
        else if ((lead & 0xF0) == 0xE0) { length = 3; codePoint = lead & 0x0F; }
        else if ((lead & 0xF8) == 0xF0) { length = 4; codePoint = lead & 0x07; }
        else return false;
        if (i + length > size) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80) return false;
            codePoint = (codePoint << 6) | (bytes[i + k] & 0x3F);
        }
        static constexpr std::uint32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (codePoint < kSmallest[length] || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

// Writes every piece, resuming after partial writes and interruptions.
void writeAll(int fd, iovec* pieces, int count)
{
    while (count > 0) {
        const ssize_t written = ::writev(fd, pieces, count);
        if (written < 0) {
            if (errno == EINTR) continue;
            return; // the console has gone away; nobody to tell
        }
        std::size_t remaining = static_cast<std::size_t>(written);
        while (count > 0 && remaining >= pieces->iov_len) {
            remaining -= pieces->iov_len;
            ++pieces;
            --count;
        }
        if (count > 0) {
            pieces->iov_base = static_cast<char*>(pieces->iov_base) + remaining;
            pieces->iov_len -= remaining;
        }
    }
}

}

DDTTYLogger::Environment DDTTYLogger::Environment::current()
{
    return Environment{environmentValue("TERM"), environmentValue("XcodeColors")};
}

std::shared_ptr<DDTTYLogger> DDTTYLogger::sharedInstance()
{
    static const std::shared_ptr<DDTTYLogger> instance = std::make_shared<DDTTYLogger>();
    return instance;
}

DDTTYLogger::DDTTYLogger(int fileDescriptor, const Environment& environment)
    : DDAbstractLogger("cocoa.lumberjack.ttyLogger"),
      fileDescriptor_(fileDescriptor),
      colorMode_(colorModeFor(environment)),
      appName_(program_invocation_short_name ? program_invocation_short_name : ""),
      processId_(std::to_string(getpid()))
{
}

DDColorMode DDTTYLogger::colorModeFor(const Environment& environment)
{
    if (environment.term) {
        if (!containsIgnoringCase(*environment.term, "color")) return DDColorMode::None;
        return environment.term->find("256") != std::string::npos ? DDColorMode::Terminal256
                                                                  : DDColorMode::Terminal16;
    }
    if (environment.xcodeColors == std::optional<std::string>("YES")) return DDColorMode::XcodeColors;
    return DDColorMode::None;
}

bool DDTTYLogger::colorsEnabled() const
{
    bool enabled = false;
    syncOnLoggerQueue([&] { enabled = colorsEnabled_; });
    return enabled;
}

void DDTTYLogger::setColorsEnabled(bool enabled)
{
    asyncOnLoggerQueue([this, enabled] {
        colorsEnabled_ = enabled;
        if (enabled && profiles_.empty() && profilesByTag_.empty()) loadDefaultProfiles();
    });
}

void DDTTYLogger::loadDefaultProfiles()
{
    const auto any = DDTTYLoggerColorProfile::kAnyContext;
    profiles_.emplace_back(kErrorColor, std::nullopt, DDLogFlagError, any, colorMode_);
    profiles_.emplace_back(kWarningColor, std::nullopt, DDLogFlagWarning, any, colorMode_);
}

void DDTTYLogger::setForegroundColor(std::optional<DDColor> foreground, std::optional<DDColor> background,
                                     std::int32_t mask, std::int32_t context)
{
    asyncOnLoggerQueue([this, foreground, background, mask, context] {
        DDTTYLoggerColorProfile profile(foreground, background, mask, context, colorMode_);
        for (auto& existing : profiles_) {
            if (existing.mask() == mask && existing.context() == context) {
                existing = profile;
                return;
            }
        }
        profiles_.push_back(profile);
    });
}

void DDTTYLogger::setForegroundColor(std::optional<DDColor> foreground, std::optional<DDColor> background,
                                     const std::string& tag)
{
    asyncOnLoggerQueue([this, foreground, background, tag] {
        profilesByTag_.insert_or_assign(tag, DDTTYLoggerColorProfile(foreground, background, 0, 0, colorMode_));
    });
}

void DDTTYLogger::clearColorsForFlag(std::int32_t mask, std::int32_t context)
{
    asyncOnLoggerQueue([this, mask, context] {
        std::erase_if(profiles_, [&](const DDTTYLoggerColorProfile& profile) {
            return profile.mask() == mask && profile.context() == context;
        });
    });
}

void DDTTYLogger::clearAllColors()
{
    asyncOnLoggerQueue([this] {
        profiles_.clear();
        profilesByTag_.clear();
    });
}

const DDTTYLoggerColorProfile* DDTTYLogger::profileFor(const DDLogMessage& logMessage) const
{
    if (!logMessage.tag().empty()) {
        if (auto found = profilesByTag_.find(logMessage.tag()); found != profilesByTag_.end()) return &found->second;
    }
    const DDTTYLoggerColorProfile* anyContext = nullptr;
    for (const auto& profile : profiles_) {
        if ((profile.mask() & logMessage.logFlag()) == 0) continue;
        if (profile.context() == logMessage.logContext()) return &profile;
        if (profile.context() == DDTTYLoggerColorProfile::kAnyContext) anyContext = &profile;
    }
    return anyContext;
}

void DDTTYLogger::logMessage(const DDLogMessage& logMessage)
{
    std::string out;
    appendLine(out, logMessage);
    writeOut(out);
}

void DDTTYLogger::logMessages(const std::vector<DDLogMessage>& logMessages, std::int32_t level)
{
    constexpr std::size_t kWriteThreshold = 64 * 1024;
    std::string out;
    out.reserve(kWriteThreshold);
    for (const DDLogMessage& message : logMessages) {
        if (message.logFlag() > level) continue;
        appendLine(out, message);
        if (out.size() >= kWriteThreshold) {
            writeOut(out);
            out.clear();
        }
    }
    writeOut(out);
}

void DDTTYLogger::appendLine(std::string& out, const DDLogMessage& logMessage) const
{
    std::optional<std::string> formatted;
    if (formatter_) {
        formatted = formatter_->formatLogMessage(logMessage);
        if (!formatted) return;
    }
    const std::string& text = formatted ? *formatted : logMessage.logMsg();
    if (!isValidUtf8(text)) return;

    const DDTTYLoggerColorProfile* profile = colorsEnabled_ ? profileFor(logMessage) : nullptr;
    if (profile) out += profile->foregroundCode() + profile->backgroundCode();
    if (!formatted) {
        const CalendarComponents time = LocalCalendar::components(logMessage.timestamp());
        char prefix[512];
        const int length = std::snprintf(prefix, sizeof prefix, "%04d-%02d-%02d %02d:%02d:%02d:%03d %s[%s:%x] ",
                                         time.year, time.month, time.day, time.hour, time.minute, time.second,
                                         time.millisecond, appName_.c_str(), processId_.c_str(),
                                         unsigned(logMessage.machThreadID()));
        if (length > 0) out.append(prefix, std::min<std::size_t>(std::size_t(length), sizeof prefix - 1));
    }
    out += text;
    if (text.empty() || text.back() != '\n') out += '\n';
    if (profile) out += profile->resetCode();
}

void DDTTYLogger::writeOut(const std::string& out) const
{
    if (out.empty()) return;
    iovec whole{const_cast<char*>(out.data()), out.size()};
    writeAll(fileDescriptor_, &whole, 1);
}

}
