// Telling units apart: IDs from serial and location, picking one, the
// runtime folder their sockets and locks live in, the simulator's units
// with their plug file, and the lock between two processes.
#include "TestPlatform.h"
#include "link/DeviceIds.h"
#include "link/DeviceLock.h"
#include "link/RuntimePaths.h"
#include "link/UsbLink.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

namespace {

// A bus whose answers are scripted per index; an empty text fails the call.
class ScriptedBus : public UsbLibrary {
public:
    std::vector<std::string> serials;
    std::vector<std::string> locations;

    int getNumDevices(std::uint32_t* count) override {
        *count = std::uint32_t(serials.size());
        return kSuccess;
    }
    int getProductString(std::uint32_t index, char* buffer, std::uint32_t) override {
        return answer(serials, index, buffer);
    }
    int getDeviceLocation(std::uint32_t index, char* buffer) override {
        return answer(locations, index, buffer);
    }
    int open(std::uint32_t, DeviceHandle*) override { return 1; }
    int close(DeviceHandle) override { return 1; }
    int read(DeviceHandle, std::uint8_t*, std::uint32_t, std::uint32_t*) override { return 1; }
    int write(DeviceHandle, const std::uint8_t*, std::uint32_t, std::uint32_t*) override {
        return 1;
    }
    int flushBuffers(DeviceHandle, std::uint8_t, std::uint8_t) override { return 1; }
    int setTimeouts(std::uint32_t, std::uint32_t) override { return 0; }
    int getTimeouts(std::uint32_t*, std::uint32_t*) override { return 0; }
    int checkRxQueue(DeviceHandle, std::uint32_t*, std::uint32_t*) override { return 1; }

private:
    static int answer(const std::vector<std::string>& texts, std::uint32_t index, char* buffer) {
        if (index >= texts.size() || texts[index].empty())
            return 1;
        std::snprintf(buffer, kStringBufferSize, "%s", texts[index].c_str());
        return kSuccess;
    }
};

struct BusPlatform {
    ScriptedBus bus;
    ScriptedDialogs dialogs;
    VirtualClock clock{0};
    BusPlatform() {
        resetAppState();
        platform() = Platform{&bus, &clock, &dialogs, nullptr};
    }
    ~BusPlatform() { platform() = Platform{}; }
};

QString ids(const std::vector<DeviceEntry>& devices) {
    return QString::fromStdString(joinIds(devices));
}

// Set for one scope, then as it was.
struct EnvVar {
    QByteArray name, old;
    bool had;
    EnvVar(const char* n, const QByteArray& value)
        : name(n), old(qgetenv(n)), had(qEnvironmentVariableIsSet(n)) {
        if (value.isNull())
            qunsetenv(n);
        else
            qputenv(n, value);
    }
    ~EnvVar() {
        if (had)
            qputenv(name, old);
        else
            qunsetenv(name);
    }
};

} // namespace

class DeviceIdsTest : public QObject {
    Q_OBJECT

private slots:
    void idRule_data();
    void idRule();
    void knownDevicesAreTheProductOnly();
    void pick_data();
    void pick();
    void fileNames_data();
    void fileNames();
    void runtimeFolder();
    void runtimeFolderRefused_data();
    void runtimeFolderRefused();
    void socketPaths();
    void simUnitsAndPlug();
    void lockBetweenProcesses();
    void openRefusedWhenTheLockCannotBeTaken();
    void openRefusedWhileAnotherHoldsTheLock();
};

void DeviceIdsTest::idRule_data() {
    QTest::addColumn<bool>("serialRead");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<bool>("located");
    QTest::addColumn<QString>("location");
    QTest::addColumn<QString>("id");
    QTest::newRow("shared serial: location") << true << "2023" << true << "1-2.3"
                                             << "1-2.3";
    QTest::newRow("own serial wins") << true << "A17" << true << "1-2.3"
                                     << "A17";
    QTest::newRow("unreadable serial") << false << "A17" << true << "3-1"
                                       << "3-1";
    QTest::newRow("empty serial") << true << "" << true << "3-1"
                                  << "3-1";
    QTest::newRow("nowhere") << true << "2023" << false << ""
                             << "device-4";
    QTest::newRow("empty location") << true << "2023" << true << ""
                                    << "device-4";
}

void DeviceIdsTest::idRule() {
    QFETCH(bool, serialRead);
    QFETCH(QString, serial);
    QFETCH(bool, located);
    QFETCH(QString, location);
    QFETCH(QString, id);
    QCOMPARE(QString::fromStdString(
                 deviceIdFor(serialRead, serial.toStdString(), located, location.toStdString(), 4)),
             id);
}

void DeviceIdsTest::knownDevicesAreTheProductOnly() {
    BusPlatform p;
    p.bus.serials = {"1999", "2023", "", "2023", "2023", "2023"};
    p.bus.locations = {"1-1", "1-2", "1-3", "", "2-4.1", "1-2"};
    const std::vector<DeviceEntry> found = knownDevices();
    QCOMPARE(ids(found), QString("1-2, device-3, 2-4.1"));
    QCOMPARE(found[0].index, 1u); // the first of two claiming 1-2
    QCOMPARE(found[2].index, 4u);
    QCOMPARE(QString::fromStdString(found[2].serial), QString("2023"));
}

void DeviceIdsTest::pick_data() {
    QTest::addColumn<QStringList>("locations"); // each a unit "2023"
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<int>("index"); // -1: refused
    QTest::addColumn<bool>("several");
    QTest::addColumn<QString>("complaint");
    QTest::newRow("none") << QStringList{} << "" << -1 << false << "KORVANTA USB not connected!";
    QTest::newRow("only one") << QStringList{"1-4"} << "" << 0 << false << "";
    QTest::newRow("several, none named") << QStringList{"1-4", "1-5"} << "" << -1 << true
                                         << "2 KORVANTA units are connected: 1-4, 1-5";
    QTest::newRow("named") << QStringList{"1-4", "1-5"} << "1-5" << 1 << false << "";
    QTest::newRow("named, the only one") << QStringList{"1-4"} << "1-4" << 0 << false << "";
    QTest::newRow("unknown") << QStringList{"1-4", "1-5"} << "1-6" << -1 << false
                             << "no KORVANTA with the ID \"1-6\" is connected; connected: 1-4, 1-5";
    QTest::newRow("unknown, none there")
        << QStringList{} << "1-6" << -1 << false
        << "no KORVANTA with the ID \"1-6\" is connected; none is connected";
    QTest::newRow("prefix is not a match") << QStringList{"1-4"} << "1-" << -1 << false
                                           << "no KORVANTA with the ID \"1-\" is connected; "
                                              "connected: 1-4";
}

void DeviceIdsTest::pick() {
    QFETCH(QStringList, locations);
    QFETCH(QString, wanted);
    QFETCH(int, index);
    QFETCH(bool, several);
    QFETCH(QString, complaint);
    BusPlatform p;
    for (const QString& l : locations) {
        p.bus.serials.push_back("2023");
        p.bus.locations.push_back(l.toStdString());
    }
    DeviceEntry picked{99, "", ""};
    std::string said;
    bool many = !several;
    QCOMPARE(pickDevice(wanted.toStdString(), &picked, &said, &many), index >= 0);
    QCOMPARE(many, several);
    if (index >= 0)
        QCOMPARE(int(picked.index), index);
    else
        QCOMPARE(QString::fromStdString(said), complaint);
}

void DeviceIdsTest::fileNames_data() {
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("name");
    QTest::newRow("port path") << "1-2.3"
                               << "1-2.3";
    QTest::newRow("serial") << "AB_9"
                            << "AB_9";
    QTest::newRow("slash") << "a/b"
                           << "a%2Fb";
    QTest::newRow("percent") << "50%"
                             << "50%25";
    QTest::newRow("windows path") << "\\\\?\\usb#vid"
                                  << "%5C%5C%3F%5Cusb%23vid";
    QTest::newRow("dot") << "."
                         << "%2E";
    QTest::newRow("dot dot") << ".."
                             << "%2E%2E";
    QTest::newRow("empty") << ""
                           << "%";
    QTest::newRow("space and utf-8") << "a é"
                                     << "a%20%C3%A9";
}

void DeviceIdsTest::fileNames() {
    QFETCH(QString, id);
    QFETCH(QString, name);
    QCOMPARE(QString::fromStdString(fileNameForId(id.toStdString())), name);
}

void DeviceIdsTest::runtimeFolder() {
    QTemporaryDir base;
    std::string dir, complaint;
    {
        EnvVar xdg("XDG_RUNTIME_DIR", base.path().toUtf8());
        QVERIFY(runtimeDir(&dir, &complaint));
        QCOMPARE(QString::fromStdString(dir), base.path() + "/korvanta");
        struct stat st {};
        QCOMPARE(::stat(dir.c_str(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0700);
        // A folder others could enter is made private again.
        QCOMPARE(::chmod(dir.c_str(), 0755), 0);
        QVERIFY(runtimeDir(&dir, &complaint));
        QCOMPARE(::stat(dir.c_str(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0700);
        std::string lock;
        QVERIFY(lockPathFor("1-2/3", &lock, &complaint));
        QCOMPARE(QString::fromStdString(lock), base.path() + "/korvanta/1-2%2F3.lock");
    }
    EnvVar xdg("XDG_RUNTIME_DIR", QByteArray());
    EnvVar tmp("TMPDIR", base.path().toUtf8());
    QVERIFY(runtimeDir(&dir, &complaint));
    QCOMPARE(QString::fromStdString(dir),
             base.path() + "/korvanta-" + QString::number(::geteuid()));
}

void DeviceIdsTest::runtimeFolderRefused_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("complaint");
    QTest::newRow("a file") << "file"
                            << "is not a folder";
    QTest::newRow("a link to a folder") << "symlink"
                                        << "is not a folder";
    QTest::newRow("someone else's") << "foreign"
                                    << "belongs to another user (uid 4321)";
}

void DeviceIdsTest::runtimeFolderRefused() {
    QFETCH(QString, kind);
    QFETCH(QString, complaint);
    QTemporaryDir base;
    const std::string dir = base.path().toStdString() + "/korvanta";
    if (kind == "file") {
        std::ofstream(dir) << "x";
    } else if (kind == "symlink") {
        QVERIFY(QDir(base.path()).mkdir("elsewhere"));
        QCOMPARE(::symlink((base.path().toStdString() + "/elsewhere").c_str(), dir.c_str()), 0);
    } else {
        if (::geteuid() != 0)
            QSKIP("only root can give a folder to another user");
        QCOMPARE(::mkdir(dir.c_str(), 0700), 0);
        QCOMPARE(::chown(dir.c_str(), 4321, 4321), 0);
    }
    EnvVar xdg("XDG_RUNTIME_DIR", base.path().toUtf8());
    std::string got, said, path;
    QVERIFY(!runtimeDir(&got, &said));
    QVERIFY2(QString::fromStdString(said).contains(complaint), said.c_str());
    QVERIFY(!lockPathFor("1-2", &path, &said));
}

void DeviceIdsTest::socketPaths() {
    QTemporaryDir base;
    EnvVar xdg("XDG_RUNTIME_DIR", base.path().toUtf8());
    std::string path, complaint;
    {
        EnvVar named("KORVANTA_SOCKET", QByteArray());
        QVERIFY(socketPathFor("sim-2", &path, &complaint));
        QCOMPARE(QString::fromStdString(path), base.path() + "/korvanta/sim-2.sock");
        QVERIFY(!socketPathFor(std::string(120, 'x'), &path, &complaint));
        QVERIFY(QString::fromStdString(complaint).contains("at most 107"));
    }
    EnvVar named("KORVANTA_SOCKET", "/run/k.sock");
    QVERIFY(socketPathFor("sim-2", &path, &complaint));
    QCOMPARE(QString::fromStdString(path), QString("/run/k.sock"));
    QVERIFY(socketPathFits(std::string(107, 'a'), &complaint));
    QVERIFY(!socketPathFits(std::string(108, 'a'), &complaint));
}

void DeviceIdsTest::simUnitsAndPlug() {
    QTemporaryDir base;
    const std::string plug = base.filePath("plug").toStdString();
    TestPlatform t;
    t.usb.addUnits(3);
    t.usb.plugFile = plug;
    const auto write = [&](const char* text) { std::ofstream(plug) << text; };

    QCOMPARE(ids(knownDevices()), QString("sim-1, sim-2, sim-3"));
    write("unplugged sim-2");
    const std::vector<DeviceEntry> two = knownDevices();
    QCOMPARE(ids(two), QString("sim-1, sim-3"));

    // Each unit answers from its own model.
    QVERIFY(openDevice(two[1].index));
    const std::uint8_t request[3] = {0x11, 0x2A, 0xE1}; // the values read
    std::uint8_t reply[kReplyBufferSize] = {};
    QVERIFY(transact(reply, request, 42, 3));
    QVERIFY(t.device().requests.empty());
    QCOMPARE(t.usb.moreUnits[1]->requests.size(), std::size_t(1));

    // Unplugged: gone from the count, and the open handle is dead even after
    // the unit comes back, until it is closed and opened again.
    write("unplugged");
    QVERIFY(knownDevices().empty());
    QVERIFY(!transact(reply, request, 42, 3));
    write("plugged");
    QVERIFY(!transact(reply, request, 42, 3));
    closeDevice();
    const std::vector<DeviceEntry> back = knownDevices();
    QCOMPARE(ids(back), QString("sim-1, sim-2, sim-3"));
    QVERIFY(openDevice(back[2].index));
    QVERIFY(transact(reply, request, 42, 3));
    QCOMPARE(t.usb.moreUnits[1]->requests.size(), std::size_t(2));
    closeDevice();
}

void DeviceIdsTest::lockBetweenProcesses() {
    QTemporaryDir base;
    const QString path = base.filePath("sim-1.lock");
    QProcess holder;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KORVANTA_TEST_HOLD_LOCK", path);
    holder.setProcessEnvironment(env);
    holder.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(holder.waitForReadyRead(10000));
    QCOMPARE(holder.readLine().trimmed(), QByteArray("held"));

    DeviceLock lock;
    LockHolder who;
    std::string complaint;
    QCOMPARE(lock.acquire(path.toStdString(), thisProcess("me"), &who, &complaint),
             DeviceLock::Result::Held);
    QCOMPARE(QString::fromStdString(who.program), QString("helper"));
    QCOMPARE(qint64(who.pid), holder.processId());
    QVERIFY(!lock.held());

    // A holder killed outright leaves its file; the next one simply takes it.
    holder.kill();
    QVERIFY(holder.waitForFinished(10000));
    QVERIFY(QFile::exists(path));
    QCOMPARE(lock.acquire(path.toStdString(), thisProcess("me"), &who, &complaint),
             DeviceLock::Result::Taken);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    LockHolder written;
    QVERIFY(parseLockFileText(file.readAll().toStdString(), &written));
    QCOMPARE(QString::fromStdString(written.program), QString("me"));
    QCOMPARE(written.pid, long(::getpid()));
    lock.release();
    QVERIFY(QFile::exists(path)); // released, not removed

    QCOMPARE(lock.acquire(base.filePath("no/such/folder.lock").toStdString(), thisProcess("me"),
                          &who, &complaint),
             DeviceLock::Result::Failed);
    QVERIFY(QString::fromStdString(complaint).contains("no/such/folder.lock"));
}

void DeviceIdsTest::openRefusedWhileAnotherHoldsTheLock() {
    QTemporaryDir base;
    EnvVar xdg("XDG_RUNTIME_DIR", base.path().toUtf8());
    TestPlatform t;
    std::string path, complaint;
    QVERIFY(lockPathFor("sim-1", &path, &complaint));
    DeviceLock other; // a lock of its own: to flock, another holder
    LockHolder who;
    QCOMPARE(other.acquire(path, LockHolder{"KORVANTA_GUI", 4242}, &who, &complaint),
             DeviceLock::Result::Taken);
    QVERIFY(!openDevice(0));
    QCOMPARE(appState.deviceHandle, kNoDevice);
    QCOMPARE(t.usb.openCount, 0);
    QCOMPARE(t.dialogs.texts(),
             QStringList{"The KORVANTA at sim-1 is in use by KORVANTA_GUI (pid 4242). Close it "
                         "first, or run `korvanta serve` so both can use it."});
    other.release();
    QVERIFY(openDevice(0));
    // Opening again while this process holds it is no conflict with itself.
    closeDevice();
    QVERIFY(openDevice(0));
    closeDevice();
}

// A symlink where the lock goes is never followed, and never a licence to
// go on without a lock.
void DeviceIdsTest::openRefusedWhenTheLockCannotBeTaken() {
    QTemporaryDir base;
    EnvVar xdg("XDG_RUNTIME_DIR", base.path().toUtf8());
    TestPlatform t;
    std::string path, complaint;
    QVERIFY(lockPathFor("sim-1", &path, &complaint));
    const QString target = base.filePath("elsewhere");
    QVERIFY(QFile::link(target, QString::fromStdString(path)));
    QVERIFY(!openDevice(0));
    QCOMPARE(appState.deviceHandle, kNoDevice);
    QCOMPARE(t.usb.openCount, 0);
    const QString said = t.dialogs.texts().value(0);
    QVERIFY2(said.contains(QString::fromStdString(path)) && said.contains("not opened"),
             qPrintable(said));
    QVERIFY(!QFile::exists(target));
}

// KORVANTA_TEST_HOLD_LOCK=PATH: hold that lock as "helper", say so, and wait
// to be killed.
int main(int argc, char** argv) {
    if (const char* path = std::getenv("KORVANTA_TEST_HOLD_LOCK")) {
        DeviceLock lock;
        LockHolder who;
        std::string complaint;
        if (lock.acquire(path, thisProcess("helper"), &who, &complaint) !=
            DeviceLock::Result::Taken)
            return 1;
        std::cout << "held" << std::endl;
        ::pause();
        return 0;
    }
    QCoreApplication app(argc, argv);
    DeviceIdsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_core_device_ids.moc"
