#include "session/ChainRead.h"

#include "link/UsbLink.h"
#include "session/EdidTransfer.h"
#include "session/Readback.h"

#include <algorithm>

namespace session {

namespace {

// A display that is not there leaves the staged table blank.
bool blank(const EdidImage& image) {
    return std::all_of(image.begin(), image.end(), [](std::uint8_t b) { return b == 0x00; }) ||
           std::all_of(image.begin(), image.end(), [](std::uint8_t b) { return b == 0xFF; });
}

// False when the device went silent during the read.
bool readDisplay(Reporter& reporter, EdidSource source, chain::Display* display) {
    const SilenceWatch watch;
    const EdidReadResult read = readEdid(reporter, stageCommand(source));
    if (!read.staged || !read.complete) {
        display->state = chain::DisplayState::ReadFailed;
        display->edid.clear();
        // A refused staging request was said already, with its cause; after
        // it the last transaction is a chunk read that tells nothing.
        if (read.staged)
            reporter.status(Level::Error,
                            source == EdidSource::Top
                                ? "The EDID of the display on TOP could not be read"
                                : "The EDID of the display on BOT could not be read",
                            kErrorMs);
        return !watch.deviceSilent();
    }
    if (blank(read.image)) {
        display->state = chain::DisplayState::NoDisplay;
        display->edid.clear();
    } else {
        display->state = chain::DisplayState::Read;
        display->edid.assign(read.image.begin(), read.image.end());
    }
    return true;
}

} // namespace

ChainRead readChainData(Reporter& reporter, chain::ChainData* data, bool readDisplays) {
    StatusReplies replies;
    if (!readStatus(reporter, &replies))
        return ChainRead::Failed;
    return readChainData(reporter, replies, data, readDisplays);
}

ChainRead readChainData(Reporter& reporter, const StatusReplies& status, chain::ChainData* data,
                        bool readDisplays) {
    data->input = chain::inputFromStatus(status.input, status.product, status.hdr);

    std::uint8_t block[kSettingsBlockSize] = {};
    switch (readSettingsBlock(reporter, block)) {
    case BlockRead::Failed:
        return ChainRead::Failed;
    case BlockRead::Busy: // the block is not to be trusted while the device builds its EDID
        data->settingsKnown = false;
        break;
    case BlockRead::Ok:
        data->settingsKnown = true;
        std::copy_n(block, kSettingsBlockSize, data->settings.begin());
        break;
    }

    if (!readDisplays)
        return ChainRead::Ok;
    if (!readDisplay(reporter, EdidSource::Top, &data->displays[0])) {
        data->displays[1] = {chain::DisplayState::ReadFailed, {}};
        return ChainRead::Ok;
    }
    readDisplay(reporter, EdidSource::Bottom, &data->displays[1]);
    return ChainRead::Ok;
}

} // namespace session
