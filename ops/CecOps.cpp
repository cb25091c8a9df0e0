#include "ops/CecOps.h"

#include "decode/ColonHexInput.h"
#include "decode/Decoded.h"
#include "decode/InfoFrameDecode.h"
#include "link/Protocol.h"
#include "ops/SettingsOps.h"
#include "session/DeviceOps.h"
#include "settings/SettingsMap.h"

#include <QByteArray>
#include <QString>

namespace ops {

namespace {

constexpr std::uint8_t kHdrType = 0x87, kHdrVersion = 0x01;
constexpr std::size_t kLongestHdrFrame = 31;

std::string colonHex(const std::vector<std::uint8_t>& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()))
        .toHex(':')
        .toStdString();
}

// Bytes without the HDR header (the payload `status` shows) get the whole
// frame they would need as a hint.
std::string wholeHdrFrameHint(const std::string& text) {
    const std::vector<std::uint8_t> bytes = decode::readColonHexInput(text).bytes;
    if (bytes.empty() || bytes[0] == kHdrType || bytes.size() + 4 > kLongestHdrFrame)
        return {};
    std::vector<std::uint8_t> frame{kHdrType, kHdrVersion, std::uint8_t(bytes.size()), 0};
    frame.insert(frame.end(), bytes.begin(), bytes.end());
    unsigned sum = 0;
    for (std::uint8_t b : frame)
        sum += b;
    frame[3] = std::uint8_t(-sum & 0xFF);
    return "\nIf these are the frame's data bytes, the whole frame is:\n  " + colonHex(frame);
}

// A frame is decoded before it is sent; one with problems goes out only forced.
Error frameAccepted(bool hdr, const InfoFrameParams& params, Reporter& reporter) {
    const decode::Decoded d =
        hdr ? decode::decodeHdrInfoFrameText(params.text) : decode::decodeAviText(params.text);
    if (d.problems.empty() || params.force)
        return {};
    std::string said = std::string(hdr ? "the HDR" : "the AVI") + " InfoFrame has " +
                       std::to_string(d.problems.size()) +
                       (d.problems.size() == 1 ? " problem" : " problems") +
                       "; nothing was sent (--force sends it anyway):";
    for (const std::string& problem : d.problems)
        said += "\n  " + problem;
    if (hdr)
        said += wholeHdrFrameHint(params.text);
    return reporter.usage(said);
}

// Runs one flow on the device once its text passed; any error it reported
// fails the operation.
template <typename Flow>
SentResult sent(session::Field field, const std::string& text, Device& device, Reporter& reporter,
                Flow flow) {
    SentResult r;
    if ((r.error = fieldAccepted(field, text, reporter)) || (r.error = device.open(reporter)))
        return r;
    const int errorsBefore = reporter.errors;
    if (!flow() || reporter.errors != errorsBefore) {
        r.error = reporter.deviceError();
        if (!r.error)
            r.error.code = ErrorCode::device;
        return r;
    }
    r.sent = text;
    r.said = reporter.lastText;
    return r;
}

bool writeReplaceAvi(const std::string& persist, Reporter& reporter) {
    const settings::Setting* s = settings::byIndex(settings::kReplaceAvi);
    int value = 0;
    if (persist.empty()) {
        SettingsBlock block{};
        if (!readSettingsBlock(reporter, block.data()))
            return false;
        value = block[s->position];
    } else {
        settings::parseValue(*s, persist, &value);
    }
    return session::writeSetting(reporter, settings::kReplaceAvi, value);
}

} // namespace

Error fieldAccepted(session::Field field, const std::string& text, Reporter& reporter) {
    const decode::ColonHexInput read = decode::readColonHexInput(text);
    if (!read.problem.empty())
        return reporter.usage("\"" + text + "\" is not colon-hex: " + read.problem +
                              "; expected two hex digits a byte with \":\" between them, e.g. "
                              "40:04");
    if (const char* error = session::fieldError(field, QString::fromStdString(text)))
        return reporter.usage(std::string(error) +
                              " (bytes as two hex digits joined by \":\", e.g. 50:04)");
    return {};
}

SentResult cecSend(const CecSendParams& params, Device& device, Reporter& reporter) {
    return sent(session::Field::CecSend, params.text, device, reporter, [&] {
        return session::sendCecCommand(reporter, QString::fromStdString(params.text));
    });
}

SentResult cecStore(const CecStoreParams& params, Device& device, Reporter& reporter) {
    const std::uint8_t command =
        params.button == "sp" ? proto::kCmdStoreCecSp : proto::kCmdStoreCecLp;
    return sent(session::Field::CecStore, params.text, device, reporter, [&] {
        return session::storeCecCommand(reporter, command, QString::fromStdString(params.text));
    });
}

SentResult infoFrameHdr(const InfoFrameParams& params, Device& device, Reporter& reporter) {
    SentResult r;
    if ((r.error = fieldAccepted(session::Field::HdrInfoFrame, params.text, reporter)) ||
        (r.error = frameAccepted(true, params, reporter)))
        return r;
    return sent(session::Field::HdrInfoFrame, params.text, device, reporter, [&] {
        return session::sendHdrInfoFrame(reporter, QString::fromStdString(params.text));
    });
}

SentResult infoFrameAvi(const InfoFrameParams& params, Device& device, Reporter& reporter) {
    SentResult r;
    if ((r.error = fieldAccepted(session::Field::AviInfoFrame, params.text, reporter)) ||
        (r.error = frameAccepted(false, params, reporter)))
        return r;
    return sent(session::Field::AviInfoFrame, params.text, device, reporter, [&] {
        return session::sendAviInfoFrame(reporter, QString::fromStdString(params.text)) &&
               writeReplaceAvi(params.persist, reporter);
    });
}

} // namespace ops
