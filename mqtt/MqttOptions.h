#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace CLI {
class App;
}

// Where the Home Assistant bridge connects and what it may do there. The
// password never comes from the command line: a process list shows that.
namespace mqtt {

constexpr int kPlainPort = 1883;
constexpr int kTlsPort = 8883;
constexpr const char* kDefaultPrefix = "homeassistant";
constexpr const char* kPasswordVariable = "KORVANTA_MQTT_PASSWORD";

struct BrokerAddress {
    std::string host;
    int port = kPlainPort;
    bool tls = false;
    std::string user; // empty: no login
};

struct MqttConfig {
    BrokerAddress broker;
    std::string password;
    std::string caFile; // empty: the system's CA store (mqtts:// only)
    std::string prefix = kDefaultPrefix;
    bool readOnly = false;
};

// mqtt://[user@]host[:port] or mqtts://…, an IPv6 host in brackets. A
// password in the URL is refused rather than quietly dropped.
bool parseBrokerUrl(std::string_view url, BrokerAddress* out, std::string* complaint);

// A discovery prefix is one or more topic levels without wildcards.
bool validPrefix(std::string_view prefix, std::string* complaint);

// What `korvanta serve` was given, before it is checked.
struct MqttArguments {
    std::string url; // empty: no bridge
    std::string passwordFile;
    std::string caFile;
    std::string prefix = kDefaultPrefix;
    bool readOnly = false;
};

// Adds --mqtt, --mqtt-password-file, --mqtt-cafile, --mqtt-prefix and
// --mqtt-read-only to a subcommand; the values land in the returned object.
[[nodiscard]] std::shared_ptr<MqttArguments> addMqttOptions(CLI::App& command);

// Checks the arguments and reads the password (the file wins over the
// variable, which may be null). False with a complaint when anything is
// wrong; *enabled false when no --mqtt was given.
bool mqttConfig(const MqttArguments& args, const char* passwordVariable, MqttConfig* config,
                bool* enabled, std::string* complaint);

} // namespace mqtt
