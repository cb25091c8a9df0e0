#include "mqtt/Discovery.h"

#include <QJsonArray>

#include <cctype>
#include <cstdio>
#include <cstring>

namespace mqtt {

namespace {

constexpr const char* kTopicRoot = "korvanta";

bool isOffOn(const settings::Setting& s) {
    return s.valueNames.size() == 2 && std::strcmp(s.valueNames[0].name, "off") == 0 &&
           std::strcmp(s.valueNames[1].name, "on") == 0;
}

// "edid-preset" → "EDID preset": the setting's own name, as words.
std::string displayName(const std::string& object) {
    static const char* const kUpper[] = {"edid", "hdr",   "hdcp", "cec", "avr",   "led",
                                         "leds", "ycbcr", "3d",   "2ch", "bt2020"};
    std::string name;
    std::size_t start = 0;
    while (start <= object.size()) {
        std::size_t end = object.find('-', start);
        if (end == std::string::npos)
            end = object.size();
        std::string word = object.substr(start, end - start);
        for (const char* upper : kUpper) {
            if (word == upper) {
                for (char& c : word)
                    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                if (word == "LEDS")
                    word = "LEDs";
                if (word == "YCBCR")
                    word = "YCbCr";
                if (word == "BT2020")
                    word = "BT.2020";
                break;
            }
        }
        if (!name.empty())
            name += ' ';
        name += word;
        start = end + 1;
    }
    if (!name.empty())
        name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    return name;
}

Entity settingEntity(const Unit& unit, const settings::Setting& s) {
    Entity e;
    e.object = s.name;
    e.name = displayName(e.object);
    e.setting = &s;
    for (const settings::ValueName& v : s.valueNames)
        e.options.push_back(v.name);
    // Home Assistant refuses a select or switch without a command topic.
    e.platform = unit.readOnly ? "sensor" : isOffOn(s) ? "switch" : "select";
    if (s.index != settings::kActiveInput)
        e.category = "config";
    return e;
}

Entity sensor(const char* object, const char* name) {
    Entity e;
    e.platform = "sensor";
    e.object = object;
    e.name = name;
    return e;
}

QJsonArray strings(const std::vector<std::string>& list) {
    QJsonArray array;
    for (const std::string& s : list)
        array.append(QString::fromStdString(s));
    return array;
}

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

std::string nodeId(const std::string& deviceId) {
    std::string node;
    for (const char c : deviceId) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) && u < 0x80) {
            node += c;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "_%02x", u);
            node += hex;
        }
    }
    return node.empty() ? "_" : node;
}

std::string baseTopic(const Unit& unit) {
    return std::string(kTopicRoot) + "/" + nodeId(unit.deviceId);
}

std::string availabilityTopic(const Unit& unit) {
    return baseTopic(unit) + "/availability";
}

std::string deviceTopic(const Unit& unit) {
    return baseTopic(unit) + "/device";
}

std::string homeAssistantStatusTopic(const Unit& unit) {
    return unit.prefix + "/status";
}

std::string commandFilter(const Unit& unit) {
    return baseTopic(unit) + "/+/set";
}

std::vector<Entity> entities(const Unit& unit) {
    std::vector<Entity> list;
    for (const settings::Setting& s : settings::allSettings())
        if (s.name && s.index >= 0 && s.position >= 0)
            list.push_back(settingEntity(unit, s));

    list.push_back(sensor("format", "Input format"));
    list.push_back(sensor("colour", "Colour"));
    list.push_back(sensor("source", "Source"));
    list.push_back(sensor("hdr-input", "HDR input"));
    for (const char* output : {"top", "bot"}) {
        Entity e = sensor(output[0] == 't' ? "chain-top" : "chain-bot",
                          output[0] == 't' ? "Signal chain TOP" : "Signal chain BOT");
        e.deviceClass = "enum";
        e.options = {"fine", "degraded", "wont-show", "unknown", "no-display"};
        list.push_back(e);
    }

    if (!unit.scenes.empty()) {
        Entity select;
        select.platform = unit.readOnly ? "sensor" : "select";
        select.object = kSceneObject;
        select.name = "Scene";
        select.options.push_back(kNoScene);
        select.options.insert(select.options.end(), unit.scenes.begin(), unit.scenes.end());
        if (unit.readOnly)
            select.deviceClass = "enum";
        list.push_back(select);
        for (const std::string& name : unit.readOnly ? std::vector<std::string>{} : unit.scenes) {
            Entity button;
            button.platform = "button";
            button.object = "scene-" + nodeId(name);
            button.name = "Scene " + name;
            button.scene = name;
            list.push_back(button);
        }
    }

    Entity connected;
    connected.platform = "binary_sensor";
    connected.object = "connected";
    connected.name = "Connected";
    connected.deviceClass = "connectivity";
    connected.category = "diagnostic";
    // It tells that the device is gone, so it stays available then.
    connected.followsDevice = false;
    list.push_back(connected);
    return list;
}

std::string stateTopic(const Unit& unit, const Entity& entity) {
    return baseTopic(unit) + "/" + entity.object;
}

std::string commandTopic(const Unit& unit, const Entity& entity) {
    if (unit.readOnly || (!entity.setting && entity.platform != "button" &&
                          !(entity.platform == "select" && entity.object == kSceneObject)))
        return {};
    return stateTopic(unit, entity) + "/set";
}

std::string uniqueId(const Unit& unit, const Entity& entity) {
    return "korvanta_" + nodeId(unit.deviceId) + "_" + entity.object;
}

std::string discoveryTopic(const Unit& unit, const Entity& entity) {
    return unit.prefix + "/" + entity.platform + "/korvanta_" + nodeId(unit.deviceId) + "/" +
           entity.object + "/config";
}

QJsonObject discoveryDocument(const Unit& unit, const Entity& entity) {
    QJsonObject doc;
    doc["name"] = q(entity.name);
    doc["unique_id"] = q(uniqueId(unit, entity));
    if (entity.platform == "button")
        doc["payload_press"] = "PRESS";
    else
        doc["state_topic"] = q(stateTopic(unit, entity));
    if (const std::string command = commandTopic(unit, entity); !command.empty())
        doc["command_topic"] = q(command);
    if (entity.platform == "select" ||
        (entity.platform == "sensor" && !entity.options.empty() && entity.deviceClass == "enum"))
        doc["options"] = strings(entity.options);
    if (entity.platform == "switch") {
        doc["payload_on"] = "on";
        doc["payload_off"] = "off";
        doc["state_on"] = "on";
        doc["state_off"] = "off";
    }
    if (!entity.deviceClass.empty())
        doc["device_class"] = q(entity.deviceClass);
    if (!entity.category.empty())
        doc["entity_category"] = q(entity.category);

    QJsonArray availability{QJsonObject{{"topic", q(availabilityTopic(unit))}}};
    if (entity.followsDevice)
        availability.append(QJsonObject{{"topic", q(deviceTopic(unit))}});
    doc["availability"] = availability;
    doc["availability_mode"] = "all";
    doc["payload_available"] = kOnline;
    doc["payload_not_available"] = kOffline;

    doc["device"] = QJsonObject{
        {"identifiers", QJsonArray{q("korvanta_" + nodeId(unit.deviceId))}},
        {"name", q("KORVANTA " + unit.deviceId)},
        {"manufacturer", "KORVANTA"},
        {"model", "HDMI 2.0 switch and matrix"},
        {"sw_version", q(unit.version)},
    };
    return doc;
}

} // namespace mqtt
