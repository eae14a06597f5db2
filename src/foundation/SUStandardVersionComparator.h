#pragma once

#include <string_view>

namespace tvi {

// The three answers of a comparison: the first value is lower, equal or higher.
enum class ComparisonResult { OrderedAscending = -1, OrderedSame = 0, OrderedDescending = 1 };

// Orders version strings such as "1.2.10", "10.9.5" or "2.0b3".
//
// The rule: the versions are split at every "."; components are compared pairwise from the
// left and a missing component counts as "0" (so 1.2 == 1.2.0). A component is a number
// followed by an optional suffix ("10", "0b1", "0-rc2"). Numbers are compared by value, of
// any length (1.2.10 after 1.2.9, 007 == 7). With equal numbers, a component without a
// suffix is higher than one with a suffix, as suffixes mark pre-releases (1.0b1 < 1.0).
// Two suffixes are compared as runs of letters (case-insensitive, alphabetical:
// alpha < beta < rc) and runs of digits (by value: b2 < b10); other characters only
// separate runs. Leading and trailing white space is ignored.
class SUStandardVersionComparator {
public:
    // The shared comparator; it holds no state.
    static SUStandardVersionComparator& defaultComparator();

    ComparisonResult compareVersion(std::string_view versionA, std::string_view versionB) const;

private:
    SUStandardVersionComparator() = default;
};

}
