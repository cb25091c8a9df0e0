#pragma once

#include "session/Reporter.h"

#include <cstdint>

// The generic register and settings operations of the device protocol. Each
// is one transaction; a failure is reported with its text.
namespace session {

// `reply` is the caller's 64-byte buffer, zero-filled.
bool readConfig(Reporter& reporter, std::uint8_t registerIndex, std::uint8_t* reply,
                std::uint8_t length);
// True when the device acknowledged the write. `transacted`, when given,
// tells whether the transaction itself went through (a wrong acknowledge
// byte still counts as one).
bool writeSetting(Reporter& reporter, std::uint8_t settingIndex, int value,
                  bool* transacted = nullptr);
bool readValues(Reporter& reporter, std::uint8_t* reply, std::uint8_t length);
bool writeSettingsBlock(Reporter& reporter, const std::uint8_t* block, bool* transacted = nullptr);

} // namespace session
