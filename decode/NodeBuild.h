#pragma once

#include "decode/Decoded.h"

#include <cstdint>
#include <span>
#include <string>

// Small helpers the decoders share to build their nodes and word their values.
namespace decode {

using Bytes = std::span<const std::uint8_t>;

// A field shown as "label: text"; `json` defaults to the text.
Node field(std::string key, std::string label, std::string text,
           QJsonValue json = QJsonValue(QJsonValue::Undefined));
// A field for JSON only.
Node jsonOnly(std::string key, QJsonValue json);
// A heading with children to come.
Node group(std::string key, std::string label, std::string text = {});
// A boolean flag shown as "yes"/"no".
Node flag(std::string key, std::string label, bool on);

// Marks `node` and records `problem` in the decode's list.
void addProblem(Decoded& d, Node& node, std::string problem);
// Records a problem with a node of its own, so that the text shows it where it happened.
Node problemNode(Decoded& d, std::string key, std::string label, std::string problem);

std::string hexByte(std::uint8_t value);           // "0x1A"
std::string hexNumber(unsigned value, int digits); // "0x6550" for 4 digits
std::string hexBytes(Bytes bytes);                 // "1A 2B 3C"
std::string colonHex(Bytes bytes);                 // "1a:2b:3c"
// A number with at most `decimals` decimals and no trailing zeros ("60", "59.94").
std::string trimmedNumber(double value, int decimals);
// A number with exactly `decimals` decimals ("594.00").
std::string fixedNumber(double value, int decimals);
// Names of the set bits of `value`, lowest bit first; `names[i]` for bit i, null to skip.
std::string bitNames(unsigned value, std::span<const char* const> names);
// names[value], or "reserved (n)" past the table or on a null entry.
std::string tableName(unsigned value, std::span<const char* const> names);
bool isReservedName(unsigned value, std::span<const char* const> names);

// An HDMI physical address: "1.0.0.0".
std::string physicalAddressText(std::uint8_t high, std::uint8_t low);

// "VIC 97: 3840x2160p60"-style name of a CTA video code: "3840x2160p60", or
// "VIC n" past our table.
std::string videoCodeName(int code);

} // namespace decode

namespace decode {

// One entry of a sparse table of codes and their names.
struct CodeName {
    unsigned code;
    const char* name;
};
// The name of `code`, or null when the table has none.
const char* findName(std::span<const CodeName> table, unsigned code);

// A field naming `value` from a table ("Standby (1)"), or a problem when the
// value is reserved; `where` says where the value sits ("byte 3").
Node namedValue(Decoded& d, std::string key, std::string label, unsigned value,
                std::span<const char* const> names, const std::string& where);
Node namedCode(Decoded& d, std::string key, std::string label, unsigned value,
               std::span<const CodeName> table, const std::string& where);

} // namespace decode
