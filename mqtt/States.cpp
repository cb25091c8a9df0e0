#include "mqtt/States.h"

#include "link/LogText.h"

#include <algorithm>

namespace mqtt {

namespace {

const Entity* findEntity(const std::vector<Entity>& list, const std::string& object) {
    for (const Entity& e : list)
        if (e.object == object)
            return &e;
    return nullptr;
}

Message state(const Unit& unit, const std::vector<Entity>& list, const char* object,
              std::string payload) {
    const Entity* e = findEntity(list, object);
    return {e ? stateTopic(unit, *e) : std::string(), std::move(payload)};
}

std::string orNone(std::string text) {
    return text.empty() ? "none" : text;
}

} // namespace

std::vector<Message> settingStates(const Unit& unit,
                                   const std::uint8_t (&block)[kSettingsBlockSize]) {
    std::vector<Message> out;
    for (const Entity& e : entities(unit)) {
        if (!e.setting || e.setting->position >= kSettingsBlockSize)
            continue;
        std::string word = settings::valueWord(*e.setting, block[e.setting->position]);
        const bool known = std::find(e.options.begin(), e.options.end(), word) != e.options.end();
        if (!known && e.platform != "sensor")
            word = kNoState;
        out.push_back({stateTopic(unit, e), word});
    }
    return out;
}

std::vector<Message> statusStates(const Unit& unit, const StatusFields& status) {
    const std::vector<Entity> list = entities(unit);
    std::string format = status.formatCode == 0 ? "no signal" : status.formatName;
    if (format.empty())
        format = "code " + std::to_string(status.formatCode);
    std::string colour = status.colourSpace;
    if (!status.colorimetry.empty())
        colour += (colour.empty() ? "" : ", ") + status.colorimetry;
    std::string source = status.vendor;
    if (!status.product.empty())
        source += (source.empty() ? "" : " ") + status.product;
    return {
        state(unit, list, "format", format),
        state(unit, list, "colour", orNone(colour)),
        state(unit, list, "source", orNone(source)),
        state(unit, list, "hdr-input", orNone(status.hdrEotf)),
    };
}

std::vector<Message> chainStates(const Unit& unit, const chain::ChainReport& report) {
    const std::vector<Entity> list = entities(unit);
    return {
        state(unit, list, "chain-top", chain::verdictKey(report.outputs[0].verdict)),
        state(unit, list, "chain-bot", chain::verdictKey(report.outputs[1].verdict)),
    };
}

std::vector<Message> connectionStates(const Unit& unit, bool connected) {
    const std::vector<Entity> list = entities(unit);
    return {
        {deviceTopic(unit), connected ? kOnline : kOffline},
        state(unit, list, "connected", connected ? "ON" : "OFF"),
    };
}

CommandCheck checkSceneCommand(const Unit& unit, const std::string& topic,
                               const std::string& payload, std::string* scene,
                               std::string* complaint) {
    if (unit.readOnly)
        return CommandCheck::NotACommand;
    for (const Entity& e : entities(unit)) {
        if (e.setting || commandTopic(unit, e) != topic)
            continue;
        if (e.platform == "button") {
            *scene = e.scene;
            return CommandCheck::Accepted;
        }
        if (std::find(unit.scenes.begin(), unit.scenes.end(), payload) == unit.scenes.end()) {
            *complaint = "\"" + logText(payload) + "\" is not a scene to recall";
            return CommandCheck::Refused;
        }
        *scene = payload;
        return CommandCheck::Accepted;
    }
    return CommandCheck::NotACommand;
}

Message sceneState(const Unit& unit, const std::string& lastRecalled) {
    return {baseTopic(unit) + "/" + kSceneObject, lastRecalled.empty() ? kNoScene : lastRecalled};
}

CommandCheck checkCommand(const Unit& unit, const std::string& topic, const std::string& payload,
                          Command* command, std::string* complaint) {
    if (unit.readOnly)
        return CommandCheck::NotACommand;
    for (const Entity& e : entities(unit)) {
        if (!e.setting || commandTopic(unit, e) != topic)
            continue;
        int value = 0;
        if (!settings::parseValue(*e.setting, payload, &value)) {
            *complaint = "\"" + logText(payload) + "\" is not a value of " + e.setting->name +
                         "; accepted: " + settings::acceptedWords(*e.setting) + " (or raw:N)";
            return CommandCheck::Refused;
        }
        *command = {e.setting, value};
        return CommandCheck::Accepted;
    }
    const std::string base = baseTopic(unit) + "/";
    if (topic.starts_with(base) && topic.ends_with("/set")) {
        *complaint = "nothing takes commands on " + logText(topic);
        return CommandCheck::Refused;
    }
    return CommandCheck::NotACommand;
}

} // namespace mqtt
