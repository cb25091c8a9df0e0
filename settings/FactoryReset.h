#pragma once

#include <QString>

// The factory reset asks for the word typed exactly and for at least one box.
namespace settings {

bool resetConfirmed(const QString& typed);

// The value of setting 25 for the two boxes, or 0 when neither is ticked and
// nothing is to be sent.
int factoryResetValue(bool clearSettings, bool clearEdid);

} // namespace settings
