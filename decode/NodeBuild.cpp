#include "decode/NodeBuild.h"

#include "status/VideoFormat.h"

#include <cstdio>

namespace decode {

Node field(std::string key, std::string label, std::string text, QJsonValue json) {
    Node n;
    n.key = std::move(key);
    n.label = std::move(label);
    n.text = std::move(text);
    n.json = std::move(json);
    return n;
}

Node jsonOnly(std::string key, QJsonValue json) {
    return field(std::move(key), {}, {}, std::move(json));
}

Node group(std::string key, std::string label, std::string text) {
    return field(std::move(key), std::move(label), std::move(text));
}

Node flag(std::string key, std::string label, bool on) {
    return field(std::move(key), std::move(label), on ? "yes" : "no", on);
}

void addProblem(Decoded& d, Node& node, std::string problem) {
    node.problem = true;
    d.problems.push_back(std::move(problem));
}

Node problemNode(Decoded& d, std::string key, std::string label, std::string problem) {
    Node n = field(std::move(key), std::move(label), problem);
    addProblem(d, n, std::move(problem));
    return n;
}

std::string hexByte(std::uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

std::string hexNumber(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

namespace {

std::string joinedHex(Bytes bytes, const char* first, const char* rest) {
    std::string out;
    char text[8];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(text, sizeof text, i ? rest : first, bytes[i]);
        out += text;
    }
    return out;
}

} // namespace

std::string hexBytes(Bytes bytes) {
    return joinedHex(bytes, "%02X", " %02X");
}

std::string colonHex(Bytes bytes) {
    return joinedHex(bytes, "%02x", ":%02x");
}

std::string fixedNumber(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string trimmedNumber(double value, int decimals) {
    std::string text = fixedNumber(value, decimals);
    if (text.find('.') == std::string::npos)
        return text;
    while (text.back() == '0')
        text.pop_back();
    if (text.back() == '.')
        text.pop_back();
    return text == "-0" ? "0" : text;
}

std::string bitNames(unsigned value, std::span<const char* const> names) {
    std::string out;
    for (std::size_t bit = 0; bit < names.size(); ++bit) {
        if (!(value & (1u << bit)) || !names[bit])
            continue;
        if (!out.empty())
            out += ", ";
        out += names[bit];
    }
    return out.empty() ? "none" : out;
}

bool isReservedName(unsigned value, std::span<const char* const> names) {
    return value >= names.size() || !names[value];
}

std::string tableName(unsigned value, std::span<const char* const> names) {
    if (isReservedName(value, names))
        return "reserved (" + std::to_string(value) + ")";
    return names[value];
}

std::string physicalAddressText(std::uint8_t high, std::uint8_t low) {
    return std::to_string(high >> 4) + "." + std::to_string(high & 0x0F) + "." +
           std::to_string(low >> 4) + "." + std::to_string(low & 0x0F);
}

// The highest video code that names a format; above it edid-decode says
// "Unknown (VIC n)".
constexpr int kLastKnownVic = 219;

std::string videoCodeName(int code) {
    char shortName[kVideoFormatNameSize];
    char longName[kVideoFormatNameSize];
    if (code < 0 || code > 0xFFFF)
        return "VIC " + std::to_string(code);
    lookupVideoFormat(static_cast<std::uint16_t>(code), shortName, longName);
    if (longName[0] == '\0')
        return code > kLastKnownVic ? "Unknown (VIC " + std::to_string(code) + ")"
                                    : "VIC " + std::to_string(code);
    return longName;
}

} // namespace decode

namespace decode {

const char* findName(std::span<const CodeName> table, unsigned code) {
    for (const CodeName& entry : table)
        if (entry.code == code)
            return entry.name;
    return nullptr;
}

namespace {

Node nameOrProblem(Decoded& d, std::string key, std::string label, unsigned value, const char* name,
                   const std::string& where) {
    const QJsonObject json{{"value", static_cast<int>(value)},
                           {"name", name ? QString::fromUtf8(name) : QString("reserved")}};
    if (name)
        return field(std::move(key), std::move(label), name, json);
    Node n = field(std::move(key), label, "reserved (" + std::to_string(value) + ")", json);
    addProblem(d, n, where + ": " + label + " " + std::to_string(value) + " is reserved");
    return n;
}

} // namespace

Node namedValue(Decoded& d, std::string key, std::string label, unsigned value,
                std::span<const char* const> names, const std::string& where) {
    const char* name = isReservedName(value, names) ? nullptr : names[value];
    return nameOrProblem(d, std::move(key), std::move(label), value, name, where);
}

Node namedCode(Decoded& d, std::string key, std::string label, unsigned value,
               std::span<const CodeName> table, const std::string& where) {
    return nameOrProblem(d, std::move(key), std::move(label), value, findName(table, value), where);
}

} // namespace decode
