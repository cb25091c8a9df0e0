#include "decode/CecOperands.h"

#include "decode/AudioDescriptor.h"
#include "decode/CecNames.h"

#include <array>

namespace decode {
namespace {

constexpr std::uint8_t kMuteBit = 0x80;
constexpr std::uint8_t kVolumeMask = 0x7F;
constexpr std::uint8_t kVolumeUnknown = 0x7F;
constexpr int kMaxVolume = 100;
constexpr std::uint8_t kFeatureExtension = 0x80; // another byte of the same operand follows

// Reads operand bytes in order and names their typed byte numbers.
struct OperandReader {
    Decoded& d;
    Node& out;
    Bytes bytes;
    int firstByte;

    bool has(std::size_t i) const { return i < bytes.size(); }
    std::string where(std::size_t i) const {
        return "byte " + std::to_string(firstByte + static_cast<int>(i));
    }
    void add(Node n) { out.children.push_back(std::move(n)); }
    void named(std::size_t i, const char* key, const char* label, std::span<const char* const> t) {
        if (has(i))
            add(namedValue(d, key, label, bytes[i], t, where(i)));
    }
    void coded(std::size_t i, const char* key, const char* label, std::span<const CodeName> t) {
        if (has(i))
            add(namedCode(d, key, label, bytes[i], t, where(i)));
    }
    void address(std::size_t i, const char* key, const char* label) {
        if (has(i + 1))
            add(field(key, label, physicalAddressText(bytes[i], bytes[i + 1])));
    }
    void rest(std::size_t from, const char* key, const char* label) {
        if (has(from))
            add(field(key, label, colonHex(bytes.subspan(from))));
    }
};

// Printable ASCII as is; anything else as \xNN so that nothing is hidden.
std::string asciiText(Bytes bytes) {
    std::string out;
    char escaped[8];
    for (std::uint8_t b : bytes) {
        if (b >= 0x20 && b < 0x7F) {
            out += static_cast<char>(b);
        } else {
            std::snprintf(escaped, sizeof escaped, "\\x%02X", b);
            out += escaped;
        }
    }
    return out;
}

void textOperand(OperandReader& r, std::size_t from, const char* key, const char* label) {
    if (r.has(from))
        r.add(field(key, label, "\"" + asciiText(r.bytes.subspan(from)) + "\""));
}

void vendorId(OperandReader& r, std::size_t i) {
    if (!r.has(i + 2))
        return;
    const int id = (r.bytes[i] << 16) | (r.bytes[i + 1] << 8) | r.bytes[i + 2];
    r.add(field("vendorId", "Vendor ID", hexBytes(r.bytes.subspan(i, 3)), id));
}

void featureAbort(OperandReader& r) {
    if (r.has(0)) {
        const CecOpcode* op = findCecOpcode(r.bytes[0]);
        const std::string name = op ? op->name : "unknown opcode";
        Node n = field("abortedOpcode", "Refused message", name + " (" + hexByte(r.bytes[0]) + ")");
        n.children.push_back(jsonOnly("code", r.bytes[0]));
        n.children.push_back(jsonOnly("name", op ? QJsonValue(op->name) : QJsonValue()));
        r.add(std::move(n));
    }
    r.named(1, "reason", "Reason", cecAbortReasons());
}

void userControl(OperandReader& r) {
    r.coded(0, "uiCommand", "Button", cecUiCommands());
    r.rest(1, "uiOperand", "Button operand");
}

void osdString(OperandReader& r) {
    r.coded(0, "displayControl", "Display", cecDisplayControls());
    textOperand(r, 1, "text", "Text");
}

void audioStatus(OperandReader& r) {
    if (!r.has(0))
        return;
    const std::uint8_t b = r.bytes[0];
    r.add(flag("mute", "Muted", b & kMuteBit));
    const int volume = b & kVolumeMask;
    if (volume == kVolumeUnknown) {
        r.add(field("volume", "Volume", "unknown", QJsonValue()));
    } else {
        Node n = field("volume", "Volume", std::to_string(volume) + " %", volume);
        if (volume > kMaxVolume)
            addProblem(r.d, n, r.where(0) + ": volume " + std::to_string(volume) + " is reserved");
        r.add(std::move(n));
    }
}

void audioVolumeLevel(OperandReader& r) {
    if (!r.has(0))
        return;
    const int level = r.bytes[0];
    if (level == kVolumeUnknown) {
        r.add(field("volume", "Volume", "unknown", QJsonValue()));
        return;
    }
    Node n = field("volume", "Volume", std::to_string(level) + " %", level);
    if (level > kMaxVolume)
        addProblem(r.d, n, r.where(0) + ": volume " + std::to_string(level) + " is reserved");
    r.add(std::move(n));
}

void reportFeatures(OperandReader& r) {
    r.named(0, "cecVersion", "CEC version", cecVersions());
    if (r.has(1))
        r.add(field("deviceTypes", "Device types", bitNames(r.bytes[1], cecAllDeviceTypeBits())));
    std::size_t i = 2;
    if (r.has(i)) {
        const std::uint8_t rc = r.bytes[i];
        const bool source = rc & 0x40;
        r.add(field("rcProfile", "Remote control profile",
                    source ? "source: " + bitNames(rc & 0x1F, cecSourceRcBits())
                           : "TV: " + tableName(rc & 0x0F, cecTvRcProfiles())));
        while (r.has(i) && (r.bytes[i] & kFeatureExtension))
            ++i;
        ++i;
    }
    if (r.has(i))
        r.add(field("deviceFeatures", "Device features",
                    bitNames(r.bytes[i] & 0x7F, cecDeviceFeatureBits())));
}

void reportCurrentLatency(OperandReader& r) {
    constexpr int kLatencyStepMs = 2;
    r.address(0, "physicalAddress", "Physical address");
    if (r.has(2)) {
        const int v = r.bytes[2];
        r.add(field("videoLatency", "Video latency",
                    v == 0 || v > 251 ? "reserved (" + std::to_string(v) + ")"
                                      : std::to_string((v - 1) * kLatencyStepMs) + " ms"));
    }
    if (r.has(3)) {
        r.add(flag("lowLatencyMode", "Low latency mode", r.bytes[3] & 0x04));
        r.add(namedValue(r.d, "audioOutputCompensated", "Audio output compensated",
                         r.bytes[3] & 0x03, cecAudioCompensation(), r.where(3)));
    }
    if (r.has(4))
        r.add(field("audioOutputDelay", "Audio output delay",
                    std::to_string((r.bytes[4] - 1) * kLatencyStepMs) + " ms"));
}

void shortAudioDescriptors(OperandReader& r) {
    for (std::size_t i = 0; r.has(i + 2); i += kShortAudioDescriptorSize)
        r.add(shortAudioDescriptor(r.d, r.bytes.subspan(i, kShortAudioDescriptorSize), r.where(i)));
    if (r.bytes.size() % kShortAudioDescriptorSize)
        r.add(problemNode(r.d, "cutShort", "Descriptor",
                          r.where(r.bytes.size() - r.bytes.size() % kShortAudioDescriptorSize) +
                              ": a short audio descriptor has 3 bytes"));
}

void audioFormatRequest(OperandReader& r) {
    for (std::size_t i = 0; r.has(i); ++i) {
        const unsigned id = r.bytes[i] >> 6;
        const unsigned code = r.bytes[i] & 0x3F;
        r.add(field({}, "Format",
                    (id == 0 ? "audio format code " : "extended format type ") +
                        std::to_string(code)));
    }
}

} // namespace

void decodeCecOperands(Decoded& d, Node& operands, CecOperandKind kind, Bytes bytes,
                       int firstByte) {
    OperandReader r{d, operands, bytes, firstByte};
    using K = CecOperandKind;
    switch (kind) {
    case K::None:
        break;
    case K::Raw:
        r.rest(0, "bytes", "Bytes");
        break;
    case K::FeatureAbort:
        featureAbort(r);
        break;
    case K::PhysicalAddress:
        r.address(0, "physicalAddress", "Physical address");
        break;
    case K::RoutingChange:
        r.address(0, "from", "From physical address");
        r.address(2, "to", "To physical address");
        break;
    case K::ReportPhysicalAddress:
        r.address(0, "physicalAddress", "Physical address");
        r.named(2, "deviceType", "Device type", cecDeviceTypes());
        break;
    case K::VendorId:
        vendorId(r, 0);
        break;
    case K::VendorCommandWithId:
        vendorId(r, 0);
        r.rest(3, "data", "Vendor data");
        break;
    case K::Text:
        textOperand(r, 0, "name", "Name");
        break;
    case K::OsdString:
        osdString(r);
        break;
    case K::UserControl:
        userControl(r);
        break;
    case K::PowerStatus:
        r.named(0, "powerStatus", "Power status", cecPowerStatuses());
        break;
    case K::MenuRequest:
        r.named(0, "menuRequest", "Menu request", cecMenuRequests());
        break;
    case K::MenuState:
        r.named(0, "menuState", "Menu state", cecMenuStates());
        break;
    case K::DeckControl:
        r.coded(0, "deckControl", "Deck control", cecDeckControls());
        break;
    case K::DeckInfo:
        r.coded(0, "deckInfo", "Deck status", cecDeckInfos());
        break;
    case K::StatusRequest:
        r.coded(0, "statusRequest", "Status request", cecStatusRequests());
        break;
    case K::PlayMode:
        r.coded(0, "playMode", "Play mode", cecPlayModes());
        break;
    case K::CecVersion:
        r.named(0, "cecVersion", "CEC version", cecVersions());
        break;
    case K::MenuLanguage:
        textOperand(r, 0, "language", "Language");
        break;
    case K::AudioStatus:
        audioStatus(r);
        break;
    case K::SystemAudioStatus:
        r.named(0, "systemAudio", "System audio", cecOnOff());
        break;
    case K::AudioRate:
        r.named(0, "audioRate", "Audio rate", cecAudioRates());
        break;
    case K::RecordStatus:
        r.coded(0, "recordStatus", "Record status", cecRecordStatuses());
        break;
    case K::TimerClearedStatus:
        r.coded(0, "timerClearedStatus", "Timer cleared status", cecTimerClearedStatuses());
        break;
    case K::ReportFeatures:
        reportFeatures(r);
        break;
    case K::AudioVolumeLevel:
        audioVolumeLevel(r);
        break;
    case K::ReportCurrentLatency:
        reportCurrentLatency(r);
        break;
    case K::ShortAudioDescriptors:
        shortAudioDescriptors(r);
        break;
    case K::AudioFormatRequest:
        audioFormatRequest(r);
        break;
    }
}

} // namespace decode
