// cec send / store and infoframe hdr / avi: the buttons' requests.
#include "cli/Commands.h"
#include "cli/EdidWrite.h"

#include "decode/ColonHexInput.h"
#include "decode/Decoded.h"
#include "decode/InfoFrameDecode.h"
#include "link/Protocol.h"
#include "session/CecSession.h"
#include "session/DeviceOps.h"
#include "settings/SettingsMap.h"

#include <CLI/CLI.hpp>

#include <memory>

namespace cli {

namespace {

constexpr std::uint8_t kHdrType = 0x87, kHdrVersion = 0x01;
constexpr std::size_t kLongestHdrFrame = 31;

std::string colonHex(const std::vector<std::uint8_t>& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()))
        .toHex(':')
        .toStdString();
}

// The field's own check, before the device is opened. The command line reads
// colon-hex strictly: "0x0f,0x36" must not reach the device as something else.
bool fieldAccepted(session::Field field, const std::string& text) {
    const decode::ColonHexInput read = decode::readColonHexInput(text);
    if (!read.problem.empty()) {
        complain("\"" + text + "\" is not colon-hex: " + read.problem +
                 "; expected two hex digits a byte with \":\" between them, e.g. 40:04");
        return false;
    }
    if (const char* error = session::fieldError(field, QString::fromStdString(text))) {
        complain(std::string(error) + " (bytes as two hex digits joined by \":\", e.g. 50:04)");
        return false;
    }
    return true;
}

// Runs one flow on an open device; any error it reported fails the command.
template <typename Flow>
int runFlow(const GlobalOptions& options, session::Field field, const std::string& text,
            Output& out, Flow flow) {
    if (!fieldAccepted(field, text))
        return kUsage;
    DeviceSession session(options);
    if (const int code = session.open())
        return code;
    const bool ok = flow(session);
    if (!ok || session.reporter.errors)
        return kDeviceFailed;
    out.note(session.reporter.lastText);
    out.json["sent"] = QString::fromStdString(text);
    return kDone;
}

// A frame is decoded before it is sent; one with problems goes out only with
// --force. Bytes without the HDR header (the payload `status` shows) get the
// whole frame they would need as a hint.
bool frameAccepted(bool hdr, const std::string& text, bool force) {
    const decode::Decoded d =
        hdr ? decode::decodeHdrInfoFrameText(text) : decode::decodeAviText(text);
    if (d.problems.empty() || force)
        return true;
    std::string said = std::string(hdr ? "the HDR" : "the AVI") + " InfoFrame has " +
                       std::to_string(d.problems.size()) +
                       (d.problems.size() == 1 ? " problem" : " problems") +
                       "; nothing was sent (--force sends it anyway):";
    for (const std::string& problem : d.problems)
        said += "\n  " + problem;
    const std::vector<std::uint8_t> bytes = decode::readColonHexInput(text).bytes;
    if (hdr && !bytes.empty() && bytes[0] != kHdrType && bytes.size() + 4 <= kLongestHdrFrame) {
        std::vector<std::uint8_t> frame{kHdrType, kHdrVersion, std::uint8_t(bytes.size()), 0};
        frame.insert(frame.end(), bytes.begin(), bytes.end());
        unsigned sum = 0;
        for (std::uint8_t b : frame)
            sum += b;
        frame[3] = std::uint8_t(-sum & 0xFF);
        said += "\nIf these are the frame's data bytes, the whole frame is:\n  " + colonHex(frame);
    }
    complain(said);
    return false;
}

// After an AVI frame: the "replace AVI" setting, as asked, or as the device has it.
bool writeReplaceAvi(DeviceSession& session, const std::string& persist) {
    const settings::Setting* s = settings::byIndex(settings::kReplaceAvi);
    int value = 0;
    if (persist.empty()) {
        std::uint8_t block[kSettingsBlockSize] = {};
        if (!readSettingsBlock(session, block))
            return false;
        value = block[s->position];
    } else {
        settings::parseValue(*s, persist, &value);
    }
    return session::writeSetting(session.reporter, settings::kReplaceAvi, value);
}

} // namespace

int runCecSend(const GlobalOptions& options, const std::string& text, Output& out) {
    return runFlow(options, session::Field::CecSend, text, out, [&](DeviceSession& s) {
        return session::sendCecCommand(s.reporter, QString::fromStdString(text));
    });
}

int runCecStore(const GlobalOptions& options, const std::string& button, const std::string& text,
                Output& out) {
    const std::uint8_t command = button == "sp" ? proto::kCmdStoreCecSp : proto::kCmdStoreCecLp;
    return runFlow(options, session::Field::CecStore, text, out, [&](DeviceSession& s) {
        return session::storeCecCommand(s.reporter, command, QString::fromStdString(text));
    });
}

int runInfoFrameHdr(const GlobalOptions& options, const std::string& text, bool force,
                    Output& out) {
    if (!fieldAccepted(session::Field::HdrInfoFrame, text) || !frameAccepted(true, text, force))
        return kUsage;
    return runFlow(options, session::Field::HdrInfoFrame, text, out, [&](DeviceSession& s) {
        return session::sendHdrInfoFrame(s.reporter, QString::fromStdString(text));
    });
}

int runInfoFrameAvi(const GlobalOptions& options, const std::string& text,
                    const std::string& persist, bool force, Output& out) {
    if (!fieldAccepted(session::Field::AviInfoFrame, text) || !frameAccepted(false, text, force))
        return kUsage;
    return runFlow(options, session::Field::AviInfoFrame, text, out, [&](DeviceSession& s) {
        return session::sendAviInfoFrame(s.reporter, QString::fromStdString(text)) &&
               writeReplaceAvi(s, persist);
    });
}

void addCecCommands(CLI::App& app, GlobalOptions& options, Action* run) {
    struct Args {
        std::string text;
        std::string button;
        std::string persist;
        bool force = false;
    };
    auto a = std::make_shared<Args>();
    const auto textOption = [&a](CLI::App* sub, const char* what) {
        sub->add_option("TEXT", a->text, what)->required();
    };

    CLI::App* cec = app.add_subcommand("cec", "Send CEC messages and store them on the buttons");
    cec->require_subcommand(1);
    addCecDecodeCommand(*cec, options, run);
    CLI::App* send = cec->add_subcommand("send", "Send a CEC message through the device");
    textOption(send, "The message as colon-hex: header, opcode, operands (2 to 31 bytes), e.g. "
                     "50:04");
    send->callback([&options, a, run] {
        *run = [&options, a](Output& out) { return runCecSend(options, a->text, out); };
    });
    CLI::App* store =
        cec->add_subcommand("store", "Store a CEC message on the device's SP or LP button");
    store->add_option("BUTTON", a->button, "sp or lp")
        ->required()
        ->transform(CLI::IsMember({"sp", "lp"}, CLI::ignore_case));
    textOption(store, "The message as colon-hex (2 to 20 bytes)");
    store->callback([&options, a, run] {
        *run = [&options, a](Output& out) { return runCecStore(options, a->button, a->text, out); };
    });

    CLI::App* infoFrame = app.add_subcommand("infoframe", "Inject HDR and AVI InfoFrames");
    infoFrame->require_subcommand(1);
    addInfoFrameDecodeCommand(*infoFrame, options, run);
    CLI::App* hdr = infoFrame->add_subcommand("hdr", "Send an HDR InfoFrame to the output");
    textOption(hdr, "The whole frame as colon-hex (2 to 31 bytes): type 87, version, length, "
                    "checksum, data");
    hdr->add_flag("--force", a->force, "Send the frame even when its decode finds problems");
    hdr->callback([&options, a, run] {
        *run = [&options, a](Output& out) {
            return runInfoFrameHdr(options, a->text, a->force, out);
        };
    });
    CLI::App* avi = infoFrame->add_subcommand("avi", "Send an AVI InfoFrame to the output");
    textOption(avi, "The data bytes from byte 1 as colon-hex (2 to 13 bytes)");
    avi->add_option("--persist", a->persist,
                    "Keep replacing the source's AVI InfoFrame (default: as the device has it)")
        ->transform(CLI::IsMember({"on", "off"}, CLI::ignore_case));
    avi->add_flag("--force", a->force, "Send the frame even when its decode finds problems");
    avi->callback([&options, a, run] {
        *run = [&options, a](Output& out) {
            return runInfoFrameAvi(options, a->text, a->persist, a->force, out);
        };
    });
}

} // namespace cli
