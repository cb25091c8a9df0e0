// cec send / store and infoframe hdr / avi: the buttons' requests.
#include "cli/Commands.h"

#include "ops/OpsJson.h"

#include <CLI/CLI.hpp>

#include <memory>

namespace cli {

namespace {

// The flow's closing sentence as a confirmation; the message as JSON.
int printed(const ops::SentResult& r, Output& out) {
    if (!r.error)
        out.note(r.said);
    out.json = ops::toJson(r);
    return ops::exitCode(r.error);
}

} // namespace

int runCecSend(const GlobalOptions& options, const std::string& text, Output& out) {
    DeviceSession device(options);
    return printed(ops::cecSend({text}, device, device.reporter), out);
}

int runCecStore(const GlobalOptions& options, const std::string& button, const std::string& text,
                Output& out) {
    DeviceSession device(options);
    return printed(ops::cecStore({button, text}, device, device.reporter), out);
}

int runInfoFrameHdr(const GlobalOptions& options, const std::string& text, bool force,
                    Output& out) {
    DeviceSession device(options);
    return printed(ops::infoFrameHdr({text, force, {}}, device, device.reporter), out);
}

int runInfoFrameAvi(const GlobalOptions& options, const std::string& text,
                    const std::string& persist, bool force, Output& out) {
    DeviceSession device(options);
    return printed(ops::infoFrameAvi({text, force, persist}, device, device.reporter), out);
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
