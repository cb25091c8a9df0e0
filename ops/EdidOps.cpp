#include "ops/EdidOps.h"

#include "decode/Words.h"
#include "edid/DeviceImage.h"
#include "edid/EdidFile.h"
#include "edid/EdidPresets.h"
#include "edid/EdidRequests.h"
#include "link/DeviceHold.h"
#include "ops/SettingsOps.h"
#include "session/DeviceOps.h"
#include "settings/SettingsMap.h"

#include <QString>

namespace ops {

namespace {

// The differing offsets a mismatch names before it says "...".
constexpr int kOffsetsNamed = 16;

std::string lowered(const std::string& name) {
    return QString::fromStdString(name).toLower().toStdString();
}

// Says `text` as the failure of a step whose request went through.
Error failed(Reporter& reporter, const std::string& text) {
    reporter.complain(text);
    return reporter.deviceError();
}

std::string edidModeWord(int mode) {
    return settings::valueWord(*settings::byIndex(settings::kEdidMode), mode);
}

// The custom table only counts in custom mode with no preset chosen.
Error ensureCustomMode(bool switchToCustom, Reporter& reporter, bool* switched) {
    SettingsBlock block{};
    if (!readSettingsBlock(reporter, block.data()))
        return reporter.deviceError();
    const int mode = block[settings::blockPosition(settings::kEdidMode)];
    const int preset = block[settings::blockPosition(settings::kEdidPreset)];
    if (mode == kEdidModeCustom && preset == 0)
        return {};
    if (!switchToCustom)
        return reporter.usage(
            "the device is in " + edidModeWord(mode) + " EDID mode with preset " +
            std::to_string(preset) +
            "; an uploaded EDID is used only in custom mode with preset 0. Nothing was "
            "written; give --custom to switch first.");
    if ((mode != kEdidModeCustom &&
         !session::writeSetting(reporter, settings::kEdidMode, kEdidModeCustom)) ||
        (preset != 0 && !session::writeSetting(reporter, settings::kEdidPreset, 0)))
        return reporter.deviceError();
    *switched = true;
    if (!session::waitWhileBusy(reporter))
        return failed(reporter, "the device stayed busy after the switch to custom EDID mode");
    return {};
}

} // namespace

bool isEdidSourceName(const std::string& name) {
    const std::string n = lowered(name);
    return n == "device" || n == "top" || n == "bot";
}

session::EdidSource edidSourceNamed(const std::string& name) {
    const std::string n = lowered(name);
    if (n == "top")
        return session::EdidSource::Top;
    if (n == "bot")
        return session::EdidSource::Bottom;
    return session::EdidSource::Device;
}

Error presetEdid(const std::string& id, Reporter& reporter, std::vector<std::uint8_t>* bytes) {
    const edid::PresetBuild built = edid::buildPreset(QString::fromStdString(id));
    if (!built.ok)
        return reporter.usage("preset \"" + id + "\": " + built.message +
                              "; see korvanta edid preset list");
    *bytes = built.bytes;
    return {};
}

Error edidFitsDevice(std::size_t size, Reporter& reporter) {
    if (size <= std::size_t(kEdidSize))
        return {};
    return reporter.usage("the EDID is " + std::to_string(size) +
                          " bytes and the device's table holds " + std::to_string(kEdidSize) +
                          "; nothing was written (--force does not change that)");
}

std::vector<std::string> edidCheckFailures(const EdidImage& image) {
    std::vector<std::string> failures;
    for (const edid::Finding& f : edid::checkNamedBlocks(image))
        if (f.kind == edid::FindingKind::Failure)
            failures.push_back(f.text);
    return failures;
}

Error readEdidFrom(session::EdidSource source, Reporter& reporter, EdidImage* image) {
    const session::EdidReadResult read = session::readEdid(reporter, session::stageCommand(source));
    if (!read.staged)
        return reporter.deviceError();
    if (!read.complete) {
        const std::string cause = lastTransactionCause();
        return failed(reporter,
                      "the EDID was not read completely" + (cause.empty() ? "" : ": " + cause));
    }
    *image = read.image;
    return {};
}

EdidReadResult readEdid(const EdidReadParams& params, Device& device, Reporter& reporter) {
    EdidReadResult r;
    r.source = params.source;
    if ((r.error = device.open(reporter)))
        return r;
    r.error = readEdidFrom(edidSourceNamed(params.source), reporter, &r.edid);
    return r;
}

Error writeEdidTable(const EdidImage& image, bool verify, Reporter& reporter,
                     std::optional<EdidVerify>* verified) {
    if (!session::writeEdid(reporter, image))
        return reporter.deviceError();
    if (!verify)
        return {};
    if (!session::waitWhileBusy(reporter))
        return failed(reporter, "the device stayed busy after the EDID was committed");
    EdidImage back{};
    if (Error e = readEdidFrom(session::EdidSource::Device, reporter, &back))
        return e;
    EdidVerify v;
    std::string offsets;
    for (int i = 0; i < kEdidSize; ++i) {
        if (back[std::size_t(i)] == image[std::size_t(i)])
            continue;
        v.differingOffsets.push_back(i);
        if (v.differingOffsets.size() <= std::size_t(kOffsetsNamed))
            offsets += (offsets.empty() ? "" : ", ") + std::to_string(i);
    }
    *verified = v;
    if (v.verified())
        return {};
    const std::string text =
        "the device's EDID differs from what was written at " +
        decode::counted(qsizetype(v.differingOffsets.size()), "offset", "offsets") + ": " +
        offsets + (v.differingOffsets.size() > std::size_t(kOffsetsNamed) ? ", ..." : "");
    reporter.complain(text);
    return {ErrorCode::mismatch, text, {}};
}

EdidWriteResult writeEdid(const EdidWriteParams& params, Device& device, Reporter& reporter) {
    EdidWriteResult r;
    if (!edidChecksumsCorrect(params.image) && !params.force) {
        r.error = reporter.usage(
            "The EDID Checksum is not correct. Nothing was written; fix bytes 127 and 255, "
            "or give --force to write it anyway.");
        return r;
    }
    r.unreadBlocks = edid::namedBlocks(params.image).unread;
    r.checkFailures = edidCheckFailures(params.image);
    if (!r.checkFailures.empty()) {
        std::string said = params.force ? "writing despite the check's failures (--force):"
                                        : "the EDID fails the check; nothing was written (--force "
                                          "writes it anyway):";
        for (const std::string& f : r.checkFailures)
            said += "\n  " + f;
        if (!params.force) {
            r.error = reporter.usage(said);
            return r;
        }
        reporter.warn(said);
    }
    if ((r.error = device.open(reporter)))
        return r;
    // Nobody else's EDID or setting may land between the commit and the verify.
    const DeviceHold hold;
    if ((r.error = ensureCustomMode(params.custom, reporter, &r.switchedToCustom)))
        return r;
    EdidImage current{};
    if ((r.error = readEdidFrom(session::EdidSource::Device, reporter, &current)))
        return r;
    r.previous = current;
    if (params.beforeWrite && (r.error = params.beforeWrite(current)))
        return r;
    r.error = writeEdidTable(params.image, true, reporter, &r.verify);
    return r;
}

EdidCheckResult checkEdid(const EdidCheckParams& params) {
    EdidCheckResult r;
    const std::vector<std::uint8_t>& all = params.bytes;
    // A table of the device's size is checked as sinks read it: the blocks its
    // count names. A file only when it is meant for the device or merely padded.
    const edid::DeviceImage view = edid::namedBlocks(all);
    const bool asRead = all.size() <= std::size_t(kEdidSize) &&
                        (params.deviceImage || params.forDevice || view.unreadZeros);
    const std::span<const std::uint8_t> bytes = asRead ? view.named : std::span(all);
    r.findings = asRead ? edid::checkNamedBlocks(all, {params.forDevice})
                        : edid::checkEdid(all, {params.forDevice});
    r.reference = edid::referenceCheck(bytes);
    return r;
}

} // namespace ops
