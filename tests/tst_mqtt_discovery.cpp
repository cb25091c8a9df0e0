#include "mqtt/Discovery.h"
#include "mqtt/ServiceBridge.h"
#include "mqtt/States.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QtTest>

#include <cstring>

using mqtt::CommandCheck;

namespace {

mqtt::Unit unitFor(bool readOnly, const std::string& id = "1-4.2") {
    mqtt::Unit unit;
    unit.deviceId = id;
    unit.prefix = "homeassistant";
    unit.version = "1.9";
    unit.readOnly = readOnly;
    return unit;
}

QStringList strings(const QJsonValue& value) {
    QStringList out;
    for (const QJsonValue& v : value.toArray())
        out << v.toString();
    return out;
}

QString stateOf(const std::vector<mqtt::Message>& messages, const std::string& topic) {
    for (const mqtt::Message& m : messages)
        if (m.topic == topic)
            return QString::fromStdString(m.payload);
    return "(missing)";
}

} // namespace

class MqttDiscoveryTest : public QObject {
    Q_OBJECT
private slots:
    void documents_data();
    void documents();
    void settingsFromTable();
    void nodeIds_data();
    void nodeIds();
    void states();
    void commands_data();
    void commands();
    void serviceDocuments();
};

void MqttDiscoveryTest::documents_data() {
    QTest::addColumn<bool>("readOnly");
    QTest::newRow("commands") << false;
    QTest::newRow("read-only") << true;
}

// Every document, as Home Assistant reads it: parsed from its text, with the
// keys its platform needs, unique IDs that carry the device ID and never
// repeat, and command topics exactly where commands are taken.
void MqttDiscoveryTest::documents() {
    QFETCH(bool, readOnly);
    const mqtt::Unit unit = unitFor(readOnly);
    const QString node = QString::fromStdString(mqtt::nodeId(unit.deviceId));
    QSet<QString> uniqueIds;
    QSet<QString> topics;
    int commandTopics = 0;
    for (const mqtt::Entity& e : mqtt::entities(unit)) {
        const QByteArray text = QJsonDocument(mqtt::discoveryDocument(unit, e)).toJson();
        QJsonParseError error;
        const QJsonObject doc = QJsonDocument::fromJson(text, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        const QString what = QString::fromStdString(e.object);

        for (const char* key : {"name", "unique_id", "state_topic"})
            QVERIFY2(!doc[key].toString().isEmpty(), qPrintable(what + " lacks " + key));
        const QString id = doc["unique_id"].toString();
        QVERIFY2(id.contains(node), qPrintable(id));
        QVERIFY2(!uniqueIds.contains(id), qPrintable("repeated " + id));
        uniqueIds.insert(id);
        const QString topic = QString::fromStdString(mqtt::discoveryTopic(unit, e));
        QVERIFY(topic.startsWith("homeassistant/" + QString::fromStdString(e.platform) + "/"));
        QVERIFY(topic.endsWith("/config"));
        QVERIFY(!topics.contains(topic));
        topics.insert(topic);

        const QJsonObject device = doc["device"].toObject();
        QCOMPARE(strings(device["identifiers"]), QStringList{"korvanta_" + node});
        QVERIFY(!doc["availability"].toArray().isEmpty());
        QCOMPARE(doc["availability"].toArray()[0].toObject()["topic"].toString(),
                 QString::fromStdString(mqtt::availabilityTopic(unit)));

        const QString command = doc["command_topic"].toString();
        if (e.platform == "select" || e.platform == "switch") {
            QVERIFY(!readOnly);
            QCOMPARE(command, doc["state_topic"].toString() + "/set");
            ++commandTopics;
        } else {
            QVERIFY2(command.isEmpty(), qPrintable(what));
        }
        if (e.platform == "select")
            QCOMPARE(strings(doc["options"]).size(), static_cast<qsizetype>(e.options.size()));
        if (e.platform == "switch") {
            QCOMPARE(doc["payload_on"].toString(), "on");
            QCOMPARE(doc["payload_off"].toString(), "off");
        }
    }
    QVERIFY(readOnly ? commandTopics == 0 : commandTopics > 0);
    for (const char* object : {"format", "colour", "source", "hdr-input", "chain-top", "chain-bot",
                               "connected", "input"}) {
        const bool found = std::any_of(topics.begin(), topics.end(), [&](const QString& t) {
            return t.endsWith(QString("/") + object + "/config");
        });
        QVERIFY2(found, object);
    }
}

// The entities follow the settings table: every setting `korvanta set` takes
// that the block holds, with its own words as options.
void MqttDiscoveryTest::settingsFromTable() {
    const mqtt::Unit unit = unitFor(false);
    const std::vector<mqtt::Entity> list = mqtt::entities(unit);
    int named = 0;
    for (const settings::Setting& s : settings::allSettings()) {
        if (!s.name || s.index < 0 || s.position < 0)
            continue;
        ++named;
        auto it = std::find_if(list.begin(), list.end(),
                               [&](const mqtt::Entity& e) { return e.setting == &s; });
        QVERIFY2(it != list.end(), s.name);
        QCOMPARE(it->object, std::string(s.name));
        QCOMPARE(it->options.size(), s.valueNames.size());
        const bool offOn = s.valueNames.size() == 2 && !std::strcmp(s.valueNames[1].name, "on");
        QCOMPARE(it->platform, std::string(offOn ? "switch" : "select"));
    }
    QVERIFY(named >= 20);
    const auto input = std::find_if(list.begin(), list.end(),
                                    [](const mqtt::Entity& e) { return e.object == "input"; });
    QVERIFY(input != list.end());
    QCOMPARE(input->platform, std::string("select"));
    QCOMPARE(input->options, (std::vector<std::string>{"a", "b", "matrix-thru", "matrix-swap"}));
}

void MqttDiscoveryTest::nodeIds_data() {
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::newRow("dot and underscore") << "1-2.3"
                                        << "1-2_3";
    QTest::newRow("dash and dot") << "1-2"
                                  << "1.2";
    QTest::newRow("slash") << "usb/1"
                           << "usb_1";
    QTest::newRow("case") << "ABC"
                          << "abc";
}

// Two device IDs never share a topic or an ID, and every one is a valid
// Home Assistant object ID.
void MqttDiscoveryTest::nodeIds() {
    QFETCH(QString, first);
    QFETCH(QString, second);
    const std::string a = mqtt::nodeId(first.toStdString());
    const std::string b = mqtt::nodeId(second.toStdString());
    QVERIFY(a != b);
    for (const std::string& node : {a, b})
        for (const char c : node)
            QVERIFY2(std::isalnum(static_cast<unsigned char>(c)) || c == '_', node.c_str());
}

void MqttDiscoveryTest::states() {
    for (const bool readOnly : {false, true}) {
        const mqtt::Unit unit = unitFor(readOnly);
        const std::string base = mqtt::baseTopic(unit) + "/";
        std::uint8_t block[kSettingsBlockSize] = {};
        block[settings::blockPosition(settings::kActiveInput)] = 2;
        block[settings::blockPosition(settings::kHdr)] = 1;
        block[settings::blockPosition(settings::kEdidPreset)] = 7;
        // HDCP with no version chosen: no option of the select.
        block[settings::blockPosition(settings::kHdcpVersion)] = 1;
        const auto states = mqtt::settingStates(unit, block);
        QCOMPARE(stateOf(states, base + "input"), "b");
        QCOMPARE(stateOf(states, base + "hdr"), "on");
        QCOMPARE(stateOf(states, base + "no-3d"), "off");
        QCOMPARE(stateOf(states, base + "edid-preset"), "7");
        QCOMPARE(stateOf(states, base + "hdcp"), readOnly ? "none" : "None");
    }

    const mqtt::Unit unit = unitFor(false);
    const std::string base = mqtt::baseTopic(unit) + "/";
    StatusFields status;
    auto shown = mqtt::statusStates(unit, status);
    QCOMPARE(stateOf(shown, base + "format"), "no signal");
    QCOMPARE(stateOf(shown, base + "source"), "none");
    status.formatCode = 97;
    status.formatName = "3840x2160p60";
    status.colourSpace = "YCbCr 4:2:0";
    status.colorimetry = "ITU-R BT.2020";
    status.vendor = "ACME";
    status.product = "Player";
    status.hdrEotf = "SMPTE ST 2084";
    shown = mqtt::statusStates(unit, status);
    QCOMPARE(stateOf(shown, base + "format"), "3840x2160p60");
    QCOMPARE(stateOf(shown, base + "colour"), "YCbCr 4:2:0, ITU-R BT.2020");
    QCOMPARE(stateOf(shown, base + "source"), "ACME Player");
    QCOMPARE(stateOf(shown, base + "hdr-input"), "SMPTE ST 2084");

    chain::ChainReport report;
    report.outputs[0].verdict = chain::Verdict::WontShow;
    report.outputs[1].verdict = chain::Verdict::NoDisplay;
    const auto verdicts = mqtt::chainStates(unit, report);
    QCOMPARE(stateOf(verdicts, base + "chain-top"), "wont-show");
    QCOMPARE(stateOf(verdicts, base + "chain-bot"), "no-display");

    const auto lost = mqtt::connectionStates(unit, false);
    QCOMPARE(stateOf(lost, mqtt::deviceTopic(unit)), "offline");
    QCOMPARE(stateOf(lost, base + "connected"), "OFF");
}

void MqttDiscoveryTest::commands_data() {
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("object"); // korvanta/<node>/<object>/set; starting "/": a topic
    QTest::addColumn<QString>("payload");
    QTest::addColumn<int>("check");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("value");

    const int ok = int(CommandCheck::Accepted);
    const int refused = int(CommandCheck::Refused);
    const int other = int(CommandCheck::NotACommand);
    QTest::newRow("input b") << false << "input"
                             << "b" << ok << settings::kActiveInput << 2;
    QTest::newRow("any case") << false << "input"
                              << "Matrix-Swap" << ok << settings::kActiveInput << 4;
    QTest::newRow("raw") << false << "input"
                         << "raw:3" << ok << settings::kActiveInput << 3;
    QTest::newRow("no such input") << false << "input"
                                   << "c" << refused << 0 << 0;
    QTest::newRow("raw out of range") << false << "input"
                                      << "raw:9" << refused << 0 << 0;
    QTest::newRow("empty") << false << "input"
                           << "" << refused << 0 << 0;
    QTest::newRow("switch on") << false << "hdr"
                               << "on" << ok << settings::kHdr << 1;
    QTest::newRow("hdcp by name") << false << "hdcp"
                                  << "2.2" << ok << settings::kHdcpVersion << 3;
    // The trap `korvanta set` avoids: "2" is no HDCP version.
    QTest::newRow("hdcp bare 2") << false << "hdcp"
                                 << "2" << refused << 0 << 0;
    QTest::newRow("preset") << false << "edid-preset"
                            << "8" << ok << settings::kEdidPreset << 8;
    QTest::newRow("sensor") << false << "format"
                            << "x" << refused << 0 << 0;
    QTest::newRow("unknown") << false << "no-such"
                             << "on" << refused << 0 << 0;
    QTest::newRow("state topic") << false << "/korvanta/1_2d4_2e2/input"
                                 << "b" << other << 0 << 0;
    QTest::newRow("other unit") << false << "/korvanta/9/input/set"
                                << "b" << other << 0 << 0;
    QTest::newRow("read-only") << true << "input"
                               << "b" << other << 0 << 0;
}

void MqttDiscoveryTest::commands() {
    QFETCH(bool, readOnly);
    QFETCH(QString, object);
    QFETCH(QString, payload);
    QFETCH(int, check);
    const mqtt::Unit unit = unitFor(readOnly);
    const std::string topic = object.startsWith('/')
                                  ? object.mid(1).toStdString()
                                  : mqtt::baseTopic(unit) + "/" + object.toStdString() + "/set";
    mqtt::Command command;
    std::string complaint;
    QCOMPARE(int(mqtt::checkCommand(unit, topic, payload.toStdString(), &command, &complaint)),
             check);
    if (check == int(CommandCheck::Accepted)) {
        QFETCH(int, index);
        QFETCH(int, value);
        QCOMPARE(command.setting->index, index);
        QCOMPARE(command.value, value);
    }
    if (check == int(CommandCheck::Refused))
        QVERIFY(!complaint.empty());
}

// The status fields as the bridge takes them from the service's reading:
// empty fields show as their states' own words.
void MqttDiscoveryTest::serviceDocuments() {
    StatusFields f;
    f.formatCode = 16;
    f.formatName = "1920x1080p60";
    f.hdmi = true;
    f.outputs = {"TX A"};
    f.colourSpace = "RGB";
    f.vendor = "ACME";
    const mqtt::Unit unit = unitFor(false);
    const auto shown = mqtt::statusStates(unit, f);
    const std::string base = mqtt::baseTopic(unit) + "/";
    QCOMPARE(stateOf(shown, base + "colour"), "RGB");
    QCOMPARE(stateOf(shown, base + "source"), "ACME");
    QCOMPARE(stateOf(shown, base + "hdr-input"), "none");
}

QTEST_GUILESS_MAIN(MqttDiscoveryTest)
#include "tst_mqtt_discovery.moc"
