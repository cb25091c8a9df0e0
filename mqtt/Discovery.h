#pragma once

#include "settings/SettingsMap.h"

#include <QJsonObject>

#include <string>
#include <vector>

// Home Assistant's view of one unit: its entities, their topics and the
// retained discovery documents that make them appear. Pure: no broker here.
namespace mqtt {

struct Unit {
    std::string deviceId; // as `korvanta devices` lists it
    std::string prefix = "homeassistant";
    std::string version; // the program's, shown as the device's software
    bool readOnly = false;
    std::vector<std::string> scenes; // by name, each a button; with the "Scene" select
};

// The device ID as one topic level and a Home Assistant ID: letters and
// digits stay, every other byte becomes _XX (so two IDs never meet).
std::string nodeId(const std::string& deviceId);

// korvanta/<node>: every state, command and availability topic starts here.
std::string baseTopic(const Unit& unit);
// The bridge's own availability (the last will lands here).
std::string availabilityTopic(const Unit& unit);
// Whether the bridge reaches the device at all.
std::string deviceTopic(const Unit& unit);
// Home Assistant's birth and last will: <prefix>/status.
std::string homeAssistantStatusTopic(const Unit& unit);
// korvanta/<node>/+/set: what the bridge listens to for commands.
std::string commandFilter(const Unit& unit);

constexpr const char* kOnline = "online";
constexpr const char* kOffline = "offline";

struct Entity {
    std::string platform;                       // select, switch, sensor, binary_sensor
    std::string object;                         // "input", "hdr", "chain-top": the last topic level
    std::string name;                           // what Home Assistant shows
    const settings::Setting* setting = nullptr; // the setting it shows, if any
    std::vector<std::string> options;           // a select's values
    std::string deviceClass;
    std::string category;      // "config", "diagnostic" or empty
    bool followsDevice = true; // unavailable while the device is lost
    std::string scene;         // the scene a button recalls
};

// The select (a sensor when read-only) that shows the last scene recalled.
constexpr const char* kSceneObject = "scene";
constexpr const char* kNoScene = "none";

// Every entity of a unit: the settings from the settings table (a select for
// several values, a switch for off/on; plain sensors when read-only), the
// status sensors, each output's chain verdict and the connection.
std::vector<Entity> entities(const Unit& unit);

std::string stateTopic(const Unit& unit, const Entity& entity);
// Empty for an entity that takes no commands.
std::string commandTopic(const Unit& unit, const Entity& entity);
std::string uniqueId(const Unit& unit, const Entity& entity);
// <prefix>/<platform>/korvanta_<node>/<object>/config
std::string discoveryTopic(const Unit& unit, const Entity& entity);
QJsonObject discoveryDocument(const Unit& unit, const Entity& entity);

} // namespace mqtt
