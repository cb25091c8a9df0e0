#include "settings/ConfigReadback.h"

#include "settings/SettingsMap.h"

namespace settings {

const int kReadbackOrder[28] = {0,  19, 30, 32, 1,  2,  3,  4,  6,  11, 10, 9,  13, 14,
                                17, 15, 16, 18, 21, 24, 22, 26, 27, 5,  29, 28, 31, 33};

namespace {

void check(std::vector<ControlAction>& out, const char* control, bool on) {
    out.push_back({ControlAction::Op::Check, control, on ? 1 : 0});
}

void gate(const Setting& s, int value, std::vector<ControlAction>& out) {
    for (const char* control : s.gated)
        if (control)
            out.push_back({ControlAction::Op::Enable, control, value == s.gateValue ? 1 : 0});
}

void appendActionsFor(int position, std::uint8_t byte, std::vector<ControlAction>& out) {
    const Setting* s = byPosition(position);
    if (!s)
        return;
    const int value = byte;
    switch (s->kind) {
    case Kind::List:
        // Any byte is taken as an entry; one past the list's end leaves it
        // with no current entry, as the device asked.
        out.push_back({ControlAction::Op::Select, s->controls[0], value - s->listOffset});
        break;
    case Kind::CheckBox:
        check(out, s->controls[0], value == 1);
        break;
    case Kind::RadioPair:
        if (s->strictPair && value != 0 && value != 1)
            return;
        check(out, s->controls[0], value == 1);
        check(out, s->controls[1], value != 1);
        gate(*s, value, out);
        break;
    case Kind::RadioChoice: {
        bool named = value == s->noneValue;
        for (std::size_t i = 0; i < s->controls.size(); ++i)
            if (s->controls[i] && s->values[i] == value)
                named = true;
        if (!named)
            return;
        for (std::size_t i = 0; i < s->controls.size(); ++i)
            if (s->controls[i])
                check(out, s->controls[i], s->values[i] == value);
        gate(*s, value, out);
        break;
    }
    case Kind::Offered:
        gate(*s, value, out);
        break;
    case Kind::Command:
        break;
    }
}

} // namespace

std::vector<ControlAction> readbackActions(const std::uint8_t* block) {
    std::vector<ControlAction> out;
    for (int position : kReadbackOrder)
        appendActionsFor(position, block[position], out);
    return out;
}

std::string describe(const ControlAction& action) {
    const char* op = action.op == ControlAction::Op::Check    ? "check"
                     : action.op == ControlAction::Op::Select ? "select"
                                                              : "enable";
    return std::string(op) + ' ' + action.control + ' ' + std::to_string(action.value);
}

} // namespace settings
