#include "cec/ColonHex.h"

std::string formatColonHex(const std::uint8_t* bytes, int count) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (int i = 0; i < count; ++i) {
        if (i)
            text += ':';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}
