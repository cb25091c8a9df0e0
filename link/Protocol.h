#pragma once

#include <cstdint>

// Request framing: direction, length, command code, then arguments.
namespace proto {

constexpr std::uint8_t kDirWrite = 0x10;
constexpr std::uint8_t kDirRead = 0x11;

constexpr std::uint8_t kCmdConfig = 0xE0; // read register / write one setting
constexpr std::uint8_t kCmdValues = 0xE1; // values block
constexpr std::uint8_t kCmdSettingsBlock = 0xE2;
constexpr std::uint8_t kCmdStoreCecSp = 0xE3;
constexpr std::uint8_t kCmdStoreCecLp = 0xE4;
constexpr std::uint8_t kCmdHdrInfoFrame = 0xE5;
constexpr std::uint8_t kCmdAviInfoFrame = 0xE6;
constexpr std::uint8_t kCmdEdidChunk = 0xB0;
constexpr std::uint8_t kCmdEdidCommit = 0xB1;
constexpr std::uint8_t kCmdCecSend = 0xB2;
constexpr std::uint8_t kCmdPopulate = 0xB3;
constexpr std::uint8_t kCmdStageDeviceEdid = 0xB4;
constexpr std::uint8_t kCmdStageTopEdid = 0xB5;
constexpr std::uint8_t kCmdStageBotEdid = 0xB6;

// A refusal: the device's answer to a request it will not carry out.
constexpr std::uint8_t kRefused = 0xEE;
constexpr std::uint8_t kRefusedCode = 0x01;

constexpr std::uint8_t kPopulateCec = 0x10;
constexpr std::uint8_t kPopulateHdr = 0x20;
constexpr std::uint8_t kPopulateAvi = 0x80;

constexpr std::uint8_t kStatusBusyBit = 0x01;
constexpr int kValuesLength = 42;
constexpr int kValuesBlockOffset = 2; // settings block starts at reply position 2
constexpr int kRegisterDataOffset = 2;
constexpr int kWriteReplyLength = 2;
constexpr int kSettingsBlockRequestLength = 43;

// Configuration registers.
constexpr std::uint8_t kRegInputStatus = 6;
constexpr std::uint8_t kRegFirmware = 7;
constexpr std::uint8_t kRegSourceProduct = 21;
constexpr std::uint8_t kRegSourceHdr = 30;
constexpr std::uint8_t kRegStatus31 = 31;
constexpr std::uint8_t kRegCustomHdr = 35;
constexpr std::uint8_t kRegCustomAvi = 36;

} // namespace proto
