#pragma once

#include "link/AppState.h"
#include "link/UsbLink.h"
#include "session/Reporter.h"

#include <cstdint>
#include <string>

// The periodic reads: the settings block and the status registers.
namespace session {

constexpr std::uint8_t kInputStatusReadbackLength = 14;
constexpr std::uint8_t kInputStatusLength = 15;
constexpr std::uint8_t kStatusRegisterLength = 31;

enum class BlockRead { Ok, Busy, Failed };

// The values block and the input status, as the readback reads them; on Ok
// `block` holds the 40 setting bytes. Busy: the device is building its EDID
// and its block is not to be trusted. A values read with no reply at all
// fails at once, without the input status read.
BlockRead readSettingsBlock(Reporter& reporter, std::uint8_t* block);

struct StatusReplies {
    std::uint8_t input[kReplyBufferSize] = {};   // register 6
    std::uint8_t product[kReplyBufferSize] = {}; // register 21
    std::uint8_t hdr[kReplyBufferSize] = {};     // register 30
    std::uint8_t last[kReplyBufferSize] = {};    // register 31
};

// Reads the four status registers. Only the last read decides the result;
// a read with no reply at all ends them, false.
bool readStatus(Reporter& reporter, StatusReplies* replies);

// The header's lines, from the replies.
struct StatusHeader {
    std::string videoFormat;
    std::string colour;
    std::string source;
    std::string hdrInput;
    std::string infoFrame; // the captured HDR InfoFrame as colon-hex; empty: none
};
StatusHeader statusHeader(const StatusReplies& replies);

} // namespace session
