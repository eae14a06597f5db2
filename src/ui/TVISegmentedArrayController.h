#pragma once

#include <cstdint>

namespace tvi {

// Keeps the contacts bar's chosen form (0: drawer, 1: popover) in the user defaults.
class TVISegmentedArrayController {
public:
    std::int64_t selectedPickerView() const;
    void setSelectedPickerView(std::int64_t segment);
    // The segment control's click: stores the segment it now shows.
    void click(int selectedSegment) { setSelectedPickerView(selectedSegment); }
};

}
