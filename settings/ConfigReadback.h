#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the configuration readback does to the settings controls, worked out
// from the device's settings block without touching a widget.
namespace settings {

struct ControlAction {
    enum class Op { Check, Select, Enable };
    Op op;
    const char* control; // object name in the form
    int value;           // Check, Enable: 0 or 1; Select: the entry index (may be -1)
};

// The block positions in the order the readback applies them: the lists
// first, then the header choices, then the boxes and pairs. Position 9 comes
// after position 2, so whether the EDID choice is offered has the last word
// on the EDID editor.
extern const int kReadbackOrder[28];

// The actions for one 40-byte settings block, in the order they are to be
// applied. A byte that its rule does not name yields no action.
std::vector<ControlAction> readbackActions(const std::uint8_t* block);

// "check cb51 1", "select cmbInputSel -1", "enable EDIDtext 0": for messages
// and for comparing action lists in tests.
std::string describe(const ControlAction& action);

} // namespace settings
