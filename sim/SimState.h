#pragma once

#include <QByteArray>

#include <string>

class SimulatedDevice;

// What the simulated device keeps between runs (KORVANTA_SIM_STATE): the
// settings block, its own and the custom EDID, the stored CEC commands and
// the stored HDR and AVI InfoFrames, as a JSON document with bytes in hex;
// and what the file staged (SimStage.h), written back as it was read.

QByteArray simStateToJson(const SimulatedDevice& device);
// All or nothing: on false the device is untouched and the complaint says why.
bool simStateFromJson(const QByteArray& json, SimulatedDevice* device, std::string* complaint);

enum class SimStateLoad { Loaded, Missing, Refused };
SimStateLoad loadSimState(const std::string& path, SimulatedDevice* device, std::string* complaint);
// Replaces the file in one step: a reader sees the old state or the new one.
bool saveSimState(const std::string& path, const SimulatedDevice& device, std::string* complaint);

// Loads the file when there is one and saves the device after every change
// from then on. A damaged or foreign file is left alone for the whole run:
// false, with the complaint, and the device stays in its factory state.
bool keepSimState(const std::string& path, SimulatedDevice* device, std::string* complaint);
