#include "decode/EdidParts.h"

#include <array>
#include <cmath>

namespace decode {
namespace {

constexpr std::array<std::uint8_t, 8> kHeader = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr int kYearBase = 1990;
constexpr std::uint8_t kModelYearWeek = 0xFF;
constexpr int kLastWeek = 54;
constexpr std::uint8_t kDigitalInput = 0x80;
constexpr std::uint8_t kGammaInExtension = 0xFF;
constexpr int kFirstDescriptor = 54;
constexpr int kDescriptorCount = 4;
constexpr int kTextLength = 13;
constexpr std::uint8_t kTextEnd = 0x0A;
constexpr int kRangeClockUnitMhz = 10;

// A text descriptor as a field: the text ends at a line feed; a
// non-printing byte also ends it (as edid-decode reads it) and is a fault.
Node textField(Decoded& d, Bytes slot, int at, std::string key, std::string label) {
    std::string text;
    int bad = -1;
    for (int i = 5; i < kDescriptorLength; ++i) {
        const std::uint8_t c = slot[static_cast<std::size_t>(i)];
        if (c == kTextEnd)
            break;
        if (c < 0x20 || c >= 0x7F) {
            bad = i;
            break;
        }
        text += static_cast<char>(c);
    }
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    Node n = field(std::move(key), std::move(label), text);
    if (bad >= 0)
        addProblem(d, n,
                   EdidBytes::where(at + bad) + ": non-printing byte " +
                       hexByte(slot[static_cast<std::size_t>(bad)]) + " in a text descriptor");
    return n;
}

Node header(Decoded& d, const EdidBytes& e) {
    Node n = field("header", "Header", hexBytes(e.span(0, 8)));
    if (!std::equal(kHeader.begin(), kHeader.end(), e.all.begin()))
        addProblem(d, n, "bytes 0-7: header is " + n.text + ", should be 00 FF FF FF FF FF FF 00");
    else
        n.text += " (correct)";
    return n;
}

Node manufacturer(Decoded& d, const EdidBytes& e) {
    const int id = (e.at(8) << 8) | e.at(9);
    bool valid = !(id & 0x8000);
    for (int shift : {10, 5, 0}) {
        const int letter = (id >> shift) & 0x1F;
        valid = valid && letter >= 1 && letter <= 26;
    }
    Node n = field("manufacturer", "Manufacturer", manufacturerLetters(id));
    if (!valid)
        addProblem(d, n,
                   "bytes 8-9: manufacturer ID " + hexBytes(e.span(8, 2)) +
                       " is not three letters A-Z");
    return n;
}

Node manufactured(const EdidBytes& e) {
    const int week = e.at(16);
    const int year = kYearBase + e.at(17);
    Node n = field("manufactured", "Made", {});
    if (week == kModelYearWeek)
        n.text = "model year " + std::to_string(year);
    else if (week == 0 || week > kLastWeek)
        n.text = std::to_string(year);
    else
        n.text = "week " + std::to_string(week) + " of " + std::to_string(year);
    n.children = {jsonOnly("week", week == kModelYearWeek ? QJsonValue() : QJsonValue(week)),
                  jsonOnly("year", year), jsonOnly("modelYear", week == kModelYearWeek)};
    return n;
}

Node input(const EdidBytes& e, int revision) {
    const std::uint8_t b = e.at(20);
    if (!(b & kDigitalInput))
        return field("input", "Input", "analog");
    static constexpr std::array<const char*, 8> kDepths = {
        "colour depth undefined", "6 bits per colour",  "8 bits per colour",  "10 bits per colour",
        "12 bits per colour",     "14 bits per colour", "16 bits per colour", nullptr};
    static constexpr std::array<const char*, 6> kInterfaces = {
        "interface undefined", "DVI", "HDMI-a", "HDMI-b", "MDDI", "DisplayPort"};
    if (revision < 4)
        return field("input", "Input", "digital");
    return field("input", "Input",
                 "digital, " + tableName((b >> 4) & 0x07, kDepths) + ", " +
                     tableName(b & 0x0F, kInterfaces));
}

Node screenSize(const EdidBytes& e) {
    const int w = e.at(21), h = e.at(22);
    Node n = field("screenSize", "Screen size",
                   w && h ? std::to_string(w) + " x " + std::to_string(h) + " cm" : "not given");
    n.children = {jsonOnly("widthCm", w), jsonOnly("heightCm", h)};
    return n;
}

Node gamma(const EdidBytes& e) {
    if (e.at(23) == kGammaInExtension)
        return field("gamma", "Gamma", "given in an extension", QJsonValue());
    const double g = (e.at(23) + 100) / 100.0;
    return field("gamma", "Gamma", fixedNumber(g, 2), g);
}

Node features(const EdidBytes& e, int revision) {
    const std::uint8_t b = e.at(24);
    Node n = group("features", "Features");
    const unsigned type = (b >> 3) & 0x03;
    const bool digital14 = (e.at(20) & kDigitalInput) && revision >= 4;
    static constexpr std::array<const char*, 4> kEncodings = {
        "RGB 4:4:4", "RGB 4:4:4, YCbCr 4:4:4", "RGB 4:4:4, YCbCr 4:2:2",
        "RGB 4:4:4, YCbCr 4:4:4, YCbCr 4:2:2"};
    static constexpr std::array<const char*, 4> kTypes = {"monochrome", "RGB colour",
                                                          "non-RGB colour", "undefined"};
    n.children.push_back(digital14 ? field("colourEncoding", "Colour encodings", kEncodings[type])
                                   : field("displayType", "Display type", kTypes[type]));
    static constexpr const char* kPower[] = {nullptr, nullptr,      nullptr,   nullptr,
                                             nullptr, "active off", "suspend", "standby"};
    n.children.push_back(field("powerManagement", "Power management", bitNames(b, kPower)));
    n.children.push_back(flag("srgb", "sRGB default colour space", b & 0x04));
    n.children.push_back(flag("preferredTimingNative", "Preferred timing is native", b & 0x02));
    n.children.push_back(revision >= 4
                             ? flag("continuousFrequency", "Continuous frequency", b & 0x01)
                             : flag("gtf", "GTF supported", b & 0x01));
    return n;
}

Node chromaticity(const EdidBytes& e) {
    const std::uint8_t lo1 = e.at(25), lo2 = e.at(26);
    const auto value = [&](int high, std::uint8_t low, int shift) {
        return ((e.at(high) << 2) | ((low >> shift) & 0x03)) / 1024.0;
    };
    struct Point {
        const char* key;
        const char* label;
        double x, y;
    };
    const Point points[] = {{"red", "Red", value(27, lo1, 6), value(28, lo1, 4)},
                            {"green", "Green", value(29, lo1, 2), value(30, lo1, 0)},
                            {"blue", "Blue", value(31, lo2, 6), value(32, lo2, 4)},
                            {"white", "White", value(33, lo2, 2), value(34, lo2, 0)}};
    Node n = group("chromaticity", "Chromaticity");
    for (const Point& p : points) {
        Node c = field(p.key, p.label, "x " + fixedNumber(p.x, 4) + ", y " + fixedNumber(p.y, 4));
        c.children = {jsonOnly("x", std::round(p.x * 10000) / 10000),
                      jsonOnly("y", std::round(p.y * 10000) / 10000)};
        n.children.push_back(std::move(c));
    }
    return n;
}

Node rangeLimits(Bytes slot) {
    const auto at = [&](int i) { return slot[static_cast<std::size_t>(i)]; };
    const std::uint8_t offsets = at(4);
    // Rate offsets (EDID 1.4) add 255 to a maximum or minimum.
    const int vMin = at(5) + ((offsets & 0x03) == 0x03 ? 255 : 0);
    const int vMax = at(6) + ((offsets & 0x02) ? 255 : 0);
    const int hMin = at(7) + ((offsets & 0x0C) == 0x0C ? 255 : 0);
    const int hMax = at(8) + ((offsets & 0x08) ? 255 : 0);
    const int clock = at(9) * kRangeClockUnitMhz;
    Node n = field("rangeLimits", "Range limits",
                   std::to_string(vMin) + "-" + std::to_string(vMax) + " Hz vertical, " +
                       std::to_string(hMin) + "-" + std::to_string(hMax) +
                       " kHz horizontal, max pixel clock " + std::to_string(clock) + " MHz");
    n.children = {jsonOnly("minVerticalHz", vMin), jsonOnly("maxVerticalHz", vMax),
                  jsonOnly("minHorizontalKhz", hMin), jsonOnly("maxHorizontalKhz", hMax),
                  jsonOnly("maxPixelClockMhz", clock)};
    return n;
}

} // namespace

Node displayDescriptor(Decoded& d, Bytes slot, int at) {
    const std::uint8_t tag = slot[3];
    switch (tag) {
    case 0xFC:
        return textField(d, slot, at, "displayName", "Display name");
    case 0xFF:
        return textField(d, slot, at, "displaySerialNumber", "Display serial number");
    case 0xFE:
        return textField(d, slot, at, "text", "Text");
    case 0xFD:
        return rangeLimits(slot);
    case 0x10:
        return field("dummyDescriptor", "Unused descriptor", {});
    default:
        break;
    }
    static constexpr CodeName kOthers[] = {{0xFB, "Colour point"},
                                           {0xFA, "Standard timings"},
                                           {0xF9, "Colour management"},
                                           {0xF8, "CVT timing codes"},
                                           {0xF7, "Established timings III"}};
    const char* name = findName(kOthers, tag);
    Node n = field("otherDescriptor", name ? name : "Manufacturer descriptor " + hexByte(tag),
                   hexBytes(slot.subspan(5, kTextLength)));
    n.children = {jsonOnly("tag", tag), jsonOnly("bytes", QString::fromStdString(n.text))};
    return n;
}

namespace {

void descriptors(Decoded& d, const EdidBytes& e) {
    Node others = group("detailedTimings", "Other detailed timings");
    std::vector<Node> displays;
    for (int i = 0; i < kDescriptorCount; ++i) {
        const int at = kFirstDescriptor + i * kDescriptorLength;
        if (!e.has(at, kDescriptorLength))
            break; // a short EDID: as far as it goes
        if (isDetailedTiming(e, at)) {
            if (i == 0)
                d.nodes.push_back(detailedTiming(e.span(at, kDescriptorLength), "preferredTiming",
                                                 "Preferred timing"));
            else
                others.children.push_back(
                    detailedTiming(e.span(at, kDescriptorLength), {}, "Detailed timing"));
            continue;
        }
        if (i == 0) {
            Node none = problemNode(d, "preferredTiming", "Preferred timing",
                                    "byte 54: the first descriptor is not a detailed timing, so "
                                    "there is no preferred timing");
            none.json = QJsonValue(); // null in JSON: a timing object or nothing
            d.nodes.push_back(std::move(none));
        }
        displays.push_back(displayDescriptor(d, e.span(at, kDescriptorLength), at));
    }
    if (!others.children.empty())
        d.nodes.push_back(std::move(others));
    for (Node& n : displays)
        d.nodes.push_back(std::move(n));
}

} // namespace

std::string manufacturerLetters(int id) {
    std::string letters;
    for (int shift : {10, 5, 0})
        letters += static_cast<char>('@' + ((id >> shift) & 0x1F));
    return letters;
}

void decodeBaseBlock(Decoded& d, const EdidBytes& e) {
    if (!e.has(0, 8))
        return;
    d.nodes.push_back(header(d, e));
    if (!e.has(8, 12))
        return;
    d.nodes.push_back(manufacturer(d, e));
    const int product = e.at(10) | (e.at(11) << 8);
    d.nodes.push_back(field("productCode", "Product code",
                            std::to_string(product) + " (" + hexNumber(product, 4) + ")", product));
    const std::uint32_t serial =
        e.at(12) | (e.at(13) << 8) | (e.at(14) << 16) | (std::uint32_t(e.at(15)) << 24);
    d.nodes.push_back(field("serialNumber", "Serial number",
                            serial ? std::to_string(serial) : "not given (0)", double(serial)));
    d.nodes.push_back(manufactured(e));
    const int version = e.at(18), revision = e.at(19);
    d.nodes.push_back(
        field("version", "EDID version", std::to_string(version) + "." + std::to_string(revision)));
    if (!e.has(20, 18))
        return;
    d.nodes.push_back(input(e, revision));
    d.nodes.push_back(screenSize(e));
    d.nodes.push_back(gamma(e));
    d.nodes.push_back(features(e, revision));
    d.nodes.push_back(chromaticity(e));
    d.nodes.push_back(establishedTimings(e));
    if (!e.has(38, 16))
        return;
    d.nodes.push_back(standardTimings(e, version, revision));
    descriptors(d, e);
    if (!e.has(126, 2))
        return;
    d.nodes.push_back(
        field("extensionCount", "Extension blocks", std::to_string(e.at(126)), e.at(126)));
    d.nodes.push_back(blockChecksum(d, e, 0));
}

} // namespace decode
