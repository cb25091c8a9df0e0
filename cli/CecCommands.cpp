// cec send / store and infoframe hdr / avi: the buttons' requests.
#include "cli/EdidWrite.h"

#include "link/Protocol.h"
#include "session/CecSession.h"
#include "session/DeviceOps.h"
#include "settings/SettingsMap.h"

#include <CLI/CLI.hpp>

#include <memory>

namespace cli {

namespace {

// The field's own check, before the device is opened.
bool fieldAccepted(session::Field field, const std::string& text) {
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

void addCecCommands(CLI::App& app, GlobalOptions& options, Action* run) {
    struct Args {
        std::string text;
        std::string button;
        std::string persist;
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
        *run = [&options, a](Output& out) {
            return runFlow(options, session::Field::CecSend, a->text, out, [&](DeviceSession& s) {
                return session::sendCecCommand(s.reporter, QString::fromStdString(a->text));
            });
        };
    });
    CLI::App* store =
        cec->add_subcommand("store", "Store a CEC message on the device's SP or LP button");
    store->add_option("BUTTON", a->button, "sp or lp")
        ->required()
        ->check(CLI::IsMember({"sp", "lp"}));
    textOption(store, "The message as colon-hex (2 to 20 bytes)");
    store->callback([&options, a, run] {
        *run = [&options, a](Output& out) {
            const std::uint8_t command =
                a->button == "sp" ? proto::kCmdStoreCecSp : proto::kCmdStoreCecLp;
            return runFlow(options, session::Field::CecStore, a->text, out, [&](DeviceSession& s) {
                return session::storeCecCommand(s.reporter, command,
                                                QString::fromStdString(a->text));
            });
        };
    });

    CLI::App* infoFrame = app.add_subcommand("infoframe", "Inject HDR and AVI InfoFrames");
    infoFrame->require_subcommand(1);
    addInfoFrameDecodeCommand(*infoFrame, options, run);
    CLI::App* hdr = infoFrame->add_subcommand("hdr", "Send an HDR InfoFrame to the output");
    textOption(hdr, "The whole frame as colon-hex (2 to 31 bytes)");
    hdr->callback([&options, a, run] {
        *run = [&options, a](Output& out) {
            return runFlow(
                options, session::Field::HdrInfoFrame, a->text, out, [&](DeviceSession& s) {
                    return session::sendHdrInfoFrame(s.reporter, QString::fromStdString(a->text));
                });
        };
    });
    CLI::App* avi = infoFrame->add_subcommand("avi", "Send an AVI InfoFrame to the output");
    textOption(avi, "The data bytes from byte 1 as colon-hex (2 to 13 bytes)");
    avi->add_option("--persist", a->persist,
                    "Keep replacing the source's AVI InfoFrame (default: as the device has it)")
        ->check(CLI::IsMember({"on", "off"}));
    avi->callback([&options, a, run] {
        *run = [&options, a](Output& out) {
            return runFlow(
                options, session::Field::AviInfoFrame, a->text, out, [&](DeviceSession& s) {
                    return session::sendAviInfoFrame(s.reporter, QString::fromStdString(a->text)) &&
                           writeReplaceAvi(s, a->persist);
                });
        };
    });
}

} // namespace cli
