#include "window/FieldDecode.h"

#include "decode/CecDecode.h"
#include "decode/ColonHexInput.h"
#include "decode/EdidDecode.h"
#include "decode/InfoFrameDecode.h"
#include "decode/NodeBuild.h"
#include "edid/EdidText.h"

#include <algorithm>

namespace {

constexpr std::uint8_t kHdrInfoFrameType = 0x87;
constexpr int kMaxFrameLength = 0xFF;
constexpr int kCharactersPerByte = 3; // two digits and a space or line feed

// The status field shows only the captured frame's data bytes; the decoder
// wants the type and length in front, as the register holds them.
decode::Decoded decodeCapturedPayload(std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> frame{kHdrInfoFrameType};
    frame.push_back(
        static_cast<std::uint8_t>(std::min<std::size_t>(payload.size(), kMaxFrameLength)));
    frame.insert(frame.end(), payload.begin(), payload.end());
    return decode::decodeHdrInfoFrameBytes(frame);
}

// A problem with the text itself comes first, ahead of what the bytes say.
void putTextProblemFirst(decode::Decoded& d, const std::string& problem) {
    if (problem.empty())
        return;
    decode::Decoded scratch;
    d.nodes.insert(d.nodes.begin(), decode::problemNode(scratch, "text", "Text", problem));
    d.problems.insert(d.problems.begin(), problem);
}

// The number of leading byte groups that parse: a prefix of whole groups
// parses exactly when each of its groups does, so the first bad one is found
// by halving with the editor's own parser.
int parsableGroups(const QString& text) {
    EdidImage scratch{};
    int good = 0, bad = kEdidParseLimit / kCharactersPerByte + 1;
    while (bad - good > 1) {
        const int middle = (good + bad) / 2;
        if (parseEdidText(text.left(middle * kCharactersPerByte), scratch) >= 0)
            good = middle;
        else
            bad = middle;
    }
    return good;
}

} // namespace

EditorEdidBytes editorEdidBytes(const QString& text) {
    EditorEdidBytes out;
    EdidImage image{};
    int groups = parseEdidText(text, image);
    if (groups < 0) {
        groups = parsableGroups(text);
        parseEdidText(text.left(groups * kCharactersPerByte), image);
        out.problem = "byte " + std::to_string(groups) + " (character " +
                      std::to_string(groups * kCharactersPerByte + 1) +
                      "): expected two hex digits and a space or line end";
    } else if (groups > kEdidSize) {
        out.problem = "byte " + std::to_string(kEdidSize) + " on: past the " +
                      std::to_string(kEdidSize) + " bytes an EDID table holds; left out";
    }
    out.bytes.assign(image.begin(), image.begin() + std::min(groups, kEdidSize));
    return out;
}

decode::Decoded decodeHexField(HexField field, const QString& text) {
    const std::string latin1 = text.toLatin1().toStdString();
    switch (field) {
    case HexField::Edid: {
        const EditorEdidBytes in = editorEdidBytes(text);
        decode::Decoded d = decode::decodeEdid(in.bytes);
        putTextProblemFirst(d, in.problem);
        return d;
    }
    case HexField::Cec:
        return decode::decodeCecText(latin1);
    case HexField::HdrInfoFrame:
        return decode::decodeHdrInfoFrameText(latin1);
    case HexField::AviInfoFrame:
        return decode::decodeAviText(latin1);
    case HexField::CapturedHdr:
        return decode::decodeTypedBytes(latin1, decodeCapturedPayload);
    }
    return {};
}

decode::Decoded compareEditorEdid(const QString& editorText, const std::string& editorName,
                                  std::span<const std::uint8_t> other,
                                  const std::string& otherName) {
    const EditorEdidBytes in = editorEdidBytes(editorText);
    decode::Decoded d = decode::compareEdids(in.bytes, other, editorName, otherName);
    putTextProblemFirst(d, in.problem.empty() ? in.problem : editorName + ", " + in.problem);
    return d;
}
