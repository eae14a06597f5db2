#include "foundation/SUStandardVersionComparator.h"

#include <gtest/gtest.h>

namespace tvi {
namespace {

using R = ComparisonResult;

struct Row {
    const char* a;
    const char* b;
    R expected;
};

class VersionTable : public ::testing::TestWithParam<Row> {};

TEST_P(VersionTable, ComparesBothWays)
{
    const Row& row = GetParam();
    const auto& comparator = SUStandardVersionComparator::defaultComparator();
    EXPECT_EQ(comparator.compareVersion(row.a, row.b), row.expected) << row.a << " vs " << row.b;
    // The reverse question must give the mirrored answer.
    R mirrored = row.expected == R::OrderedSame ? R::OrderedSame
                 : row.expected == R::OrderedAscending ? R::OrderedDescending
                                                       : R::OrderedAscending;
    EXPECT_EQ(comparator.compareVersion(row.b, row.a), mirrored) << row.b << " vs " << row.a;
}

INSTANTIATE_TEST_SUITE_P(
    Ordering, VersionTable,
    ::testing::Values(
        Row{"1.0", "1.0", R::OrderedSame},
        Row{"1.2.9", "1.2.10", R::OrderedAscending},    // numeric, not textual
        Row{"1.10", "1.9", R::OrderedDescending},
        Row{"2.0", "10.0", R::OrderedAscending},
        Row{"1.2", "1.2.0", R::OrderedSame},           // missing components are 0
        Row{"1", "1.0.0.0", R::OrderedSame},
        Row{"1.2", "1.2.1", R::OrderedAscending},
        Row{"1.2.0.1", "1.2", R::OrderedDescending},
        Row{"1.07", "1.7", R::OrderedSame},             // leading zeros carry no weight
        Row{"1.0b1", "1.0", R::OrderedAscending},       // pre-release before release
        Row{"1.0-rc1", "1.0", R::OrderedAscending},
        Row{"1.0a1", "1.0b1", R::OrderedAscending},     // alpha < beta < rc
        Row{"1.0beta2", "1.0rc1", R::OrderedAscending},
        Row{"1.0b2", "1.0b10", R::OrderedAscending},    // numbers inside suffixes by value
        Row{"1.0B1", "1.0b1", R::OrderedSame},          // letters without case
        Row{"1.0b9", "1.0.1", R::OrderedAscending},     // a suffix never outranks a higher number
        Row{"1.1b1", "1.0.9", R::OrderedDescending},
        Row{"10.10", "10.9.5", R::OrderedDescending},
        Row{"", "0", R::OrderedSame},
        Row{" 1.2 ", "1.2", R::OrderedSame},
        Row{"99999999999999999999999.1", "99999999999999999999998.9", R::OrderedDescending}));

}
}
