#pragma once

#include "session/Reporter.h"

#include <QString>

#include <cstdint>

// CEC messages and InfoFrames, from the colon-hex text of their field, each
// followed by the populate request that activates it.
namespace session {

constexpr std::uint32_t kPopulateDelayMs = 100;

// Stored InfoFrames as the device reports them (registers 35 and 36).
constexpr int kStoredHdrBytes = 31;
constexpr int kStoredAviBytes = 13;

// The four fields, each with its own length limits and error text.
enum class Field { CecSend, CecStore, HdrInfoFrame, AviInfoFrame };

// The text the field's check shows for `text`, or nullptr when it passes.
// The senders below run the same check before anything is sent.
const char* fieldError(Field field, const QString& text);

bool sendCecCommand(Reporter& reporter, const QString& text);
// `command`: the SP (0xE3) or LP (0xE4) button's store command.
bool storeCecCommand(Reporter& reporter, std::uint8_t command, const QString& text);
bool sendHdrInfoFrame(Reporter& reporter, const QString& text);
// True once the AVI InfoFrame and its populate were accepted; the caller then
// writes the "replace AVI" setting.
bool sendAviInfoFrame(Reporter& reporter, const QString& text);

} // namespace session
