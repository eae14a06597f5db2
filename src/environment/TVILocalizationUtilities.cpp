#include "environment/TVILocalizationUtilities.h"

#include "foundation/Bundle.h"

#include <cctype>
#include <cstdlib>

namespace tvi {
namespace {

constexpr std::string_view kAppNamePlaceholder = "<AppName>";
constexpr const char* kDevelopmentRegionFallback = "en";

// The locale name the process runs with, as the C library chooses it for messages.
std::string currentLocaleName()
{
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return value;
    }
    return {};
}

// "de_DE.UTF-8@euro" -> "DE"; absent without a well-formed country part.
std::optional<std::string> countryOfLocale(std::string_view locale)
{
    locale = locale.substr(0, locale.find_first_of(".@"));
    std::size_t separator = locale.find('_');
    if (separator == std::string_view::npos) return std::nullopt;
    std::string country(locale.substr(separator + 1));
    if (country.empty()) return std::nullopt;
    for (char& c : country) {
        if (!std::isalnum(static_cast<unsigned char>(c))) return std::nullopt;
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return country;
}

}

std::string TVILocalizationUtilities::replaceAppNameInString(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    std::size_t start = 0;
    for (std::size_t found = text.find(kAppNamePlaceholder); found != std::string_view::npos;
         found = text.find(kAppNamePlaceholder, start)) {
        result.append(text.substr(start, found - start));
        result.append(TELVORA_NAME);
        start = found + kAppNamePlaceholder.size();
    }
    result.append(text.substr(start));
    return result;
}

std::string TVILocalizationUtilities::getLanguage()
{
    const Bundle bundle = Bundle::mainBundle(); // keeps the list alive while it is read
    const std::vector<std::string>& preferred = bundle.preferredLocalizations();
    return preferred.empty() ? std::string(kDevelopmentRegionFallback) : preferred.front();
}

std::optional<std::string> TVILocalizationUtilities::getRegion()
{
    return countryOfLocale(currentLocaleName());
}

}
