#include "link/UsbIds.h"

#include <algorithm>

namespace {

bool parseHex4(const std::string& text, std::uint16_t* value) {
    if (text.size() != 4)
        return false;
    unsigned v = 0;
    for (char c : text) {
        v <<= 4;
        if (c >= '0' && c <= '9')
            v |= static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            v |= static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            v |= static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
    }
    *value = static_cast<std::uint16_t>(v);
    return true;
}

std::string trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

} // namespace

std::vector<UsbId> usbIdsFromText(const char* text, std::string* complaint) {
    const std::vector<UsbId> fallback{kDefaultUsbId};
    if (!text || !*text)
        return fallback;
    std::vector<UsbId> ids;
    const std::string all = text;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = all.find(',', start);
        const std::string item = trimmed(all.substr(start, comma - start));
        const std::size_t colon = item.find(':');
        UsbId id;
        if (colon == std::string::npos || !parseHex4(item.substr(0, colon), &id.vendor) ||
            !parseHex4(item.substr(colon + 1), &id.product)) {
            if (complaint)
                *complaint = "KORVANTA_USB_IDS=" + all + " is not understood (\"" + item +
                             "\"); it takes vvvv:pppp pairs of four hex digits, separated by "
                             "commas, such as 10c4:ea61. Going on with 10c4:ea61.";
            return fallback;
        }
        if (std::find(ids.begin(), ids.end(), id) == ids.end())
            ids.push_back(id);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return ids;
}
