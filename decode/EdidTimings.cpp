#include "decode/EdidParts.h"

#include <QJsonArray>

#include <array>
#include <cmath>
#include <numeric>

namespace decode {
namespace {

constexpr double kPixelClockUnitHz = 10000.0;
constexpr std::uint8_t kInterlaced = 0x80;
constexpr std::uint8_t kSyncDigitalSeparate = 0x18;
constexpr std::uint8_t kSyncDigitalComposite = 0x10;
constexpr std::uint8_t kUnusedStandardTiming = 0x01;
constexpr int kStandardTimingBase = 31;
constexpr int kStandardTimingStep = 8;
constexpr int kStandardRefreshBase = 60;

struct Timing {
    int clock10kHz, hActive, hBlank, vActive, vBlank, hFront, hSync, vFront, vSync, widthMm,
        heightMm;
    std::uint8_t flags;

    bool interlaced() const { return flags & kInterlaced; }
    int height() const { return interlaced() ? 2 * vActive : vActive; }
    double clockMhz() const { return clock10kHz * kPixelClockUnitHz / 1e6; }
    double refreshHz() const {
        // An interlaced timing gives one field; its fields are half a line apart.
        const double lines = vActive + vBlank + (interlaced() ? 0.5 : 0.0);
        const double total = double(hActive + hBlank) * lines;
        return total > 0 ? clock10kHz * kPixelClockUnitHz / total : 0.0;
    }
};

Timing readTiming(Bytes b) {
    Timing t{};
    t.clock10kHz = b[0] | (b[1] << 8);
    t.hActive = b[2] | ((b[4] & 0xF0) << 4);
    t.hBlank = b[3] | ((b[4] & 0x0F) << 8);
    t.vActive = b[5] | ((b[7] & 0xF0) << 4);
    t.vBlank = b[6] | ((b[7] & 0x0F) << 8);
    t.hFront = b[8] | ((b[11] & 0xC0) << 2);
    t.hSync = b[9] | ((b[11] & 0x30) << 4);
    t.vFront = (b[10] >> 4) | ((b[11] & 0x0C) << 2);
    t.vSync = (b[10] & 0x0F) | ((b[11] & 0x03) << 4);
    t.widthMm = b[12] | ((b[14] & 0xF0) << 4);
    t.heightMm = b[13] | ((b[14] & 0x0F) << 8);
    t.flags = b[17];
    return t;
}

std::string syncText(std::uint8_t flags) {
    const auto sign = [](bool positive) { return positive ? "+" : "-"; };
    if ((flags & kSyncDigitalSeparate) == kSyncDigitalSeparate)
        return std::string("digital separate, H") + sign(flags & 0x02) + " V" + sign(flags & 0x04);
    if ((flags & kSyncDigitalSeparate) == kSyncDigitalComposite)
        return std::string("digital composite, H") + sign(flags & 0x02);
    return "analog composite";
}

std::string lineText(int active, int blank, int front, int sync) {
    return std::to_string(active) + " active, " + std::to_string(blank) + " blanking (front " +
           std::to_string(front) + ", sync " + std::to_string(sync) + ", back " +
           std::to_string(blank - front - sync) + ")";
}

std::string summary(const Timing& t) {
    return std::to_string(t.hActive) + "x" + std::to_string(t.height()) +
           (t.interlaced() ? "i" : "") + " @ " + trimmedNumber(t.refreshHz(), 2) + " Hz, " +
           fixedNumber(t.clockMhz(), 2) + " MHz";
}

struct Established {
    int offset, bit;
    const char* name;
};

constexpr Established kEstablished[] = {
    {35, 7, "720x400 @ 70 Hz"},   {35, 6, "720x400 @ 88 Hz"},  {35, 5, "640x480 @ 60 Hz"},
    {35, 4, "640x480 @ 67 Hz"},   {35, 3, "640x480 @ 72 Hz"},  {35, 2, "640x480 @ 75 Hz"},
    {35, 1, "800x600 @ 56 Hz"},   {35, 0, "800x600 @ 60 Hz"},  {36, 7, "800x600 @ 72 Hz"},
    {36, 6, "800x600 @ 75 Hz"},   {36, 5, "832x624 @ 75 Hz"},  {36, 4, "1024x768i @ 87 Hz"},
    {36, 3, "1024x768 @ 60 Hz"},  {36, 2, "1024x768 @ 70 Hz"}, {36, 1, "1024x768 @ 75 Hz"},
    {36, 0, "1280x1024 @ 75 Hz"}, {37, 7, "1152x870 @ 75 Hz"},
};

} // namespace

bool isDetailedTiming(const EdidBytes& e, int offset) {
    return e.has(offset, kDescriptorLength) && (e.at(offset) || e.at(offset + 1));
}

std::string detailedTimingSummary(Bytes dtd) {
    return summary(readTiming(dtd));
}

Node detailedTiming(Bytes dtd, std::string key, std::string label) {
    const Timing t = readTiming(dtd);
    Node n = field(std::move(key), std::move(label), summary(t));
    n.children = {
        jsonOnly("width", t.hActive),
        jsonOnly("height", t.height()),
        jsonOnly("interlaced", t.interlaced()),
        jsonOnly("refreshHz", std::round(t.refreshHz() * 1000) / 1000),
        jsonOnly("pixelClockMhz", t.clockMhz()),
        field("horizontal", "Horizontal", lineText(t.hActive, t.hBlank, t.hFront, t.hSync)),
        field("vertical", "Vertical", lineText(t.vActive, t.vBlank, t.vFront, t.vSync)),
        field("sync", "Sync", syncText(t.flags)),
        field("imageSize", "Image size",
              std::to_string(t.widthMm) + " x " + std::to_string(t.heightMm) + " mm"),
    };
    return n;
}

Node establishedTimings(const EdidBytes& e) {
    Node n = group("establishedTimings", "Established timings");
    for (const Established& t : kEstablished)
        if (e.at(t.offset) & (1u << t.bit))
            n.children.push_back(field({}, "Timing", t.name));
    if (e.at(37) & 0x7F)
        n.children.push_back(field({}, "Manufacturer timings", hexByte(e.at(37) & 0x7F)));
    if (n.children.empty()) {
        n.text = "none";
        n.json = QJsonArray();
    }
    return n;
}

Node standardTimings(const EdidBytes& e, int version, int revision) {
    constexpr int kFirst = 38, kCount = 8;
    Node n = group("standardTimings", "Standard timings");
    for (int i = 0; i < kCount; ++i) {
        const std::uint8_t b1 = e.at(kFirst + 2 * i), b2 = e.at(kFirst + 2 * i + 1);
        if ((b1 == kUnusedStandardTiming && b2 == kUnusedStandardTiming) || (b1 == 0 && b2 == 0))
            continue;
        const int width = (b1 + kStandardTimingBase) * kStandardTimingStep;
        // Aspect ratio 00 meant 1:1 before EDID 1.3 and 16:10 since.
        static constexpr std::array<std::array<int, 2>, 4> kAspects = {
            {{16, 10}, {4, 3}, {5, 4}, {16, 9}}};
        const auto aspect = kAspects[b2 >> 6];
        const bool square = (b2 >> 6) == 0 && version == 1 && revision < 3;
        const int height = square ? width : width * aspect[1] / aspect[0];
        const int refresh = (b2 & 0x3F) + kStandardRefreshBase;
        Node t = field({}, "Standard timing",
                       std::to_string(width) + "x" + std::to_string(height) + " @ " +
                           std::to_string(refresh) + " Hz");
        t.children = {jsonOnly("width", width), jsonOnly("height", height),
                      jsonOnly("refreshHz", refresh)};
        n.children.push_back(std::move(t));
    }
    if (n.children.empty()) {
        n.text = "none";
        n.json = QJsonArray();
    }
    return n;
}

Node blockChecksum(Decoded& d, const EdidBytes& e, int block) {
    const int at = block + kChecksumInBlock;
    const Bytes body = e.span(block, kChecksumInBlock);
    const int sum = std::accumulate(body.begin(), body.end(), 0);
    const auto expected = static_cast<std::uint8_t>(-sum & 0xFF);
    Node n = field("checksum", "Checksum", hexByte(e.at(at)), e.at(at));
    if (e.at(at) == expected)
        n.text += " (correct)";
    else
        addProblem(d, n,
                   EdidBytes::where(at) + ": checksum is " + hexByte(e.at(at)) + ", should be " +
                       hexByte(expected));
    return n;
}

} // namespace decode
