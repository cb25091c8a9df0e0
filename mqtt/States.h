#pragma once

#include "chain/SignalChain.h"
#include "link/AppState.h"
#include "mqtt/Discovery.h"
#include "status/StatusLines.h"

#include <cstdint>
#include <string>
#include <vector>

// The payloads of the state topics, and the commands that arrive on the
// command topics. Pure.
namespace mqtt {

struct Message {
    std::string topic;
    std::string payload;
};

// Home Assistant's word for "no known state" on a select or switch.
constexpr const char* kNoState = "None";

// Every setting entity's state from a settings block, in its `korvanta get`
// word; a byte a select or switch has no option for reads as kNoState.
std::vector<Message> settingStates(const Unit& unit,
                                   const std::uint8_t (&block)[kSettingsBlockSize]);
// The input format, colour, source and HDR sensors.
std::vector<Message> statusStates(const Unit& unit, const StatusFields& status);
// Each output's verdict ("fine", "wont-show", …).
std::vector<Message> chainStates(const Unit& unit, const chain::ChainReport& report);
// The connected sensor and the device's availability.
std::vector<Message> connectionStates(const Unit& unit, bool connected);

struct Command {
    const settings::Setting* setting = nullptr;
    int value = 0;
};

enum class CommandCheck {
    NotACommand, // another topic
    Refused,     // a command topic with a value the setting does not take
    Accepted,
};

// A message on the Scene select's or a scene button's command topic: the
// scene to recall, by name.
CommandCheck checkSceneCommand(const Unit& unit, const std::string& topic,
                               const std::string& payload, std::string* scene,
                               std::string* complaint);
// The Scene select's state: the scene recalled last, or kNoScene.
Message sceneState(const Unit& unit, const std::string& lastRecalled);

// A message on a command topic, checked as `korvanta set` checks NAME=VALUE.
// Read-only units accept nothing. `complaint` says why a command was refused.
CommandCheck checkCommand(const Unit& unit, const std::string& topic, const std::string& payload,
                          Command* command, std::string* complaint);

} // namespace mqtt
