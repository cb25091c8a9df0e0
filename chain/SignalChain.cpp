#include "chain/SignalChain.h"

#include "edid/VicTimings.h"
#include "link/UsbLink.h"
#include "status/StatusLines.h"

namespace chain {

namespace {

// The HDR InfoFrame payload: EOTF, metadata ID, then primaries, white point
// and mastering luminance before the content light levels.
constexpr std::size_t kPayloadMaxCll = 22;
constexpr std::size_t kPayloadMaxFall = 24;

// The 4K formats the HDMI vendor block names by its own codes 1 to 4.
constexpr int kHdmiVicCodes[] = {95, 94, 93, 98};

int le16(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    if (bytes.size() < at + 2)
        return 0;
    return bytes[at] | (bytes[at + 1] << 8);
}

Encoding encodingOf(int colourSpace) {
    switch (colourSpace) {
    case 1:
        return Encoding::Ycc422;
    case 2:
        return Encoding::Ycc444;
    case 3:
        return Encoding::Ycc420;
    default:
        return Encoding::Rgb;
    }
}

Colorimetry colorimetryOf(const InputStatusCodes& c, Encoding encoding) {
    switch (c.colorimetry) {
    case 1:
        return Colorimetry::Bt601;
    case 2:
        return Colorimetry::Bt709;
    case 3:
        break;
    default:
        return Colorimetry::None;
    }
    switch (c.extendedColorimetry) {
    case 0:
        return Colorimetry::XvYcc601;
    case 1:
        return Colorimetry::XvYcc709;
    case 2:
        return Colorimetry::SYcc601;
    case 3:
        return Colorimetry::OpYcc601;
    case 4:
        return Colorimetry::OpRgb;
    case 5:
        return Colorimetry::Bt2020cYcc;
    case 6: // one code for both: the encoding tells which
        return encoding == Encoding::Rgb ? Colorimetry::Bt2020Rgb : Colorimetry::Bt2020Ycc;
    default:
        return Colorimetry::Other;
    }
}

} // namespace

const char* verdictText(Verdict verdict) {
    switch (verdict) {
    case Verdict::Fine:
        return "fine";
    case Verdict::Degraded:
        return "degraded";
    case Verdict::WontShow:
        return "won't show";
    case Verdict::Unknown:
        return "unknown";
    case Verdict::NoDisplay:
        return "no display";
    }
    return "";
}

const char* verdictKey(Verdict verdict) {
    switch (verdict) {
    case Verdict::WontShow:
        return "wont-show";
    case Verdict::NoDisplay:
        return "no-display";
    default:
        return verdictText(verdict);
    }
}

const char* encodingName(Encoding encoding) {
    switch (encoding) {
    case Encoding::Rgb:
        return "RGB";
    case Encoding::Ycc422:
        return "YCbCr 4:2:2";
    case Encoding::Ycc444:
        return "YCbCr 4:4:4";
    case Encoding::Ycc420:
        return "YCbCr 4:2:0";
    }
    return "";
}

const char* colorimetryName(Colorimetry colorimetry) {
    switch (colorimetry) {
    case Colorimetry::None:
        return "no colorimetry";
    case Colorimetry::Bt601:
        return "BT.601";
    case Colorimetry::Bt709:
        return "BT.709";
    case Colorimetry::Bt2020Rgb:
        return "BT.2020 RGB";
    case Colorimetry::Bt2020Ycc:
        return "BT.2020 YCbCr";
    case Colorimetry::Bt2020cYcc:
        return "BT.2020 constant-luminance YCbCr";
    case Colorimetry::XvYcc601:
        return "xvYCC 601";
    case Colorimetry::XvYcc709:
        return "xvYCC 709";
    case Colorimetry::SYcc601:
        return "sYCC 601";
    case Colorimetry::OpYcc601:
        return "opYCC 601";
    case Colorimetry::OpRgb:
        return "opRGB";
    case Colorimetry::Other:
        return "a reserved colorimetry";
    }
    return "";
}

const char* eotfName(Eotf eotf) {
    switch (eotf) {
    case Eotf::None:
        return "no HDR InfoFrame";
    case Eotf::Sdr:
        return "SDR";
    case Eotf::HdrGamma:
        return "HDR gamma";
    case Eotf::Pq:
        return "SMPTE ST 2084";
    case Eotf::Hlg:
        return "HLG";
    }
    return "";
}

Input inputFromStatus(const std::uint8_t* inputReply, const std::uint8_t* productReply,
                      const std::uint8_t* hdrReply) {
    const StatusReply input(inputReply, kReplyBufferSize);
    const StatusFields f = statusFields(input, StatusReply(productReply, kReplyBufferSize),
                                        StatusReply(hdrReply, kReplyBufferSize));
    const InputStatusCodes c = inputStatusCodes(input);
    Input in;
    in.statusCode = c.formatCode;
    in.vic = c.formatCode;
    if (c.hdmiVic >= 1 && c.hdmiVic <= 4)
        in.vic = kHdmiVicCodes[c.hdmiVic - 1];
    in.formatName = edid::vicName(in.vic);
    in.hdmi = c.hdmi;
    in.linkMode = c.linkMode;
    in.txA = c.txA;
    in.txB = c.txB;
    in.vendor = f.vendor;
    in.product = f.product;
    if (!in.hdmi)
        return in; // no InfoFrames: what the bytes hold is left over, not sent
    in.encoding = encodingOf(c.colourSpace);
    in.colorimetry = colorimetryOf(c, in.encoding);
    if (!f.hdrInfoFrame.empty()) {
        switch (f.hdrInfoFrame[0] & 0x07) {
        case 0:
            in.eotf = Eotf::Sdr;
            break;
        case 1:
            in.eotf = Eotf::HdrGamma;
            break;
        case 2:
            in.eotf = Eotf::Pq;
            break;
        case 3:
            in.eotf = Eotf::Hlg;
            break;
        default:
            break;
        }
        in.maxCll = le16(f.hdrInfoFrame, kPayloadMaxCll);
        in.maxFall = le16(f.hdrInfoFrame, kPayloadMaxFall);
    }
    return in;
}

bool chainFine(const ChainReport& report) {
    for (const OutputReport& o : report.outputs)
        if (o.verdict == Verdict::Degraded || o.verdict == Verdict::WontShow ||
            o.verdict == Verdict::NoDisplay)
            return false;
    return true;
}

} // namespace chain
