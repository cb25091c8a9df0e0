#pragma once

#include "decode/NodeBuild.h"

#include <span>

// Names of CEC operand values, as HDMI-CEC 1.4b and 2.0 give them.
namespace decode {

using NameTable = std::span<const char* const>;
using CodeTable = std::span<const CodeName>;

CodeTable cecUiCommands();
NameTable cecAbortReasons();
NameTable cecDeviceTypes();
NameTable cecPowerStatuses();
NameTable cecMenuRequests();
NameTable cecMenuStates();
CodeTable cecDeckControls();
CodeTable cecDeckInfos();
CodeTable cecStatusRequests();
CodeTable cecPlayModes();
NameTable cecVersions();
NameTable cecOnOff();
NameTable cecAudioRates();
CodeTable cecRecordStatuses();
CodeTable cecTimerClearedStatuses();
CodeTable cecDisplayControls();
NameTable cecAllDeviceTypeBits();
NameTable cecSourceRcBits();
NameTable cecTvRcProfiles();
NameTable cecDeviceFeatureBits();
NameTable cecAudioCompensation();

} // namespace decode
