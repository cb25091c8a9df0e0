#include "http/QrText.h"

#include <qrencode.h>

#include <memory>

namespace http {

std::string qrForTerminal(const std::string& text) {
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString8bit(text.c_str(), 0, QR_ECLEVEL_L), &QRcode_free);
    if (!code)
        return {};
    constexpr int kQuiet = 2;
    const int width = code->width;
    const int side = width + 2 * kQuiet;
    // Light is what the scanner sees as background.
    const auto light = [&](int x, int y) {
        x -= kQuiet;
        y -= kQuiet;
        if (x < 0 || y < 0 || x >= width || y >= width)
            return true;
        return !(code->data[y * width + x] & 1);
    };
    std::string out;
    for (int y = 0; y < side; y += 2) {
        out += "\x1b[37;40m";
        for (int x = 0; x < side; ++x) {
            const bool top = light(x, y);
            const bool bottom = y + 1 < side ? light(x, y + 1) : false;
            out += top && bottom ? "\u2588" : top ? "\u2580" : bottom ? "\u2584" : " ";
        }
        out += "\x1b[0m\n";
    }
    return out;
}

} // namespace http
