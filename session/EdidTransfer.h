#pragma once

#include "edid/EdidText.h"
#include "session/Reporter.h"

#include <cstdint>

// EDID tables between the program and the device, and the wait for the
// device's busy bit.
namespace session {

// Pauses the device needs between requests.
constexpr std::uint32_t kAfterPrepareReadMs = 100;
constexpr std::uint32_t kAfterBusyReadMs = 10;
constexpr std::uint32_t kAfterWriteChunkMs = 30;
constexpr int kBusyWaitMaxReads = 501;
constexpr int kReadProgressMaximum = 255;

// Reads values blocks until the busy bit clears, for at most 501 reads.
// False when it never cleared or the device stopped answering; a read with
// no reply at all ends the wait at once.
bool waitWhileBusy(Reporter& reporter);

// Where the table to read is staged: the device's own, or a display's.
enum class EdidSource { Device, Top, Bottom };
std::uint8_t stageCommand(EdidSource source);

struct EdidReadResult {
    bool staged = false;   // the device acknowledged the staging request
    bool complete = false; // all 16 chunks came
    EdidImage image{};
};

// Stages the table, waits while the device is busy and reads the 16 chunks.
// The first request with no reply at all ends the read.
// `text`, when given, receives the hex text line by line as the chunks come
// (`textCapacity` bytes, kept zero-terminated); `textLength` its length.
EdidReadResult readEdid(Reporter& reporter, std::uint8_t stageCommand, char* text = nullptr,
                        int textCapacity = 0, int* textLength = nullptr);

// Writes the 32 chunks and commits them as the custom table. True only when
// every chunk and the commit were acknowledged. A chunk with no reply at all
// ends the write uncommitted.
bool writeEdid(Reporter& reporter, const EdidImage& image);

} // namespace session
