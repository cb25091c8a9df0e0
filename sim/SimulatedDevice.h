#pragma once

#include "link/AppState.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

using EdidImage = std::array<std::uint8_t, 256>;

// What one input's source sends, as the device would capture it.
struct SimSource {
    std::uint8_t videoFormat = 0; // CTA-861 video format code
    bool hdmi = true;
    std::uint8_t linkMode = 0;   // 1: 4:2:0 10-bit, 2: 600 MHz
    std::uint8_t aviByte1 = 0;   // colour space in bits 5-6
    std::uint8_t aviByte2 = 0;   // colorimetry in bits 6-7
    std::uint8_t aviByte3 = 0;   // extended colorimetry in bits 4-6
    std::uint8_t hdmiVsByte = 0; // 4K format or 3D structure
    std::uint8_t hdmiVideoFormat = 0;
    std::string vendor;                     // up to 8 characters
    std::string product;                    // up to 16 characters
    std::vector<std::uint8_t> hdrInfoFrame; // payload; empty: the source sends none
};

enum class SimEncoding : std::uint8_t { Rgb, Ycc422, Ycc444, Ycc420 }; // AVI Y1 Y0
enum class SimColorimetry { None, Bt601, Bt709, Bt2020Rgb, Bt2020Ycc };
// None: no HDR InfoFrame; the others its EOTF (traditional gamma SDR and HDR,
// SMPTE ST 2084, HLG).
enum class SimEotf { None, Sdr, HdrGamma, Pq, Hlg };

// A source a state file stages in place of the one the status registers
// describe. Each value left out is the default source's (makeHdrSource()).
struct SimStagedInput {
    std::optional<std::uint8_t> vic;
    std::optional<bool> hdmi;
    std::optional<SimEncoding> encoding;
    std::optional<std::uint8_t> linkMode; // 0 none, 1 4:2:0 10-bit, 2 600 MHz
    std::optional<std::uint8_t> outputs;  // TX A (TOP) 0x20, TX B (BOT) 0x40
    std::optional<SimColorimetry> colorimetry;
    std::optional<SimEotf> eotf;
    std::optional<std::uint16_t> maxCll; // cd/m2, in the HDR InfoFrame
    std::optional<std::uint16_t> maxFall;
    std::optional<std::string> vendor;
    std::optional<std::string> product;
};

// The default source with the staged values put over it.
SimSource stagedSource(const SimStagedInput& input);

// A model of the KORVANTA device: keeps its settings, registers, EDIDs, stored
// CEC commands and InfoFrames, and answers each request the way the program
// relies on. No real time passes inside it.
class SimulatedDevice {
public:
    SimulatedDevice();

    // Handles one request; an empty result means the device stays silent.
    std::vector<std::uint8_t> handle(const std::uint8_t* request, int length);

    // --- state, open to tests ---
    std::array<std::uint8_t, kSettingsBlockSize> settings{};
    std::array<std::uint8_t, 4> firmware{1, 9, 0, 3};
    std::array<std::uint8_t, 31> customHdr{};
    std::array<std::uint8_t, 13> customAvi{};
    EdidImage ownEdid{};
    EdidImage customEdid{};
    bool hasCustomEdid = false;
    EdidImage displayEdid[2]{}; // outputs TOP and BOT
    // Unplugged: staging its EDID still succeeds and reads back zeros.
    bool displayConnected[2] = {true, true};
    SimSource sources[2]; // inputs A and B

    // What a state file staged, kept so that saving writes it back. A staged
    // input replaces what the status registers describe; a staged display
    // is in displayEdid and displayConnected, and this keeps its length
    // (128 or 256) or 0 for "no display".
    std::optional<SimStagedInput> stagedInput;
    std::optional<int> stagedDisplayBytes[2];
    std::optional<std::string> stateDescription;
    std::vector<std::uint8_t> lastCecMessage;
    std::string storedCec[2]; // SP and LP buttons, as sent ("CEC ...\r")
    int cecSendCount = 0;
    int populateCount = 0;
    std::uint8_t lastPopulateFlag = 0;

    // How many values reads report busy after each kind of event.
    int busyAfterEdidModeChange = 2;
    int busyAfterStage = 1;
    int busyAfterCommit = 1;
    int busyReads = 0; // values reads that still report busy

    // --- misbehaviour knobs ---
    bool silent = false;   // no reply at all
    int shortReply = -1;   // >= 0: cut every reply to this many bytes
    bool wrongAck = false; // acknowledge byte off by one
    int stickyBusy = 0;    // > 0: busy bit stays set for this many more reads
    // Requests with these command codes, and reads of this register, are
    // refused (wrong acknowledge byte) and change nothing.
    std::set<std::uint8_t> refusedCommands;
    int refusedRegister = -1;

    // Called after each request that changed what the device keeps when it is
    // switched off (settings, EDIDs, stored CEC commands and InfoFrames).
    std::function<void(const SimulatedDevice&)> onStoredStateChange;
    // Called when a host opens the device: what it keeps may have changed
    // meanwhile, in another program's simulator of the same unit.
    std::function<void(SimulatedDevice&)> onOpen;

    // Every request the device saw, in order (while logRequests is set).
    bool logRequests = true;
    std::vector<std::vector<std::uint8_t>> requests;

    void factoryReset(int what);
    void restoreDefaultSettings();
    const EdidImage& stagedEdid() const { return staged_; }

    // Register contents as the device reports them (data from reply position 2).
    std::vector<std::uint8_t> registerData(int reg) const;

private:
    bool isRefused(const std::uint8_t* request, int length) const;
    static bool changesStoredState(const std::uint8_t* request, int length);
    std::vector<std::uint8_t> dispatch(const std::uint8_t* request, int length);
    std::vector<std::uint8_t> valuesReply(int length);
    std::vector<std::uint8_t> registerReply(int reg, int length) const;
    void applySetting(int index, std::uint8_t value);
    const EdidImage& currentDeviceEdid() const;
    int activeSourceFor(int output) const;

    EdidImage staged_{};
    EdidImage pendingWrite_{};
};

// EDIDs made by our own code: valid headers and checksums.
EdidImage makeDeviceEdid();
EdidImage makeDisplayEdid(int output);
void fixEdidChecksums(EdidImage& edid);

// Status register contents built from the sources behind the outputs.
std::vector<std::uint8_t> buildInputStatusRegister(const SimSource& source, std::uint8_t outputs);
std::vector<std::uint8_t> buildSourceProductRegister(const SimSource& source);
std::vector<std::uint8_t> buildSourceHdrRegister(const SimSource& source);
SimSource makeHdrSource();
SimSource makeSdrSource();
