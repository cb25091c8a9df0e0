#pragma once

#include <cstdint>
#include <span>

namespace decode {

// How a message is addressed: to one device, to all, or either way.
enum class CecAddressing : std::uint8_t { Directed, Broadcast, Either };

// Which operand decoder a message's operands go through.
enum class CecOperandKind : std::uint8_t {
    None,
    Raw,
    FeatureAbort,
    PhysicalAddress,
    RoutingChange,
    ReportPhysicalAddress,
    VendorId,
    VendorCommandWithId,
    Text,
    OsdString,
    UserControl,
    PowerStatus,
    MenuRequest,
    MenuState,
    DeckControl,
    DeckInfo,
    StatusRequest,
    PlayMode,
    CecVersion,
    MenuLanguage,
    AudioStatus,
    SystemAudioStatus,
    AudioRate,
    RecordStatus,
    TimerClearedStatus,
    ReportFeatures,
    AudioVolumeLevel,
    ReportCurrentLatency,
    ShortAudioDescriptors,
    AudioFormatRequest,
};

struct CecOpcode {
    std::uint8_t code;
    const char* name;
    CecAddressing addressing;
    std::uint8_t minOperands; // operand bytes after the opcode
    std::uint8_t maxOperands;
    CecOperandKind operands;
};

// Every message of HDMI-CEC 1.4b and 2.0, by opcode.
std::span<const CecOpcode> cecOpcodes();
const CecOpcode* findCecOpcode(std::uint8_t code);

// "TV", "Recording Device 1", ..., "Broadcast" (as destination) or
// "Unregistered" (as initiator) for 15.
const char* cecLogicalAddressName(unsigned address, bool asDestination);

} // namespace decode
