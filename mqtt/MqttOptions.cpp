#include "mqtt/MqttOptions.h"

#include <CLI/CLI.hpp>
#include <QFile>

#include <charconv>

namespace mqtt {

namespace {

constexpr std::string_view kPlainScheme = "mqtt://";
constexpr std::string_view kTlsScheme = "mqtts://";

bool fail(std::string* complaint, std::string text) {
    *complaint = std::move(text);
    return false;
}

bool parsePort(std::string_view text, int* port) {
    const char* end = text.data() + text.size();
    int value = 0;
    if (text.empty() || std::from_chars(text.data(), end, value).ptr != end)
        return false;
    if (value < 1 || value > 65535)
        return false;
    *port = value;
    return true;
}

// The first line of the file, without its line end.
bool readPasswordFile(const std::string& path, std::string* password, std::string* complaint) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return fail(complaint, "cannot read the MQTT password file " + path + ": " +
                                   file.errorString().toStdString());
    // A password file never needs more than a line; a huge one is a mistake.
    QByteArray text = file.read(4096);
    const qsizetype eol = text.indexOf('\n');
    if (eol >= 0)
        text.truncate(eol);
    if (text.endsWith('\r'))
        text.chop(1);
    if (text.isEmpty())
        return fail(complaint, "the MQTT password file " + path + " is empty");
    *password = text.toStdString();
    return true;
}

} // namespace

bool parseBrokerUrl(std::string_view url, BrokerAddress* out, std::string* complaint) {
    BrokerAddress a;
    const std::string shown(url);
    if (url.starts_with(kTlsScheme)) {
        a.tls = true;
        a.port = kTlsPort;
        url.remove_prefix(kTlsScheme.size());
    } else if (url.starts_with(kPlainScheme)) {
        url.remove_prefix(kPlainScheme.size());
    } else {
        return fail(complaint, "\"" + shown +
                                   "\" is not an MQTT URL; write mqtt://[user@]host[:port] or "
                                   "mqtts://[user@]host[:port]");
    }
    if (url.ends_with('/'))
        url.remove_suffix(1);
    if (url.find('/') != std::string_view::npos || url.find('?') != std::string_view::npos)
        return fail(complaint, "the MQTT URL \"" + shown + "\" has a path; give only the host");

    const auto at = url.rfind('@');
    if (at != std::string_view::npos) {
        const std::string_view user = url.substr(0, at);
        if (user.find(':') != std::string_view::npos)
            return fail(complaint,
                        "the MQTT URL holds a password, which the command line would show to "
                        "every user of this computer; give it in " +
                            std::string(kPasswordVariable) +
                            " or a file named by --mqtt-password-file");
        if (user.empty())
            return fail(complaint, "the MQTT URL \"" + shown + "\" has an empty user name");
        a.user = std::string(user);
        url.remove_prefix(at + 1);
    }

    std::string_view host = url;
    std::string_view port;
    if (url.starts_with('[')) {
        const auto close = url.find(']');
        if (close == std::string_view::npos)
            return fail(complaint, "the MQTT URL \"" + shown +
                                       "\" opens an IPv6 address with [ "
                                       "but never closes it");
        host = url.substr(1, close - 1);
        const std::string_view rest = url.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':'))
            return fail(complaint, "the MQTT URL \"" + shown + "\" has text after the host");
        if (!rest.empty())
            port = rest.substr(1);
        else
            port = {};
        if (!rest.empty() && port.empty())
            return fail(complaint, "the MQTT URL \"" + shown + "\" ends in ':' without a port");
    } else if (const auto colon = url.find(':'); colon != std::string_view::npos) {
        host = url.substr(0, colon);
        port = url.substr(colon + 1);
        if (port.empty())
            return fail(complaint, "the MQTT URL \"" + shown + "\" ends in ':' without a port");
    }
    if (host.empty())
        return fail(complaint, "the MQTT URL \"" + shown + "\" names no host");
    if (!port.empty() && !parsePort(port, &a.port))
        return fail(complaint,
                    "\"" + std::string(port) + "\" is not a port; give a number from 1 to 65535");
    a.host = std::string(host);
    *out = a;
    return true;
}

bool validPrefix(std::string_view prefix, std::string* complaint) {
    const std::string shown(prefix);
    if (prefix.empty())
        return fail(complaint, "the MQTT prefix is empty; Home Assistant's is homeassistant");
    if (prefix.find_first_of("+#") != std::string_view::npos)
        return fail(complaint, "the MQTT prefix \"" + shown + "\" holds a wildcard (+ or #)");
    if (prefix.starts_with('/') || prefix.ends_with('/') ||
        prefix.find("//") != std::string_view::npos)
        return fail(complaint, "the MQTT prefix \"" + shown + "\" has an empty topic level");
    return true;
}

std::shared_ptr<MqttArguments> addMqttOptions(CLI::App& command) {
    auto args = std::make_shared<MqttArguments>();
    command.add_option("--mqtt", args->url,
                       "Publish to Home Assistant through this MQTT broker: "
                       "mqtt://[user@]host[:port] or mqtts://... (password from " +
                           std::string(kPasswordVariable) + " or --mqtt-password-file)");
    command.add_option("--mqtt-password-file", args->passwordFile,
                       "File whose first line is the MQTT password");
    command.add_option("--mqtt-cafile", args->caFile,
                       "CA certificate of an mqtts:// broker with a certificate of its own "
                       "(default: the system's CA store)");
    command.add_option("--mqtt-prefix", args->prefix,
                       "Home Assistant's discovery prefix (default homeassistant)");
    command.add_flag("--mqtt-read-only", args->readOnly,
                     "Publish the device's state but take no commands");
    return args;
}

bool mqttConfig(const MqttArguments& args, const char* passwordVariable, MqttConfig* config,
                bool* enabled, std::string* complaint) {
    *enabled = !args.url.empty();
    if (!*enabled) {
        const bool stray = !args.passwordFile.empty() || !args.caFile.empty() || args.readOnly ||
                           args.prefix != kDefaultPrefix;
        if (stray)
            return fail(complaint, "the --mqtt-... options need --mqtt URL");
        return true;
    }
    MqttConfig c;
    if (!parseBrokerUrl(args.url, &c.broker, complaint))
        return false;
    if (!validPrefix(args.prefix, complaint))
        return false;
    c.prefix = args.prefix;
    c.readOnly = args.readOnly;
    if (!args.caFile.empty()) {
        if (!c.broker.tls)
            return fail(complaint, "--mqtt-cafile is for an mqtts:// broker; this one is mqtt://");
        if (!QFile::exists(QString::fromStdString(args.caFile)))
            return fail(complaint, "the CA certificate " + args.caFile + " does not exist");
        c.caFile = args.caFile;
    }
    if (!args.passwordFile.empty()) {
        if (!readPasswordFile(args.passwordFile, &c.password, complaint))
            return false;
    } else if (passwordVariable && *passwordVariable) {
        c.password = passwordVariable;
    }
    if (!c.password.empty() && c.broker.user.empty())
        return fail(complaint, "an MQTT password needs a user name: mqtt://user@" + c.broker.host +
                                   " (the password stays out of the URL)");
    *config = c;
    return true;
}

} // namespace mqtt
