#include "decode/AudioDescriptor.h"

#include <QJsonArray>

#include <array>

namespace decode {
namespace {

constexpr unsigned kLpcm = 1;
constexpr unsigned kLastBitRateFormat = 8; // AC-3 .. ATRAC give a maximum bit rate
constexpr unsigned kExtendedFormat = 15;
constexpr int kBitRateUnitKbps = 8;

constexpr std::array<const char*, 16> kFormats = {
    nullptr,     "LPCM", "AC-3",    "MPEG-1",        "MP3",           "MPEG-2 multichannel",
    "AAC LC",    "DTS",  "ATRAC",   "One Bit Audio", "Enhanced AC-3", "DTS-HD",
    "MAT (MLP)", "DST",  "WMA Pro", "extended"};

constexpr CodeName kExtendedFormats[] = {
    {4, "MPEG-4 HE AAC"},
    {5, "MPEG-4 HE AAC v2"},
    {6, "MPEG-4 AAC LC"},
    {7, "DRA"},
    {8, "MPEG-4 HE AAC + MPEG Surround"},
    {10, "MPEG-4 AAC LC + MPEG Surround"},
    {11, "MPEG-H 3D Audio"},
    {12, "AC-4"},
    {13, "LPCM 3D Audio"},
};

constexpr std::array<const char*, 7> kRatesKhz = {"32", "44.1", "48", "88.2", "96", "176.4", "192"};
constexpr std::array<double, 7> kRateValues = {32, 44.1, 48, 88.2, 96, 176.4, 192};
constexpr std::array<int, 3> kDepths = {16, 20, 24};

std::string joinedRates(std::uint8_t bits, QJsonArray& json) {
    std::string out;
    for (std::size_t i = 0; i < kRatesKhz.size(); ++i) {
        if (!(bits & (1u << i)))
            continue;
        out += (out.empty() ? "" : "/") + std::string(kRatesKhz[i]);
        json.append(kRateValues[i]);
    }
    return out.empty() ? "no sample rate" : out + " kHz";
}

std::string joinedDepths(std::uint8_t bits, QJsonArray& json) {
    std::string out;
    for (std::size_t i = 0; i < kDepths.size(); ++i) {
        if (!(bits & (1u << i)))
            continue;
        out += (out.empty() ? "" : "/") + std::to_string(kDepths[i]);
        json.append(kDepths[i]);
    }
    return out.empty() ? "no bit depth" : out + " bit";
}

} // namespace

Node shortAudioDescriptor(Decoded& d, Bytes sad, const std::string& where) {
    const unsigned code = (sad[0] >> 3) & 0x0F;
    const int channels = (sad[0] & 0x07) + 1;
    std::string name = kFormats[code] ? kFormats[code] : "reserved format 0";
    const unsigned extension = sad[2] >> 3;
    if (code == kExtendedFormat) {
        const char* ext = findName(kExtendedFormats, extension);
        name = ext ? ext : "extended format " + std::to_string(extension);
    }
    Node n = field({}, name, {});
    QJsonArray rates;
    std::string text = std::to_string(channels) + (channels == 1 ? " channel, " : " channels, ") +
                       joinedRates(sad[1] & 0x7F, rates);
    n.children.push_back(jsonOnly("format", QString::fromStdString(name)));
    n.children.push_back(jsonOnly("code", static_cast<int>(code)));
    n.children.push_back(jsonOnly("channels", channels));
    n.children.push_back(jsonOnly("sampleRatesKhz", rates));
    if (code == kLpcm) {
        QJsonArray depths;
        text += ", " + joinedDepths(sad[2] & 0x07, depths);
        n.children.push_back(jsonOnly("bitDepths", depths));
    } else if (code >= 2 && code <= kLastBitRateFormat) {
        const int kbps = sad[2] * kBitRateUnitKbps;
        text += ", up to " + std::to_string(kbps) + " kb/s";
        n.children.push_back(jsonOnly("maxBitRateKbps", kbps));
    } else if (code != kExtendedFormat) {
        text += ", format value " + hexByte(sad[2]);
        n.children.push_back(jsonOnly("formatValue", sad[2]));
    }
    n.text = text;
    if (code == 0 || (code == kExtendedFormat && !findName(kExtendedFormats, extension)))
        addProblem(d, n, where + ": audio format " + name + " is reserved");
    return n;
}

} // namespace decode
