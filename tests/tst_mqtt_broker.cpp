// The bridge against a real broker: Debian's mosquitto, started here on
// 127.0.0.1 at a free port, watched with mosquitto_sub and fed with
// mosquitto_pub. The device service is stood in for by a small fake that
// owns the simulated device and runs each queued write, then the readback.
#include "TestPlatform.h"
#include "mqtt/Bridge.h"
#include "mqtt/Discovery.h"
#include "session/DeviceOps.h"
#include "session/Readback.h"
#include "settings/SettingsMap.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

namespace {

constexpr int kWaitMs = 10000;

class QuietReporter : public session::Reporter {
public:
    void status(session::Level, const char*, int) override {}
    void diagnostic(const char*) override {}
};

// What `korvanta serve` does around the bridge, on the simulated device.
struct FakeService {
    TestPlatform platform;
    QuietReporter reporter;
    std::unique_ptr<mqtt::Bridge> bridge;

    FakeService(const std::string& deviceId, quint16 port, const std::string& prefix,
                bool readOnly) {
        platform.openDirectly();
        platform.device().settings[settings::blockPosition(settings::kActiveInput)] = 1;
        mqtt::BridgeSetup setup;
        setup.config.broker.host = "127.0.0.1";
        setup.config.broker.port = port;
        setup.config.prefix = prefix;
        setup.config.readOnly = readOnly;
        setup.deviceId = deviceId;
        setup.hostName = "testhost";
        setup.version = "1.9";
        bridge = std::make_unique<mqtt::Bridge>(setup, [this](int index, int value) {
            // The service's queue runs it later, then reads back.
            QTimer::singleShot(0, bridge.get(), [this, index, value] {
                session::writeSetting(reporter, static_cast<std::uint8_t>(index), value);
                readback();
            });
        });
        readback();
        bridge->deviceFound();
    }
    void readback() {
        std::uint8_t block[kSettingsBlockSize] = {};
        if (session::readSettingsBlock(reporter, block) == session::BlockRead::Ok)
            bridge->settingsRead(block);
    }
    bool start() {
        std::string complaint;
        return bridge->start(&complaint);
    }
};

quint16 freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

QString tool(const char* name) {
    QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(name, {"/usr/sbin", "/usr/local/sbin"});
    return path;
}

QString stateTopic(const mqtt::Unit& unit, const char* object) {
    return QString::fromStdString(mqtt::baseTopic(unit)) + "/" + object;
}

QString korvantaProgram() {
    const QString program = qEnvironmentVariable("KORVANTA_CLI");
    return program.isEmpty() ? QCoreApplication::applicationDirPath() + "/../cli/korvanta"
                             : program;
}

// Writes of the input setting in a trace file.
int inputWritesIn(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    int n = 0;
    while (!file.atEnd()) {
        const QString line = QString::fromLatin1(file.readLine());
        if (line.startsWith('#'))
            continue;
        const QStringList request = line.section('\t', 1, 1).split(' ');
        n += request.value(0) == "10" && request.value(2) == "E0" && request.value(3) == "00";
    }
    return n;
}

int inputWrites(TestPlatform& platform) {
    int n = 0;
    for (const QString& w : settingWrites(platform.requests()))
        n += w.split(' ').value(3) == "00"; // the setting index byte
    return n;
}

} // namespace

class MqttBrokerTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void discoveryRetained();
    void commandWritesSetting();
    void readOnly();
    void retainedCommandIgnored();
    void modeChangeRemovesOtherDocuments();
    void cleanStop();
    void reconnectsAfterBrokerRestart();
    void serveEndToEnd();
    void lastWillOnKill();
    void sceneButtonRecalls();

private:
    void startBroker();
    QProcessEnvironment serveEnvironment() const;
    bool startServe(QProcess* serve, const QStringList& extra);
    // The first discovery document whose topic starts and ends so.
    QJsonObject document(const QString& start, const QString& end) const;
    // The newest payload seen on a topic; null when none.
    QString lastPayload(const QString& topic) const;
    // Lines "<retained> <topic> <payload>" from a subscriber that runs
    // through the whole test.
    void watch(const QStringList& filters);
    bool seen(const QString& topic, const QString& payload) const;
    // What a fresh subscriber gets: the retained messages only.
    QStringList retained(const QString& filter, int count, int waitSeconds = 5);
    void publish(const QString& topic, const QString& payload);

    QTemporaryDir dir_;
    QProcess broker_;
    QString mosquitto_;
    quint16 port_ = 0;
    QString sub_, pub_;
    std::unique_ptr<QProcess> watcher_;
    QStringList lines_;
    int marker_ = 0;
};

void MqttBrokerTest::initTestCase() {
    const QString mosquitto = tool("mosquitto");
    sub_ = tool("mosquitto_sub");
    pub_ = tool("mosquitto_pub");
    if (mosquitto.isEmpty() || sub_.isEmpty() || pub_.isEmpty())
        QFAIL("Debian's mosquitto and mosquitto-clients are needed for this test and are not "
              "installed (scripts/setup installs them: apt-get install mosquitto "
              "mosquitto-clients)");
    QVERIFY(dir_.isValid());
    port_ = freePort();
    QVERIFY(port_ != 0);
    QFile conf(dir_.filePath("mosquitto.conf"));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    QByteArray text = "listener " + QByteArray::number(port_) +
                      " 127.0.0.1\nallow_anonymous true\npersistence false\nlog_dest stderr\n";
    // As root it drops to the mosquitto user, who cannot read our folder.
    if (::geteuid() == 0)
        text += "user root\n";
    conf.write(text);
    conf.close();
    mosquitto_ = mosquitto;
    startBroker();
}

void MqttBrokerTest::startBroker() {
    broker_.setProcessChannelMode(QProcess::MergedChannels);
    broker_.start(mosquitto_, {"-c", dir_.filePath("mosquitto.conf")});
    QVERIFY2(broker_.waitForStarted(kWaitMs), qPrintable(broker_.errorString()));
    QByteArray log;
    while (!log.contains(" running")) {
        if (!broker_.waitForReadyRead(kWaitMs))
            QFAIL(qPrintable("mosquitto did not start listening:\n" + log));
        log += broker_.readAll();
    }
}

void MqttBrokerTest::cleanupTestCase() {
    if (watcher_) {
        watcher_->kill();
        watcher_->waitForFinished();
    }
    broker_.terminate();
    broker_.waitForFinished(kWaitMs);
}

void MqttBrokerTest::watch(const QStringList& filters) {
    if (watcher_) {
        watcher_->kill();
        watcher_->waitForFinished();
    }
    lines_.clear();
    watcher_ = std::make_unique<QProcess>();
    connect(watcher_.get(), &QProcess::readyReadStandardOutput, this, [this] {
        while (watcher_->canReadLine())
            lines_ << QString::fromUtf8(watcher_->readLine()).trimmed();
    });
    // A retained marker tells when the subscription stands.
    const QString marker = "korvanta-test/marker";
    const QString word = QString::number(++marker_);
    QProcess::execute(
        pub_, {"-h", "127.0.0.1", "-p", QString::number(port_), "-r", "-t", marker, "-m", word});
    QStringList args{"-h", "127.0.0.1", "-p", QString::number(port_),
                     "-F", "%r %t %p",  "-t", marker};
    for (const QString& f : filters)
        args << "-t" << f;
    watcher_->start(sub_, args);
    QTRY_VERIFY_WITH_TIMEOUT(seen(marker, word), kWaitMs);
}

bool MqttBrokerTest::seen(const QString& topic, const QString& payload) const {
    const QString tail = " " + topic + " " + payload;
    return std::any_of(lines_.begin(), lines_.end(),
                       [&](const QString& line) { return line.mid(1) == tail; });
}

QStringList MqttBrokerTest::retained(const QString& filter, int count, int waitSeconds) {
    QProcess p;
    p.start(sub_, {"-h", "127.0.0.1", "-p", QString::number(port_), "-F", "%r %t %p", "-t", filter,
                   "-C", QString::number(count), "-W", QString::number(waitSeconds)});
    p.waitForFinished(kWaitMs);
    QStringList out = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    return out;
}

void MqttBrokerTest::publish(const QString& topic, const QString& payload) {
    QCOMPARE(QProcess::execute(pub_, {"-h", "127.0.0.1", "-p", QString::number(port_), "-t", topic,
                                      "-m", payload}),
             0);
}

// Every entity's document, retained where a Home Assistant that starts later
// still finds it, with the availability and the states.
void MqttBrokerTest::discoveryRetained() {
    FakeService service("1-4", port_, "ha1", false);
    const mqtt::Unit unit = service.bridge->unit();
    watch({"korvanta/#"});
    QVERIFY(service.start());
    QTRY_VERIFY_WITH_TIMEOUT(seen(QString::fromStdString(mqtt::availabilityTopic(unit)), "online"),
                             kWaitMs);

    const std::vector<mqtt::Entity> list = mqtt::entities(unit);
    const QStringList docs = retained("ha1/#", static_cast<int>(list.size()));
    QCOMPARE(docs.size(), static_cast<qsizetype>(list.size()));
    QSet<QString> topics;
    for (const QString& line : docs) {
        const QStringList parts = line.split(' ');
        QCOMPARE(parts.value(0), "1");
        topics.insert(parts.value(1));
        const QJsonObject doc = QJsonDocument::fromJson(line.section(' ', 2).toUtf8()).object();
        QVERIFY2(doc["unique_id"].toString().contains("1_2d4"), qPrintable(line));
    }
    for (const mqtt::Entity& e : list)
        QVERIFY(topics.contains(QString::fromStdString(mqtt::discoveryTopic(unit, e))));

    const QStringList states = retained(stateTopic(unit, "input"), 1);
    QCOMPARE(states, QStringList{"1 " + stateTopic(unit, "input") + " a"});
    QCOMPARE(retained(stateTopic(unit, "connected"), 1),
             QStringList{"1 " + stateTopic(unit, "connected") + " ON"});
}

// A bad value is dropped with nothing sent; a good one is one setting write,
// and its state comes back once the readback has it.
void MqttBrokerTest::commandWritesSetting() {
    FakeService service("1-5", port_, "ha2", false);
    const mqtt::Unit unit = service.bridge->unit();
    watch({"korvanta/#"});
    QVERIFY(service.start());
    QTRY_VERIFY_WITH_TIMEOUT(seen(stateTopic(unit, "input"), "a"), kWaitMs);
    QSignalSpy queued(service.bridge.get(), &mqtt::Bridge::commandQueued);

    const QString command = stateTopic(unit, "input") + "/set";
    publish(command, "c");
    publish(command, "raw:9");
    publish(command, "matrix-swap");
    QTRY_VERIFY_WITH_TIMEOUT(seen(stateTopic(unit, "input"), "matrix-swap"), kWaitMs);
    QCOMPARE(queued.size(), 1);
    QCOMPARE(inputWrites(service.platform), 1);
    QCOMPARE(service.platform.device().settings[settings::blockPosition(settings::kActiveInput)],
             4);

    publish(stateTopic(unit, "hdr") + "/set", "on");
    QTRY_VERIFY_WITH_TIMEOUT(seen(stateTopic(unit, "hdr"), "on"), kWaitMs);
    QCOMPARE(service.platform.device().settings[settings::blockPosition(settings::kHdr)], 1);
    QCOMPARE(retained(stateTopic(unit, "input"), 1),
             QStringList{"1 " + stateTopic(unit, "input") + " matrix-swap"});
}

// Read-only: no command topics offered or heard. Home Assistant's birth
// message brings the documents again, after the command was delivered.
void MqttBrokerTest::readOnly() {
    FakeService service("1-6", port_, "ha3", true);
    const mqtt::Unit unit = service.bridge->unit();
    watch({"korvanta/#", "ha3/#"});
    QVERIFY(service.start());
    QTRY_VERIFY_WITH_TIMEOUT(seen(stateTopic(unit, "input"), "a"), kWaitMs);
    for (const QString& line : lines_)
        QVERIFY2(!line.contains("command_topic"), qPrintable(line));

    publish(stateTopic(unit, "input") + "/set", "b");
    const mqtt::Entity input = mqtt::entities(unit).front();
    const QString inputDoc = QString::fromStdString(mqtt::discoveryTopic(unit, input));
    const auto documents = [&] {
        return std::count_if(lines_.begin(), lines_.end(),
                             [&](const QString& l) { return l.contains(inputDoc); });
    };
    const auto before = documents();
    publish("ha3/status", "online");
    QTRY_VERIFY_WITH_TIMEOUT(documents() > before, kWaitMs);
    QCOMPARE(inputWrites(service.platform), 0);
    QVERIFY(!seen(stateTopic(unit, "input"), "b"));
}

// A command left retained on the broker, by anyone, is not a command: the
// bridge gets it with its subscription and must not act on it. One sent now,
// after it, is.
void MqttBrokerTest::retainedCommandIgnored() {
    FakeService service("1-10", port_, "ha10", false);
    const mqtt::Unit unit = service.bridge->unit();
    const QString command = stateTopic(unit, "input") + "/set";
    QCOMPARE(QProcess::execute(pub_, {"-h", "127.0.0.1", "-p", QString::number(port_), "-r", "-t",
                                      command, "-m", "b"}),
             0);
    watch({"korvanta/#"});
    QVERIFY(service.start());
    QTRY_VERIFY_WITH_TIMEOUT(seen(stateTopic(unit, "input"), "a"), kWaitMs);
    publish(command, "matrix-swap");
    QTRY_VERIFY_WITH_TIMEOUT(seen(stateTopic(unit, "input"), "matrix-swap"), kWaitMs);
    QCOMPARE(inputWrites(service.platform), 1);
    QVERIFY(!seen(stateTopic(unit, "input"), "b"));
    QProcess::execute(pub_,
                      {"-h", "127.0.0.1", "-p", QString::number(port_), "-r", "-n", "-t", command});
}

// Read-write, then read-only on the same prefix: only the sensors remain on
// the broker, not the selects and switches of the run before.
void MqttBrokerTest::modeChangeRemovesOtherDocuments() {
    const auto run = [this](bool readOnly) {
        FakeService service("1-11", port_, "ha11", readOnly);
        const QString availability =
            QString::fromStdString(mqtt::availabilityTopic(service.bridge->unit()));
        watch({availability});
        QVERIFY(service.start());
        QTRY_VERIFY_WITH_TIMEOUT(lastPayload(availability) == "online", kWaitMs);
        service.bridge->stop();
    };
    run(false);
    run(true);
    mqtt::Unit readOnly;
    readOnly.deviceId = "1-11";
    readOnly.prefix = "ha11";
    readOnly.readOnly = true;
    const auto sensors = static_cast<qsizetype>(mqtt::entities(readOnly).size());
    const QStringList docs = retained("ha11/#", int(sensors) + 1, 1);
    QCOMPARE(docs.size(), sensors);
    for (const QString& line : docs)
        QVERIFY2(line.section(' ', 1, 1).startsWith("ha11/sensor/") ||
                     line.section(' ', 1, 1).startsWith("ha11/binary_sensor/"),
                 qPrintable(line));
}

void MqttBrokerTest::cleanStop() {
    FakeService service("1-7", port_, "ha4", false);
    const mqtt::Unit unit = service.bridge->unit();
    const QString availability = QString::fromStdString(mqtt::availabilityTopic(unit));
    watch({availability});
    QVERIFY(service.start());
    QTRY_VERIFY_WITH_TIMEOUT(seen(availability, "online"), kWaitMs);
    service.bridge->stop();
    QCOMPARE(retained(availability, 1), QStringList{"1 " + availability + " offline"});
}

// The broker goes away and comes back empty (no persistence): the bridge
// finds it again by itself and puts back its documents and availability.
void MqttBrokerTest::reconnectsAfterBrokerRestart() {
    FakeService service("1-9", port_, "ha8", false);
    const mqtt::Unit unit = service.bridge->unit();
    const QString availability = QString::fromStdString(mqtt::availabilityTopic(unit));
    watch({availability});
    QVERIFY(service.start());
    QTRY_VERIFY_WITH_TIMEOUT(seen(availability, "online"), kWaitMs);
    watcher_->kill();
    watcher_->waitForFinished();
    watcher_.reset();
    lines_.clear();

    broker_.terminate();
    QVERIFY(broker_.waitForFinished(kWaitMs));
    startBroker();
    // The test's waits keep the event loop turning, so the bridge can retry.
    watch({availability});
    QTRY_VERIFY_WITH_TIMEOUT(seen(availability, "online"), 3 * kWaitMs);
    const mqtt::Entity input = mqtt::entities(unit).front();
    const QString doc = QString::fromStdString(mqtt::discoveryTopic(unit, input));
    QVERIFY(retained(doc, 1).value(0).startsWith("1 " + doc + " {"));
}

// korvanta serve itself, on the simulated device: the bridge is fed by the
// service's notifications and writes through the service's queue.
void MqttBrokerTest::serveEndToEnd() {
    watch({"ha6/#", "korvanta/#"});
    QProcess serve;
    QVERIFY(startServe(&serve, {"--mqtt-prefix", "ha6", "--trace", dir_.filePath("serve.log")}));
    QJsonObject input;
    QTRY_VERIFY_WITH_TIMEOUT(!(input = document("ha6/select/", "/input/config")).isEmpty(),
                             kWaitMs);
    const QString state = input["state_topic"].toString();
    const QString command = input["command_topic"].toString();
    const QString availability = input["availability"].toArray()[0].toObject()["topic"].toString();
    QCOMPARE(command, state + "/set");
    QTRY_VERIFY_WITH_TIMEOUT(!lastPayload(state).isNull(), kWaitMs);
    const QString target = lastPayload(state) == "b" ? "a" : "b";

    publish(command, "c");
    publish(command, target);
    QTRY_VERIFY_WITH_TIMEOUT(lastPayload(state) == target, kWaitMs);
    QCOMPARE(inputWritesIn(dir_.filePath("serve.log")), 1);
    QProcess get;
    get.setProcessEnvironment(serveEnvironment());
    get.start(korvantaProgram(), {"get", "input"});
    QVERIFY(get.waitForFinished(kWaitMs));
    QCOMPARE(get.readAllStandardOutput().trimmed(), ("input=" + target).toUtf8());

    const QString base = state.section('/', 0, 1);
    QTRY_VERIFY_WITH_TIMEOUT(!lastPayload(base + "/chain-top").isNull(), kWaitMs);
    QVERIFY(QStringList({"fine", "degraded", "wont-show", "unknown", "no-display"})
                .contains(lastPayload(base + "/chain-top")));
    QCOMPARE(lastPayload(base + "/connected"), "ON");

    serve.terminate();
    QVERIFY(serve.waitForFinished(kWaitMs));
    QCOMPARE(serve.exitCode(), 0);
    QCOMPARE(retained(availability, 1), QStringList{"1 " + availability + " offline"});
}

// A service that dies without a word leaves "offline" behind: the last will.
void MqttBrokerTest::lastWillOnKill() {
    watch({"ha7/#", "korvanta/#"});
    QProcess serve;
    QVERIFY(startServe(&serve, {"--mqtt-prefix", "ha7", "--mqtt-read-only"}));
    QJsonObject input;
    QTRY_VERIFY_WITH_TIMEOUT(!(input = document("ha7/sensor/", "/input/config")).isEmpty(),
                             kWaitMs);
    QVERIFY(!input.contains("command_topic"));
    const QString availability = input["availability"].toArray()[0].toObject()["topic"].toString();
    QTRY_VERIFY_WITH_TIMEOUT(lastPayload(availability) == "online", kWaitMs);
    serve.kill();
    QVERIFY(serve.waitForFinished(kWaitMs));
    QTRY_VERIFY_WITH_TIMEOUT(lastPayload(availability) == "offline", kWaitMs);
    QCOMPARE(retained(availability, 1), QStringList{"1 " + availability + " offline"});
}

// A scene is a button in Home Assistant and the Scene select says which was
// recalled; a scene deleted while the service runs takes its button along.
void MqttBrokerTest::sceneButtonRecalls() {
    QVERIFY(QDir().mkpath(dir_.filePath("config/korvanta/scenes")));
    QFile scene(dir_.filePath("config/korvanta/scenes/Films.json"));
    QVERIFY(scene.open(QIODevice::WriteOnly));
    scene.write(R"({"format": "korvanta-backup", "formatVersion": 1, "settings": {"hdr": "off"}})");
    scene.close();
    watch({"ha8/#", "korvanta/#"});
    QProcess serve;
    QVERIFY(startServe(&serve, {"--mqtt-prefix", "ha8"}));
    QJsonObject button, select;
    QTRY_VERIFY_WITH_TIMEOUT(!(button = document("ha8/button/", "/scene-Films/config")).isEmpty(),
                             kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!(select = document("ha8/select/", "/scene/config")).isEmpty(),
                             kWaitMs);
    QCOMPARE(select["options"].toArray(), (QJsonArray{"none", "Films"}));
    const QString state = select["state_topic"].toString();
    QTRY_COMPARE_WITH_TIMEOUT(lastPayload(state), QString("none"), kWaitMs);

    publish(button["command_topic"].toString(), "PRESS");
    QTRY_COMPARE_WITH_TIMEOUT(lastPayload(state), QString("Films"), kWaitMs);
    QProcess get;
    get.setProcessEnvironment(serveEnvironment());
    get.start(korvantaProgram(), {"get", "hdr"});
    QVERIFY(get.waitForFinished(kWaitMs));
    QCOMPARE(get.readAllStandardOutput().trimmed(), QByteArray("hdr=off"));

    const QString buttonTopic = lines_.filter("/scene-Films/config").first().section(' ', 1, 1);
    QVERIFY(scene.remove());
    QTRY_VERIFY_WITH_TIMEOUT(retained(buttonTopic, 1, 1).isEmpty(), kWaitMs);
    serve.terminate();
    QVERIFY(serve.waitForFinished(kWaitMs));
}

QProcessEnvironment MqttBrokerTest::serveEnvironment() const {
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("XDG_RUNTIME_DIR", dir_.filePath("run"));
    e.insert("KORVANTA_LINK", "simulator");
    e.insert("XDG_CONFIG_HOME", dir_.filePath("config"));
    for (const char* name : {"KORVANTA_TRACE", "KORVANTA_SIM_FAULTS", "KORVANTA_SIM_STATE",
                             "KORVANTA_SOCKET", "KORVANTA_DEVICE", "KORVANTA_MQTT_PASSWORD"})
        e.remove(name);
    return e;
}

bool MqttBrokerTest::startServe(QProcess* serve, const QStringList& extra) {
    QDir(dir_.path()).mkpath("run");
    QFile::setPermissions(dir_.filePath("run"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    serve->setProcessEnvironment(serveEnvironment());
    serve->setReadChannel(QProcess::StandardError);
    serve->start(korvantaProgram(), QStringList{"serve", "--poll-ms", "100", "--mqtt",
                                                "mqtt://127.0.0.1:" + QString::number(port_)} +
                                        extra);
    QByteArray said;
    while (serve->waitForReadyRead(kWaitMs)) {
        said += serve->readAllStandardError();
        if (said.contains("serving device"))
            return true;
    }
    qWarning("serve said: %s", said.constData());
    return false;
}

QJsonObject MqttBrokerTest::document(const QString& start, const QString& end) const {
    for (const QString& line : lines_) {
        const QString topic = line.section(' ', 1, 1);
        if (topic.startsWith(start) && topic.endsWith(end))
            return QJsonDocument::fromJson(line.section(' ', 2).toUtf8()).object();
    }
    return {};
}

QString MqttBrokerTest::lastPayload(const QString& topic) const {
    for (auto it = lines_.rbegin(); it != lines_.rend(); ++it)
        if (it->section(' ', 1, 1) == topic)
            return it->section(' ', 2);
    return {};
}

QTEST_GUILESS_MAIN(MqttBrokerTest)
#include "tst_mqtt_broker.moc"
