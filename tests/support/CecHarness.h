#pragma once

// A started window for the CEC and InfoFrame tests, and the texts they type.
#include "WindowHarness.h"

#include <QMetaType>
#include <QString>
#include <QTextEdit>

#include <string>
#include <vector>

using Requests = std::vector<std::string>;
Q_DECLARE_METATYPE(Requests)

namespace cectest {

// n colon-hex groups counting up from `first`: "10:11:12...".
inline std::string groups(int n, int first = 0x10) {
    std::string text;
    for (int i = 0; i < n; ++i)
        text += QString::asprintf(i ? ":%02x" : "%02x", (first + i) & 0xFF).toStdString();
    return text;
}

inline QString q(const std::string& s) {
    return QString::fromStdString(s);
}

// A started window whose traffic so far is forgotten.
struct Started : WindowHarness {
    Started() {
        start();
        clearTraffic();
    }
    Requests sent() const { return hexRequests(usb.device.requests); }
    void setText(QTextEdit* field, const std::string& text) { field->setPlainText(q(text)); }
};

inline constexpr const char* kLengthError31 = "Error: min 2, max 31 data bytes";
inline constexpr const char* kLengthError13 = "Error: min 2, max 13 data bytes";

} // namespace cectest

using namespace cectest;
