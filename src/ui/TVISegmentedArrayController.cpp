#include "ui/TVISegmentedArrayController.h"

#include "app/TVIPreferenceKeys.h"
#include "diagnostics/DDLogMacros.h"
#include "foundation/UserDefaults.h"

namespace tvi {

std::int64_t TVISegmentedArrayController::selectedPickerView() const
{
    return UserDefaults::standard().integerForKey(TVISelectedPickerView);
}

void TVISegmentedArrayController::setSelectedPickerView(std::int64_t segment)
{
    DDLogInfo("%@: => setSelectedPickerView:%ld", static_cast<long>(segment));
    UserDefaults::standard().setInteger(segment, TVISelectedPickerView);
    UserDefaults::standard().synchronize();
}

}
