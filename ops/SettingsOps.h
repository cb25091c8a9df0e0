#pragma once

#include "link/AppState.h"
#include "ops/Device.h"
#include "settings/SettingsMap.h"

#include <array>
#include <string>
#include <vector>

// get, set and reset: the device's settings by name.
namespace ops {

using SettingsBlock = std::array<std::uint8_t, kSettingsBlockSize>;

// The settings block, waiting out the busy bit once if the device is busy.
bool readSettingsBlock(Reporter& reporter, std::uint8_t* block);

struct GetParams {
    std::vector<std::string> names; // empty: every named setting
};
struct GetResult {
    Error error;
    std::vector<const settings::Setting*> wanted;
    SettingsBlock block{};
};
GetResult get(const GetParams& params, Device& device, Reporter& reporter);

// NAME=VALUE pairs, written one at a time in the order given, after every
// pair was checked.
struct SetParams {
    std::vector<std::string> pairs;
};
struct SetWrite {
    const settings::Setting* setting = nullptr;
    int value = 0;
    std::string word;
    bool accepted = false;
};
struct SetResult {
    Error error;
    std::vector<SetWrite> writes;
};
SetResult set(const SetParams& params, Device& device, Reporter& reporter);

struct ResetParams {
    std::string what; // settings, edid or all
    bool yes = false; // without it nothing is sent: a usage error saying what would be lost
};
struct ResetResult {
    Error error;
    std::string what;
    int sent = 0;
};
ResetResult reset(const ResetParams& params, Device& device, Reporter& reporter);

} // namespace ops
