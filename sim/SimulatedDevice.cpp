#include "sim/SimulatedDevice.h"

#include "link/Protocol.h"
#include "settings/SettingsMap.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint8_t kNoAck = proto::kRefused; // never a command code
constexpr std::uint8_t kTxTop = 0x20, kTxBot = 0x40;

// A typical HDR10 mastering InfoFrame, header and checksum included.
constexpr std::uint8_t kDefaultHdrInfoFrame[] = {
    0x87, 0x01, 0x1A, 0x74, 0x02, 0x00, 0xC2, 0x33, 0xC4, 0x86, 0x4C, 0x1D, 0xB8, 0x0B, 0xD0,
    0x84, 0x80, 0x3E, 0x13, 0x3D, 0x42, 0x40, 0xE8, 0x03, 0x32, 0x00, 0xE8, 0x03, 0x90, 0x01};
// AVI data bytes 1..5 for YCbCr 4:2:0 with BT.2020 colorimetry.
constexpr std::uint8_t kDefaultAvi[] = {0x60, 0xC8, 0x60, 0x61, 0x00};

} // namespace

SimulatedDevice::SimulatedDevice() {
    restoreDefaultSettings();
    std::copy(std::begin(kDefaultHdrInfoFrame), std::end(kDefaultHdrInfoFrame), customHdr.begin());
    std::copy(std::begin(kDefaultAvi), std::end(kDefaultAvi), customAvi.begin());
    ownEdid = makeDeviceEdid();
    displayEdid[0] = makeDisplayEdid(0);
    displayEdid[1] = makeDisplayEdid(1);
    customEdid = ownEdid;
    sources[0] = makeHdrSource();
    sources[1] = makeSdrSource();
}

void SimulatedDevice::restoreDefaultSettings() {
    settings.fill(0);
    settings[0] = 1; // PORT A
    settings[1] = 1; // audio from HDMI
    settings[2] = 1; // automix EDID
    settings[3] = 3; // HDCP 2.2
    settings[5] = 1; // CEC processing on
    settings[6] = 1; // auto switch on
    settings[settings::kPosEdidChoiceOffered] = 1;
    settings[settings::kPosHdcpChoiceOffered] = 1;
    settings[settings::kPosAudioChoiceOffered] = 1;
    settings[16] = 1; // HDR in EDID
    settings[26] = 1; // green LED
    settings[27] = 1; // blue LEDs
    settings[29] = 1; // YCbCr in EDID
}

void SimulatedDevice::factoryReset(int what) {
    if (what == settings::kResetEdidOnly || what == settings::kResetBoth) {
        hasCustomEdid = false;
        customEdid = ownEdid;
    }
    if (what == settings::kResetSettingsOnly || what == settings::kResetBoth)
        restoreDefaultSettings();
    busyReads = std::max(busyReads, busyAfterEdidModeChange);
}

std::vector<std::uint8_t> SimulatedDevice::handle(const std::uint8_t* request, int length) {
    if (logRequests)
        requests.emplace_back(request, request + std::max(length, 0));
    if (silent)
        return {};
    if (isRefused(request, length))
        return {kNoAck, 0x01};
    std::vector<std::uint8_t> reply = dispatch(request, length);
    const bool accepted = !reply.empty() && reply[0] != kNoAck;
    if (accepted && onStoredStateChange && changesStoredState(request, length))
        onStoredStateChange(*this);
    const bool isEdidData =
        length >= 3 && request[0] == proto::kDirRead && request[2] == proto::kCmdEdidChunk;
    if (wrongAck && !reply.empty() && !isEdidData)
        reply[0] = static_cast<std::uint8_t>(reply[0] + 1);
    if (shortReply >= 0 && static_cast<int>(reply.size()) > shortReply)
        reply.resize(static_cast<std::size_t>(shortReply));
    return reply;
}

bool SimulatedDevice::isRefused(const std::uint8_t* request, int length) const {
    if (length < 3)
        return false;
    if (refusedCommands.count(request[2]))
        return true;
    return length >= 4 && request[0] == proto::kDirRead && request[2] == proto::kCmdConfig &&
           request[3] == refusedRegister;
}

bool SimulatedDevice::changesStoredState(const std::uint8_t* request, int length) {
    if (length < 3 || request[0] != proto::kDirWrite)
        return false;
    switch (request[2]) {
    case proto::kCmdConfig:
    case proto::kCmdSettingsBlock:
    case proto::kCmdEdidCommit:
    case proto::kCmdStoreCecSp:
    case proto::kCmdStoreCecLp:
    case proto::kCmdHdrInfoFrame:
    case proto::kCmdAviInfoFrame:
        return true;
    default:
        return false;
    }
}

std::vector<std::uint8_t> SimulatedDevice::dispatch(const std::uint8_t* request, int length) {
    if (length < 3)
        return {kNoAck, 0x01};
    const std::uint8_t dir = request[0];
    const std::uint8_t len = request[1];
    const std::uint8_t cmd = request[2];
    const std::uint8_t* args = request + 3;
    const int argc = length - 3;
    const std::vector<std::uint8_t> ok = {cmd, 0x00};

    if (dir == proto::kDirRead) {
        switch (cmd) {
        case proto::kCmdConfig:
            if (argc < 1)
                break;
            return registerReply(args[0], len);
        case proto::kCmdValues:
            return valuesReply(len);
        case proto::kCmdEdidChunk: {
            if (argc < 1)
                break;
            std::vector<std::uint8_t> data(16);
            for (int i = 0; i < 16; ++i)
                data[static_cast<std::size_t>(i)] = staged_[(args[0] + i) & 0xFF];
            return data;
        }
        default:
            break;
        }
        return {kNoAck, 0x01};
    }
    if (dir != proto::kDirWrite)
        return {kNoAck, 0x01};

    switch (cmd) {
    case proto::kCmdConfig:
        if (argc < 2)
            break;
        applySetting(args[0], args[1]);
        return ok;
    case proto::kCmdSettingsBlock:
        if (argc < kSettingsBlockSize)
            break;
        std::copy(args, args + kSettingsBlockSize, settings.begin());
        return ok;
    case proto::kCmdStageDeviceEdid:
        staged_ = currentDeviceEdid();
        busyReads = std::max(busyReads, busyAfterStage);
        return ok;
    case proto::kCmdStageTopEdid:
    case proto::kCmdStageBotEdid: {
        const int output = cmd == proto::kCmdStageTopEdid ? 0 : 1;
        if (displayConnected[output])
            staged_ = displayEdid[output];
        else
            staged_.fill(0);
        busyReads = std::max(busyReads, busyAfterStage);
        return ok;
    }
    case proto::kCmdEdidChunk:
        if (argc < 9)
            break;
        for (int i = 0; i < 8; ++i)
            pendingWrite_[(args[0] + i) & 0xFF] = args[1 + i];
        return ok;
    case proto::kCmdEdidCommit:
        customEdid = pendingWrite_;
        hasCustomEdid = true;
        busyReads = std::max(busyReads, busyAfterCommit);
        return ok;
    case proto::kCmdCecSend:
        if (argc < 2)
            break;
        lastCecMessage.assign(args, args + argc);
        ++cecSendCount;
        return ok;
    case proto::kCmdPopulate:
        if (argc < 1)
            break;
        ++populateCount;
        lastPopulateFlag = args[0];
        return ok;
    case proto::kCmdStoreCecSp:
    case proto::kCmdStoreCecLp:
        storedCec[cmd == proto::kCmdStoreCecSp ? 0 : 1].assign(args, args + argc);
        return ok;
    case proto::kCmdHdrInfoFrame:
        customHdr.fill(0);
        std::copy(args, args + std::min<int>(argc, 31), customHdr.begin());
        return ok;
    case proto::kCmdAviInfoFrame:
        customAvi.fill(0);
        std::copy(args, args + std::min<int>(argc, 13), customAvi.begin());
        return ok;
    default:
        break;
    }
    return {kNoAck, 0x01};
}

std::vector<std::uint8_t> SimulatedDevice::valuesReply(int length) {
    std::vector<std::uint8_t> reply(static_cast<std::size_t>(std::max(length, 2)), 0);
    reply[0] = proto::kCmdValues;
    bool busy = false;
    if (stickyBusy > 0) {
        --stickyBusy;
        busy = true;
    } else if (busyReads > 0) {
        --busyReads;
        busy = true;
    }
    reply[1] = busy ? proto::kStatusBusyBit : 0;
    for (int i = 0; i < kSettingsBlockSize && 2 + i < static_cast<int>(reply.size()); ++i)
        reply[static_cast<std::size_t>(2 + i)] = settings[static_cast<std::size_t>(i)];
    return reply;
}

std::vector<std::uint8_t> SimulatedDevice::registerReply(int reg, int length) const {
    std::vector<std::uint8_t> reply(static_cast<std::size_t>(std::max(length, 2)), 0);
    reply[0] = proto::kCmdConfig;
    const std::vector<std::uint8_t> data = registerData(reg);
    for (std::size_t i = 0; i < data.size() && 2 + i < reply.size(); ++i)
        reply[2 + i] = data[i];
    return reply;
}

int SimulatedDevice::activeSourceFor(int output) const {
    switch (settings[0]) {
    case 1:
        return 0; // PORT A to both outputs
    case 2:
        return 1; // PORT B to both outputs
    case 3:
        return output; // matrix straight through
    case 4:
        return 1 - output; // matrix crossed
    default:
        return 0;
    }
}

std::vector<std::uint8_t> SimulatedDevice::registerData(int reg) const {
    // The status registers describe what goes out on TOP, or on BOT when
    // only that display is there; a staged input takes that source's place.
    const int output = displayConnected[0] || !displayConnected[1] ? 0 : 1;
    const SimSource source =
        stagedInput ? stagedSource(*stagedInput) : sources[activeSourceFor(output)];
    switch (reg) {
    case proto::kRegInputStatus: {
        std::uint8_t outputs = 0;
        if (displayConnected[0])
            outputs |= kTxTop;
        if (displayConnected[1])
            outputs |= kTxBot;
        if (stagedInput && stagedInput->outputs)
            outputs = *stagedInput->outputs;
        return buildInputStatusRegister(source, outputs);
    }
    case proto::kRegFirmware:
        return {firmware[0], firmware[1], firmware[2], firmware[3], 0, 0};
    case proto::kRegSourceProduct:
        return buildSourceProductRegister(source);
    case proto::kRegSourceHdr:
        return buildSourceHdrRegister(source);
    case proto::kRegStatus31:
        return std::vector<std::uint8_t>(29, 0);
    case proto::kRegCustomHdr:
        return {customHdr.begin(), customHdr.end()};
    case proto::kRegCustomAvi:
        return {customAvi.begin(), customAvi.end()};
    default:
        return {};
    }
}

void SimulatedDevice::applySetting(int index, std::uint8_t value) {
    if (index == settings::kFactoryReset) {
        factoryReset(value);
        return;
    }
    const int position = settings::blockPosition(index);
    if (position < 0)
        return;
    const bool changed = settings[static_cast<std::size_t>(position)] != value;
    settings[static_cast<std::size_t>(position)] = value;
    // The device rebuilds its EDID after anything that shapes it.
    if (index == settings::kEdidMode || (changed && index == settings::kEdidPreset))
        busyReads = std::max(busyReads, busyAfterEdidModeChange);
}

const EdidImage& SimulatedDevice::currentDeviceEdid() const {
    if (settings[2] == 3 && hasCustomEdid)
        return customEdid;
    return ownEdid;
}
