#pragma once

#include <QJsonObject>
#include <QJsonValue>

#include <string>
#include <vector>

// What a decoder makes of an EDID, a CEC message or an InfoFrame: a tree of
// named fields that the command line prints as text or JSON and the
// decodeWindow shows as it is.
namespace decode {

struct Node {
    std::string key;   // stable JSON key, lower camel case ("manufacturer", "preferredTiming")
    std::string label; // words shown to the user ("Manufacturer"); empty: JSON only
    std::string text;  // the value in words ("DEL", "3840x2160 @ 60 Hz, 594.00 MHz")
    QJsonValue json =
        QJsonValue(QJsonValue::Undefined); // numbers as numbers; Undefined: use `text`
    bool problem = false;       // something wrong here (bad checksum, reserved value, cut short)
    std::vector<Node> children; // sub-structure (blocks, descriptors, lists)
};

struct Decoded {
    std::string title; // "EDID", "CEC message", "HDR InfoFrame", "AVI InfoFrame", "EDID comparison"
    std::vector<Node> nodes;
    std::vector<std::string> problems; // every problem in words, with the byte number
    bool ok() const { return problems.empty(); }
};

// Indented plain text, one line per node ("Manufacturer: DEL"), then the
// problems. A line with a problem starts with "!". Nodes without a label are
// left out (they exist for JSON). Stable, for terminals and the decode window.
std::string renderText(const Decoded& d);

// One JSON object: {"title":..., "fields": {key: value or nested object/array},
// "problems": [...]}. A node with children is an object of its children by
// key, or an array when none of its children has a key; a repeated key gets
// a number ("video", "video2").
QJsonObject renderJson(const Decoded& d);

} // namespace decode
