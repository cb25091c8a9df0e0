#pragma once

#include "edid/EdidText.h"

#include <array>
#include <cstdint>

// Requests that move an EDID table between the program and the device.

// A read fetches the table in 16 chunks of 16 bytes, a write sends it in 32
// chunks of 8 bytes; the chunk offset is one byte.
constexpr int kEdidReadChunkSize = 16;
constexpr int kEdidReadChunks = kEdidSize / kEdidReadChunkSize;
constexpr int kEdidWriteChunkSize = 8;
constexpr int kEdidWriteChunks = kEdidSize / kEdidWriteChunkSize;

// EDID modes (setting value of the EDID-mode setting).
constexpr int kEdidModeAutomix = 1;
constexpr int kEdidModeFixed = 2;
constexpr int kEdidModeCustom = 3;

// The device answers a values read with this many bytes during a busy wait.
constexpr int kEdidBusyReadLength = 42;

// Makes the device stage a table (its own, or a display's) for the chunk reads.
std::array<std::uint8_t, 3> edidPrepareReadRequest(std::uint8_t command);
// "11 10 B0 offset": 16 bytes of the staged table; the reply has no acknowledge byte.
std::array<std::uint8_t, 4> edidReadChunkRequest(int chunk);
// "10 08 B0 offset d0..d7": chunk `chunk` (0 to 31) of `image`.
std::array<std::uint8_t, 12> edidWriteChunkRequest(const EdidImage& image, int chunk);
// "10 08 B1": stores the chunks written as the custom table. The 8 is the
// chunk length of the writes before it, though no payload follows.
std::array<std::uint8_t, 3> edidCommitRequest();

// Bit 0 of byte 1 of the values block: the device is still building its EDID.
bool edidDeviceBusy(const std::uint8_t* valuesReply);
