#include "foundation/SUStandardVersionComparator.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace tvi {
namespace {

bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }
bool isAlpha(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

ComparisonResult fromInt(int value)
{
    if (value < 0) return ComparisonResult::OrderedAscending;
    if (value > 0) return ComparisonResult::OrderedDescending;
    return ComparisonResult::OrderedSame;
}

std::string_view trim(std::string_view text)
{
    auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> splitAtDots(std::string_view text)
{
    std::vector<std::string_view> parts;
    if (text.empty()) return parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t dot = text.find('.', start);
        parts.push_back(text.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    return parts;
}

// Compares two digit runs by value without converting them, so that no length overflows.
int compareNumbers(std::string_view a, std::string_view b)
{
    auto stripZeros = [](std::string_view s) {
        while (s.size() > 1 && s.front() == '0') s.remove_prefix(1);
        return s.empty() ? std::string_view("0") : s;
    };
    a = stripZeros(a);
    b = stripZeros(b);
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return a.compare(b) < 0 ? -1 : (a.compare(b) > 0 ? 1 : 0);
}

int compareLetters(std::string_view a, std::string_view b)
{
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        int ca = std::tolower(static_cast<unsigned char>(a[i]));
        int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

struct Run {
    bool numeric;
    std::string_view text;
};

// Letter and digit runs of a suffix; other characters only separate them.
std::vector<Run> runsOf(std::string_view suffix)
{
    std::vector<Run> runs;
    std::size_t i = 0;
    while (i < suffix.size()) {
        if (!isDigit(suffix[i]) && !isAlpha(suffix[i])) {
            ++i;
            continue;
        }
        bool numeric = isDigit(suffix[i]);
        std::size_t start = i;
        while (i < suffix.size() && (numeric ? isDigit(suffix[i]) : isAlpha(suffix[i]))) ++i;
        runs.push_back({numeric, suffix.substr(start, i - start)});
    }
    return runs;
}

int compareSuffixes(std::string_view a, std::string_view b)
{
    std::vector<Run> runsA = runsOf(a);
    std::vector<Run> runsB = runsOf(b);
    // No suffix (or one of separators only) is the release and ranks above any pre-release.
    if (runsA.empty() || runsB.empty()) return runsA.empty() == runsB.empty() ? 0 : (runsA.empty() ? 1 : -1);
    std::size_t n = std::min(runsA.size(), runsB.size());
    for (std::size_t i = 0; i < n; ++i) {
        const Run& ra = runsA[i];
        const Run& rb = runsB[i];
        int result = 0;
        if (ra.numeric != rb.numeric) result = ra.numeric ? 1 : -1;
        else result = ra.numeric ? compareNumbers(ra.text, rb.text) : compareLetters(ra.text, rb.text);
        if (result != 0) return result;
    }
    if (runsA.size() == runsB.size()) return 0;
    return runsA.size() < runsB.size() ? -1 : 1;
}

int compareComponents(std::string_view a, std::string_view b)
{
    auto numberEnd = [](std::string_view s) {
        return static_cast<std::size_t>(std::find_if(s.begin(), s.end(), [](char c) { return !isDigit(c); }) -
                                        s.begin());
    };
    std::size_t endA = numberEnd(a);
    std::size_t endB = numberEnd(b);
    int result = compareNumbers(a.substr(0, endA), b.substr(0, endB));
    if (result != 0) return result;
    return compareSuffixes(a.substr(endA), b.substr(endB));
}

}

SUStandardVersionComparator& SUStandardVersionComparator::defaultComparator()
{
    static SUStandardVersionComparator comparator;
    return comparator;
}

ComparisonResult SUStandardVersionComparator::compareVersion(std::string_view versionA,
                                                             std::string_view versionB) const
{
    std::vector<std::string_view> partsA = splitAtDots(trim(versionA));
    std::vector<std::string_view> partsB = splitAtDots(trim(versionB));
    std::size_t count = std::max(partsA.size(), partsB.size());
    for (std::size_t i = 0; i < count; ++i) {
        std::string_view a = i < partsA.size() ? partsA[i] : std::string_view("0");
        std::string_view b = i < partsB.size() ? partsB[i] : std::string_view("0");
        int result = compareComponents(a, b);
        if (result != 0) return fromInt(result);
    }
    return ComparisonResult::OrderedSame;
}

}
