// The libusb backend against a umockdev testbed: real libusb, real usbdevfs
// ioctls, a fake device that answers through the simulated device.

#include "FakeUsbBus.h"
#include "ScriptedDialogs.h"
#include "link/AppState.h"
#include "link/Clock.h"
#include "link/LibUsbLibrary.h"
#include "link/Platform.h"
#include "link/UsbLink.h"

#include <QCoreApplication>
#include <QTest>

#include <chrono>
#include <cstring>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr std::uint32_t kNobody = 65534;

// A bus, the backend over it, and the program's platform with real time.
struct Rig {
    FakeUsbBus bus;
    std::unique_ptr<LibUsbLibrary> usb;
    SystemClock clock;
    ScriptedDialogs dialogs;
    std::vector<std::string> messages;

    ~Rig() {
        platform() = Platform{};
        resetAppState();
        usb.reset(); // libusb goes before the testbed it talks to
    }
    // Call after every device is added: libusb enumerates at start.
    bool start(std::vector<UsbId> ids = {kDefaultUsbId}) {
        std::string error;
        usb = LibUsbLibrary::create(std::move(ids), &error);
        if (!usb)
            return false;
        usb->setMessageSink([this](const std::string& m) { messages.push_back(m); });
        resetAppState();
        platform() = Platform{usb.get(), &clock, &dialogs, nullptr};
        return true;
    }
    bool findAndOpen() {
        std::uint32_t index = 0;
        return findDevice(appState.productString, &index) && openDevice(index);
    }
};

FakeUsbBus::DeviceInfo korvanta() {
    FakeUsbBus::DeviceInfo info;
    info.serial = "2023";
    info.model = true;
    return info;
}

FakeUsbBus::DeviceInfo other(const std::string& serial, std::uint16_t vendor = 0x10c4,
                             std::uint16_t product = 0xea61) {
    FakeUsbBus::DeviceInfo info;
    info.serial = serial;
    info.vendor = vendor;
    info.product = product;
    return info;
}

double cpuMs(int who) {
    rusage u{};
    getrusage(who, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

// The denied-device scenario; must run without root, for whom nothing is denied.
// Returns an empty string on success, else what went wrong.
std::string deniedScenario() {
    Rig rig;
    const std::string node = rig.bus.add(korvanta());
    rig.bus.add(other("1999"));
    if (node.empty())
        return "testbed: " + rig.bus.error();
    if (chmod((rig.bus.rootDir() + node).c_str(), 0444) != 0)
        return "chmod of the device node failed";
    if (!rig.start())
        return "libusb did not start";
    std::uint32_t index = 99;
    if (findDevice(appState.productString, &index))
        return "a device that cannot be opened was found";
    if (rig.usb->deniedDevices() != std::vector<std::string>{"10c4:ea61 at bus 1 address 1"})
        return "the denied device was not remembered by bus and address";
    if (rig.messages.size() != 1 || rig.messages[0].find("bus 1 address 1") == std::string::npos ||
        rig.messages[0].find("70-korvanta.rules") == std::string::npos ||
        rig.messages[0].find("udevadm control --reload") == std::string::npos)
        return "no single note naming the device and the udev rule";
    if (rig.dialogs.count(QStringLiteral("KORVANTA USB not connected!")) != 1)
        return "the user was not told that no device is connected";
    return {};
}

} // namespace

class TstUsbLibusb : public QObject {
    Q_OBJECT

private slots:
    void idList_data();
    void idList();
    void findsBySerialAmongOthers();
    void idListFromEnvironmentWidensTheSearch();
    void startupTransactions();
    void staleReplyIsFlushed();
    void silentDeviceWaitsWithoutSpinning();
    void readHonoursTheLibraryTimeout();
    void shortReplyAndLateBytes();
    void unplugBetweenTransactions();
    void unplugDuringTheWait();
    void permissionDenied();
};

void TstUsbLibusb::idList_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("ids");
    QTest::addColumn<bool>("complains");
    QTest::newRow("unset") << QString() << "10c4:ea61" << false;
    QTest::newRow("one") << "1234:abcd"
                         << "1234:abcd" << false;
    QTest::newRow("two, spaced, upper") << "1234:ABCD , 10c4:ea61"
                                        << "1234:abcd,10c4:ea61" << false;
    QTest::newRow("repeated") << "10c4:ea61,10c4:ea61"
                              << "10c4:ea61" << false;
    QTest::newRow("no colon") << "10c4ea61"
                              << "10c4:ea61" << true;
    QTest::newRow("three digits") << "10c4:ea6"
                                  << "10c4:ea61" << true;
    QTest::newRow("not hex") << "10g4:ea61"
                             << "10c4:ea61" << true;
    QTest::newRow("trailing comma") << "1234:abcd,"
                                    << "10c4:ea61" << true;
    QTest::newRow("extra field") << "1234:abcd:1"
                                 << "10c4:ea61" << true;
    QTest::newRow("sign") << "+234:abcd"
                          << "10c4:ea61" << true;
}

void TstUsbLibusb::idList() {
    QFETCH(QString, text);
    QFETCH(QString, ids);
    QFETCH(bool, complains);
    std::string complaint;
    const QByteArray raw = text.toLatin1();
    const std::vector<UsbId> got =
        usbIdsFromText(text.isNull() ? nullptr : raw.constData(), &complaint);
    QStringList shown;
    for (const UsbId& id : got)
        shown << QString::asprintf("%04x:%04x", id.vendor, id.product);
    QCOMPARE(shown.join(','), ids);
    QCOMPARE(!complaint.empty(), complains);
    if (complains)
        QVERIFY(complaint.find("KORVANTA_USB_IDS") != std::string::npos);
}

void TstUsbLibusb::findsBySerialAmongOthers() {
    Rig rig;
    rig.bus.add(other("1999"));
    rig.bus.add(other(""));                     // no serial at all
    rig.bus.add(other("2023", 0x1234, 0x5678)); // right serial, foreign ID: not ours
    rig.bus.add(korvanta());
    rig.bus.add(other("20230"));
    QVERIFY2(rig.bus.error().empty(), rig.bus.error().c_str());
    QVERIFY(rig.start());

    std::uint32_t count = 0;
    QCOMPARE(rig.usb->getNumDevices(&count), 0);
    QCOMPARE(count, 4u);
    int matches = 0, failures = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        char serial[UsbLibrary::kStringBufferSize] = {};
        if (rig.usb->getProductString(i, serial, UsbLibrary::kSerialNumberSelector) != 0)
            ++failures;
        else if (std::string(serial) == "2023")
            ++matches;
    }
    QCOMPARE(matches, 1);
    QCOMPARE(failures, 1); // the one without a serial

    std::uint32_t index = 99;
    QVERIFY(findDevice(appState.productString, &index));
    char serial[UsbLibrary::kStringBufferSize] = {};
    QCOMPARE(rig.usb->getProductString(index, serial, 0), 0);
    QCOMPARE(QByteArray(serial), QByteArray("2023"));
    QVERIFY(rig.dialogs.shown.empty());
    QVERIFY(rig.messages.empty());

    // Only the model answers, so a reply proves the right device is open.
    QVERIFY(openDevice(index));
    QCOMPARE(rig.usb->maxPacketSize(), 64);
    const std::uint8_t request[] = {0x11, 0x2A, 0xE1};
    std::uint8_t reply[kReplyBufferSize] = {};
    int received = 0;
    QVERIFY(transact(reply, request, 42, 3, &received));
    QCOMPARE(received, 42);
    QCOMPARE(reply[0], 0xE1);

    closeDevice();
    closeDevice();
    QCOMPARE(rig.bus.releaseCount(), 1);
    QVERIFY(rig.dialogs.shown.empty());
}

void TstUsbLibusb::idListFromEnvironmentWidensTheSearch() {
    Rig rig;
    rig.bus.add(other("1999"));
    rig.bus.add(other("2023", 0x1234, 0x5678));
    QVERIFY(rig.start(usbIdsFromText("10c4:ea61,1234:5678", nullptr)));
    std::uint32_t count = 0;
    QCOMPARE(rig.usb->getNumDevices(&count), 0);
    QCOMPARE(count, 2u);
    std::uint32_t index = 99;
    QVERIFY(findDevice(appState.productString, &index));
}

void TstUsbLibusb::startupTransactions() {
    Rig rig;
    rig.bus.add(korvanta());
    QVERIFY(rig.start());
    QVERIFY(rig.findAndOpen());

    // What start-up reads: settings, firmware and stored InfoFrames, status
    // registers, then the device's EDID in 16-byte chunks.
    std::vector<std::vector<std::uint8_t>> requests = {
        {0x11, 14, 0xE0, 6},  {0x11, 42, 0xE1},    {0x11, 8, 0xE0, 7},   {0x11, 33, 0xE0, 35},
        {0x11, 15, 0xE0, 36}, {0x11, 15, 0xE0, 6}, {0x11, 31, 0xE0, 21}, {0x11, 31, 0xE0, 30},
        {0x11, 31, 0xE0, 31}, {0x10, 0x01, 0xB4},  {0x11, 42, 0xE1},     {0x11, 42, 0xE1},
    };
    for (int offset = 0; offset < 256; offset += 16)
        requests.push_back({0x11, 0x10, 0xB0, static_cast<std::uint8_t>(offset)});
    requests.push_back({0x10, 0x04, 0xE0, 0x09, 0x01});

    std::uint32_t readBefore = 0, writeBefore = 0;
    rig.usb->getTimeouts(&readBefore, &writeBefore);
    SimulatedDevice twin; // the same model, asked directly
    for (const auto& request : requests) {
        const std::vector<std::uint8_t> expected =
            twin.handle(request.data(), static_cast<int>(request.size()));
        std::uint8_t reply[kReplyBufferSize] = {};
        int received = 0;
        const bool ok = transact(reply, request.data(), static_cast<int>(expected.size()),
                                 static_cast<int>(request.size()), &received);
        QVERIFY(ok);
        QCOMPARE(std::vector<std::uint8_t>(reply, reply + received), expected);
    }
    std::uint32_t readAfter = 0, writeAfter = 0;
    rig.usb->getTimeouts(&readAfter, &writeAfter);
    QCOMPARE(readAfter, readBefore);
    QCOMPARE(writeAfter, writeBefore);
    QCOMPARE(rig.bus.withModel([](SimulatedDevice& d) { return d.requests.size(); }),
             requests.size());
    QCOMPARE(rig.bus.withModel([](SimulatedDevice& d) { return d.settings; }), twin.settings);
    QVERIFY(rig.dialogs.shown.empty());
}

void TstUsbLibusb::staleReplyIsFlushed() {
    Rig rig;
    rig.bus.add(korvanta());
    QVERIFY(rig.start());
    QVERIFY(rig.findAndOpen());

    // A reply nobody collected must not pass for the next request's.
    const std::uint8_t orphan[] = {0x11, 42, 0xE1};
    std::uint32_t written = 0;
    QCOMPARE(rig.usb->write(appState.deviceHandle, orphan, 3, &written), 0);
    QCOMPARE(written, 3u);
    // Let the orphan's reply arrive first: on a loaded machine it could
    // otherwise come after the flush and the test would measure the race.
    std::uint32_t queued = 0, status = 0;
    for (int i = 0; i < 200 && queued == 0; ++i)
        QCOMPARE(rig.usb->checkRxQueue(appState.deviceHandle, &queued, &status), 0);
    QVERIFY(queued > 0);
    const std::uint8_t request[] = {0x11, 8, 0xE0, 7};
    std::uint8_t reply[kReplyBufferSize] = {};
    int received = 0;
    QVERIFY(transact(reply, request, 8, 4, &received));
    QCOMPARE(received, 8);
    QCOMPARE(reply[0], 0xE0);
}

void TstUsbLibusb::silentDeviceWaitsWithoutSpinning() {
    Rig rig;
    rig.bus.add(korvanta());
    QVERIFY(rig.start());
    QVERIFY(rig.findAndOpen());
    rig.bus.withModel([](SimulatedDevice& d) { d.silent = true; });

    const std::uint8_t request[] = {0x11, 42, 0xE1};
    std::uint8_t reply[kReplyBufferSize];
    std::memset(reply, 0xA5, sizeof reply);
    int received = -1;
    const int submitsBefore = rig.bus.inSubmitCount();
    const double processBefore = cpuMs(RUSAGE_SELF), threadBefore = cpuMs(RUSAGE_THREAD);
    const auto t0 = std::chrono::steady_clock::now();
    const bool ok = transact(reply, request, 42, 3, &received);
    const auto wallMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
            .count();
    const double processMs = cpuMs(RUSAGE_SELF) - processBefore;
    const double threadMs = cpuMs(RUSAGE_THREAD) - threadBefore;
    const int checks = rig.bus.inSubmitCount() - submitsBefore;
    qInfo("silent device: %lld ms wall, CPU %.0f ms in the program's thread, %.0f ms in the "
          "whole process (umockdev's thread included), %d reads on the bus",
          static_cast<long long>(wallMs), threadMs, processMs, checks);

    QVERIFY(ok);
    QCOMPARE(received, 0);
    for (std::uint8_t b : reply)
        QCOMPARE(b, 0xA5);
    // Both clocks count whole milliseconds, so the window may read a hair short.
    QVERIFY2(wallMs >= 4000 - 5, qPrintable(QString::number(wallMs)));
    QVERIFY2(wallMs < 4000 + 500, "the wait overran the reply window");
    // Each check waits on the bus; one that returned at once would make
    // thousands of reads in the window.
    const int most = 4000 / static_cast<int>(LibUsbLibrary::kQueueCheckTimeoutMs) + 20;
    QVERIFY2(checks <= most, qPrintable(QString::number(checks)));
    QVERIFY(checks >= 20);
}

void TstUsbLibusb::readHonoursTheLibraryTimeout() {
    Rig rig;
    rig.bus.add(korvanta());
    QVERIFY(rig.start());
    QVERIFY(rig.findAndOpen());
    rig.bus.withModel([](SimulatedDevice& d) { d.silent = true; });

    for (const std::uint32_t timeoutMs : {60u, 400u}) {
        QCOMPARE(rig.usb->setTimeouts(timeoutMs, 1000), 0);
        std::uint8_t buffer[64];
        std::uint32_t got = 99;
        const auto t0 = std::chrono::steady_clock::now();
        QCOMPARE(rig.usb->read(appState.deviceHandle, buffer, 64, &got),
                 static_cast<int>(kLibUsbTimedOut));
        const auto waited = std::chrono::steady_clock::now() - t0;
        QCOMPARE(got, 0u);
        QVERIFY(waited >= std::chrono::milliseconds(timeoutMs));
        QVERIFY(waited < std::chrono::milliseconds(timeoutMs + 300));
    }
}

void TstUsbLibusb::shortReplyAndLateBytes() {
    Rig rig;
    rig.bus.add(korvanta());
    QVERIFY(rig.start());
    QVERIFY(rig.findAndOpen());

    // One byte where two were expected: a failure, with the byte kept.
    rig.bus.withModel([](SimulatedDevice& d) { d.shortReply = 1; });
    const std::uint8_t write[] = {0x10, 0x04, 0xE0, 0x09, 0x01};
    std::uint8_t reply[kReplyBufferSize] = {};
    int received = 0;
    QVERIFY(!transact(reply, write, 2, 5, &received));
    QCOMPARE(received, 1);
    QCOMPARE(reply[0], 0xE0);
    QCOMPARE(reply[1], 0x00);

    // Bytes that come with a read that timed out are data all the same.
    rig.bus.withModel([](SimulatedDevice& d) { d.shortReply = -1; });
    rig.bus.setDeliverOnlyOnCancel(true);
    std::memset(reply, 0, sizeof reply);
    QVERIFY(transact(reply, write, 2, 5, &received));
    QCOMPARE(received, 2);
    QCOMPARE(reply[0], 0xE0);
}

void TstUsbLibusb::unplugBetweenTransactions() {
    Rig rig;
    rig.bus.add(korvanta());
    QVERIFY(rig.start());
    QVERIFY(rig.findAndOpen());
    const std::uint8_t request[] = {0x11, 8, 0xE0, 7};
    std::uint8_t reply[kReplyBufferSize] = {};
    QVERIFY(transact(reply, request, 8, 4));

    rig.bus.unplugAll();
    QVERIFY(!transact(reply, request, 8, 4));

    // Dead now: every call fails at once, without a word to the bus.
    const int ioctls = rig.bus.ioctlCount();
    const DeviceHandle h = appState.deviceHandle;
    std::uint32_t n = 0, status = 0;
    QCOMPARE(rig.usb->write(h, request, 4, &n), static_cast<int>(kLibUsbNoDevice));
    QCOMPARE(rig.usb->read(h, reply, 64, &n), static_cast<int>(kLibUsbNoDevice));
    QCOMPARE(rig.usb->checkRxQueue(h, &n, &status), static_cast<int>(kLibUsbNoDevice));
    QCOMPARE(rig.usb->flushBuffers(h, 1, 1), static_cast<int>(kLibUsbNoDevice));
    QVERIFY(!transact(reply, request, 8, 4));
    QCOMPARE(rig.bus.ioctlCount(), ioctls);

    closeDevice();
    QVERIFY(rig.dialogs.shown.empty()); // closing a dead device still succeeds
    QCOMPARE(rig.usb->close(h), static_cast<int>(kLibUsbInvalidHandle));
}

void TstUsbLibusb::unplugDuringTheWait() {
    // Counts the warnings instead of keeping each: a dead device fails every
    // check in the window.
    struct CountingDialogs : ScriptedDialogs {
        int usbWarnings = 0;
        void usbWarning(const QString&) override { ++usbWarnings; }
    } dialogs;

    Rig rig;
    rig.bus.add(korvanta());
    QVERIFY(rig.start());
    platform().dialogs = &dialogs;
    QVERIFY(rig.findAndOpen());
    rig.bus.withModel([](SimulatedDevice& d) { d.silent = true; });

    std::thread unplug([&rig] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        rig.bus.unplugAll();
    });
    const std::uint8_t request[] = {0x11, 42, 0xE1};
    std::uint8_t reply[kReplyBufferSize] = {};
    const auto t0 = std::chrono::steady_clock::now();
    const bool ok = transact(reply, request, 42, 3);
    const auto wall = std::chrono::steady_clock::now() - t0;
    unplug.join();

    QVERIFY(!ok);
    QVERIFY(dialogs.usbWarnings >= 1);
    QVERIFY(wall < std::chrono::milliseconds(4000 + 500));
    closeDevice();
    QCOMPARE(rig.bus.releaseCount(), 0);
    QCOMPARE(appState.deviceHandle, kNoDevice);
}

void TstUsbLibusb::permissionDenied() {
    if (geteuid() != 0) {
        const std::string failure = deniedScenario();
        QVERIFY2(failure.empty(), failure.c_str());
        return;
    }
    // Root may open anything: run the scenario again as "nobody".
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        if (setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0) {
            char self[] = "/proc/self/exe";
            char flag[] = "--denied-as-nobody";
            char* args[] = {self, flag, nullptr};
            execv(self, args);
        }
        _exit(77);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        QSKIP("running as root, and the test could not run itself as user nobody");
    QCOMPARE(WEXITSTATUS(status), 0);
}

int main(int argc, char* argv[]) {
    if (argc == 2 && std::strcmp(argv[1], "--denied-as-nobody") == 0) {
        QCoreApplication app(argc, argv);
        const std::string failure = deniedScenario();
        if (!failure.empty())
            std::fprintf(stderr, "permission-denied scenario failed: %s\n", failure.c_str());
        return failure.empty() ? 0 : 1;
    }
    QCoreApplication app(argc, argv);
    TstUsbLibusb test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_usb_libusb.moc"
