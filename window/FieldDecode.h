#pragma once

#include "decode/Decoded.h"

#include <QString>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// What the decode window makes of the text in one of the window's hex fields.
// No widgets: the text in, the decode out.

enum class HexField {
    Edid,         // the EDID editor: 16 lines of 16 hex bytes
    Cec,          // a CEC message as colon-hex
    HdrInfoFrame, // the custom HDR InfoFrame: type, version, length, checksum, data
    AviInfoFrame, // the custom AVI InfoFrame's data bytes from 1
    CapturedHdr,  // the source's HDR InfoFrame as the status shows it: its data bytes
};

decode::Decoded decodeHexField(HexField field, const QString& text);

// The bytes of the EDID editor's text as far as it parses (at most 256),
// and what is wrong with the text, if anything.
struct EditorEdidBytes {
    std::vector<std::uint8_t> bytes;
    std::string problem; // empty: the whole text parsed
};
EditorEdidBytes editorEdidBytes(const QString& text);

// The editor's EDID against another one, each side named by where it came from.
decode::Decoded compareEditorEdid(const QString& editorText, const std::string& editorName,
                                  std::span<const std::uint8_t> other,
                                  const std::string& otherName);
