#pragma once

#include <QJsonObject>

#include <string>

class SimulatedDevice;

// The keys of a state file that stage a scene on the simulated device:
// "topEdid" and "botEdid" (the displays on the outputs: hex of 128 or 256
// bytes, or null for none), "input" (the source the status registers
// describe) and "description". Each is optional; a file without them leaves
// the default displays and source in place.

// All or nothing, like the rest of the file: false with a complaint that
// names the key and the values it takes; `device` may then be half-changed,
// so pass a copy.
bool readSimStage(const QJsonObject& file, SimulatedDevice* device, std::string* complaint);
// Writes back only what was staged.
void writeSimStage(const SimulatedDevice& device, QJsonObject* file);
