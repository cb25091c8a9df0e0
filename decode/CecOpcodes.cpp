#include "decode/CecOpcodes.h"

#include <array>

namespace decode {
namespace {

using A = CecAddressing;
using K = CecOperandKind;
constexpr std::uint8_t kMaxOperands = 14; // 16 blocks less header and opcode

constexpr CecOpcode kOpcodes[] = {
    {0x00, "Feature Abort", A::Directed, 2, 2, K::FeatureAbort},
    {0x04, "Image View On", A::Directed, 0, 0, K::None},
    {0x05, "Tuner Step Increment", A::Directed, 0, 0, K::None},
    {0x06, "Tuner Step Decrement", A::Directed, 0, 0, K::None},
    {0x07, "Tuner Device Status", A::Directed, 5, 8, K::Raw},
    {0x08, "Give Tuner Device Status", A::Directed, 1, 1, K::StatusRequest},
    {0x09, "Record On", A::Directed, 1, 8, K::Raw},
    {0x0A, "Record Status", A::Directed, 1, 1, K::RecordStatus},
    {0x0B, "Record Off", A::Directed, 0, 0, K::None},
    {0x0D, "Text View On", A::Directed, 0, 0, K::None},
    {0x0F, "Record TV Screen", A::Directed, 0, 0, K::None},
    {0x1A, "Give Deck Status", A::Directed, 1, 1, K::StatusRequest},
    {0x1B, "Deck Status", A::Directed, 1, 1, K::DeckInfo},
    {0x32, "Set Menu Language", A::Broadcast, 3, 3, K::MenuLanguage},
    {0x33, "Clear Analogue Timer", A::Directed, 11, 11, K::Raw},
    {0x34, "Set Analogue Timer", A::Directed, 11, 11, K::Raw},
    {0x35, "Timer Status", A::Directed, 1, 3, K::Raw},
    {0x36, "Standby", A::Either, 0, 0, K::None},
    {0x41, "Play", A::Directed, 1, 1, K::PlayMode},
    {0x42, "Deck Control", A::Directed, 1, 1, K::DeckControl},
    {0x43, "Timer Cleared Status", A::Directed, 1, 1, K::TimerClearedStatus},
    {0x44, "User Control Pressed", A::Directed, 1, 5, K::UserControl},
    {0x45, "User Control Released", A::Directed, 0, 0, K::None},
    {0x46, "Give OSD Name", A::Directed, 0, 0, K::None},
    {0x47, "Set OSD Name", A::Directed, 1, kMaxOperands, K::Text},
    {0x64, "Set OSD String", A::Directed, 2, kMaxOperands, K::OsdString},
    {0x67, "Set Timer Program Title", A::Directed, 1, kMaxOperands, K::Text},
    {0x70, "System Audio Mode Request", A::Directed, 0, 2, K::PhysicalAddress},
    {0x71, "Give Audio Status", A::Directed, 0, 0, K::None},
    {0x72, "Set System Audio Mode", A::Either, 1, 1, K::SystemAudioStatus},
    {0x73, "Set Audio Volume Level", A::Directed, 1, 1, K::AudioVolumeLevel},
    {0x7A, "Report Audio Status", A::Directed, 1, 1, K::AudioStatus},
    {0x7D, "Give System Audio Mode Status", A::Directed, 0, 0, K::None},
    {0x7E, "System Audio Mode Status", A::Directed, 1, 1, K::SystemAudioStatus},
    {0x80, "Routing Change", A::Broadcast, 4, 4, K::RoutingChange},
    {0x81, "Routing Information", A::Broadcast, 2, 2, K::PhysicalAddress},
    {0x82, "Active Source", A::Broadcast, 2, 2, K::PhysicalAddress},
    {0x83, "Give Physical Address", A::Directed, 0, 0, K::None},
    {0x84, "Report Physical Address", A::Broadcast, 3, 3, K::ReportPhysicalAddress},
    {0x85, "Request Active Source", A::Broadcast, 0, 0, K::None},
    {0x86, "Set Stream Path", A::Broadcast, 2, 2, K::PhysicalAddress},
    {0x87, "Device Vendor ID", A::Broadcast, 3, 3, K::VendorId},
    {0x89, "Vendor Command", A::Directed, 1, kMaxOperands, K::Raw},
    {0x8A, "Vendor Remote Button Down", A::Either, 1, kMaxOperands, K::Raw},
    {0x8B, "Vendor Remote Button Up", A::Either, 0, 0, K::None},
    {0x8C, "Give Device Vendor ID", A::Directed, 0, 0, K::None},
    {0x8D, "Menu Request", A::Directed, 1, 1, K::MenuRequest},
    {0x8E, "Menu Status", A::Directed, 1, 1, K::MenuState},
    {0x8F, "Give Device Power Status", A::Directed, 0, 0, K::None},
    {0x90, "Report Power Status", A::Either, 1, 1, K::PowerStatus},
    {0x91, "Get Menu Language", A::Directed, 0, 0, K::None},
    {0x92, "Select Analogue Service", A::Directed, 4, 4, K::Raw},
    {0x93, "Select Digital Service", A::Directed, 7, 7, K::Raw},
    {0x97, "Set Digital Timer", A::Directed, 14, 14, K::Raw},
    {0x99, "Clear Digital Timer", A::Directed, 14, 14, K::Raw},
    {0x9A, "Set Audio Rate", A::Directed, 1, 1, K::AudioRate},
    {0x9D, "Inactive Source", A::Directed, 2, 2, K::PhysicalAddress},
    {0x9E, "CEC Version", A::Directed, 1, 1, K::CecVersion},
    {0x9F, "Get CEC Version", A::Directed, 0, 0, K::None},
    {0xA0, "Vendor Command With ID", A::Either, 3, kMaxOperands, K::VendorCommandWithId},
    {0xA1, "Clear External Timer", A::Directed, 9, 10, K::Raw},
    {0xA2, "Set External Timer", A::Directed, 9, 10, K::Raw},
    {0xA3, "Report Short Audio Descriptor", A::Directed, 3, 12, K::ShortAudioDescriptors},
    {0xA4, "Request Short Audio Descriptor", A::Directed, 1, 4, K::AudioFormatRequest},
    {0xA5, "Give Features", A::Directed, 0, 0, K::None},
    {0xA6, "Report Features", A::Broadcast, 4, kMaxOperands, K::ReportFeatures},
    {0xA7, "Request Current Latency", A::Broadcast, 2, 2, K::PhysicalAddress},
    {0xA8, "Report Current Latency", A::Broadcast, 4, 5, K::ReportCurrentLatency},
    {0xC0, "Initiate ARC", A::Directed, 0, 0, K::None},
    {0xC1, "Report ARC Initiated", A::Directed, 0, 0, K::None},
    {0xC2, "Report ARC Terminated", A::Directed, 0, 0, K::None},
    {0xC3, "Request ARC Initiation", A::Directed, 0, 0, K::None},
    {0xC4, "Request ARC Termination", A::Directed, 0, 0, K::None},
    {0xC5, "Terminate ARC", A::Directed, 0, 0, K::None},
    {0xF8, "CDC Message", A::Broadcast, 3, kMaxOperands, K::Raw},
    {0xFF, "Abort", A::Directed, 0, 0, K::None},
};

constexpr std::array<const char*, 16> kLogicalAddresses = {"TV",
                                                           "Recording Device 1",
                                                           "Recording Device 2",
                                                           "Tuner 1",
                                                           "Playback Device 1",
                                                           "Audio System",
                                                           "Tuner 2",
                                                           "Tuner 3",
                                                           "Playback Device 2",
                                                           "Recording Device 3",
                                                           "Tuner 4",
                                                           "Playback Device 3",
                                                           "Backup 1",
                                                           "Backup 2",
                                                           "Specific Use",
                                                           "Unregistered"};

} // namespace

std::span<const CecOpcode> cecOpcodes() {
    return kOpcodes;
}

const CecOpcode* findCecOpcode(std::uint8_t code) {
    for (const CecOpcode& op : kOpcodes)
        if (op.code == code)
            return &op;
    return nullptr;
}

const char* cecLogicalAddressName(unsigned address, bool asDestination) {
    constexpr unsigned kBroadcast = 15;
    if (address == kBroadcast && asDestination)
        return "Broadcast";
    return address < kLogicalAddresses.size() ? kLogicalAddresses[address] : "invalid";
}

} // namespace decode
