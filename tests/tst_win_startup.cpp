// The window's start-up, the poll tick, the protocol operations and the shell.
#include "WindowHarness.h"
#include "link/AppState.h"
#include "link/Protocol.h"
#include "link/UsbLink.h"
#include "window/Variant.h"

#include <QMetaMethod>
#include <QProgressBar>
#include <QStatusBar>
#include <QtTest>

namespace {
using Requests = std::vector<std::string>;

// Delivers a poll tick from inside each USB warning, as the real box's nested
// event loop would while the timer still runs.
class TickingDialogs : public ScriptedDialogs {
public:
    QObject* window = nullptr;
    void usbWarning(const QString& text) override {
        ScriptedDialogs::usbWarning(text);
        QTimerEvent event(appState.pollTimerId);
        QCoreApplication::sendEvent(window, &event);
    }
};

} // namespace

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void slotTableOrder();
    void startUpReadsInOrderAndFillsTheWindow();
    void listsAreFilledWithTheirEntries();
    void noDeviceLeavesTheWindowIdle();
    void openFailureShowsHardwareNotFound();
    void failedAviReadLeavesTheLabels();
    void tickRunsReadbackAndStatusButNotInsideATransaction();
    void secondTimerStartChangesNothing();
    void failingCloseOnTheWayOutIgnoresTicks_data();
    void failingCloseOnTheWayOutIgnoresTicks();
    void protocolOperations_data();
    void protocolOperations();
    void protocolOperationsWithoutDevice();
    void progressBar();
    void aboutText();
};

void StartupTest::slotTableOrder() {
    const char* expected[] = {"on_ProgressChange(int,int)",
                              "SaveEDIDtoFile()",
                              "LoadEDIDfromFile()",
                              "FileExit()",
                              "FileAbout()",
                              "ReadEDID()",
                              "WriteEDID()",
                              "WriteCEC()",
                              "WriteIF()",
                              "CalculateChkSum()",
                              "SetActivePort()",
                              "SetAutoSwitch()",
                              "SetAudioSource()",
                              "SetHDCP_Version()",
                              "SetOut_420()",
                              "SetEDID_Mode()",
                              "SetEPState()",
                              "SaveCEC_1()",
                              "SaveCEC_2()",
                              "force2c()",
                              "force51()",
                              "forceHdr()",
                              "forceFullAudio()",
                              "setSwPriority()",
                              "changeCustomEdid()",
                              "sendAVI()",
                              "CecLpRepurp()",
                              "hdrForceActivate()",
                              "hdrSamsung()",
                              "setLogoLed()",
                              "setBt2020()",
                              "setBlueLed()",
                              "factoryReset()",
                              "setYUV()",
                              "setCEC()",
                              "setCecLa()",
                              "setAVR()",
                              "readTvEdidA()",
                              "readTvEdidB()",
                              "set3D()",
                              "setEdidAlgo()",
                              "setAviPers()"};
    const QMetaObject& mo = MainWindow::staticMetaObject;
    QCOMPARE(mo.methodCount() - mo.methodOffset(), 42);
    for (int i = 0; i < 42; ++i) {
        const QMetaMethod m = mo.method(mo.methodOffset() + i);
        QCOMPARE(m.methodSignature(), QByteArray(expected[i]));
        QCOMPARE(m.methodType(), QMetaMethod::Slot);
        QCOMPARE(m.access(), i == 0 ? QMetaMethod::Public : QMetaMethod::Private);
        QCOMPARE(QByteArray(m.typeName()), QByteArray(i == 25 ? "bool" : "void"));
    }
}

void StartupTest::startUpReadsInOrderAndFillsTheWindow() {
    WindowHarness h;
    h.device().firmware = {1, 9, 0, 3};
    h.start();
    const Requests sent = hexRequests(h.requests());
    // Readback, firmware and stored InfoFrames, status decode, then the EDID read.
    const Requests expectedStart = {"11 2A E1",    "11 0E E0 06", "11 08 E0 07", "11 21 E0 23",
                                    "11 0F E0 24", "11 0F E0 06", "11 1F E0 15", "11 1F E0 1E",
                                    "11 1F E0 1F", "10 01 B4"};
    QVERIFY(sent.size() > expectedStart.size() + 16);
    QCOMPARE(Requests(sent.begin(), sent.begin() + 10), expectedStart);
    // The busy wait reads the values block until the device is free...
    std::size_t at = expectedStart.size();
    while (at < sent.size() && sent[at] == "11 2A E1")
        ++at;
    QVERIFY(at > expectedStart.size());
    // ...and the EDID comes in sixteen chunks, nothing after them.
    Requests chunks;
    for (int offset = 0; offset < 256; offset += 16)
        chunks.push_back(QString::asprintf("11 10 B0 %02X", offset).toStdString());
    QCOMPARE(Requests(sent.begin() + static_cast<std::ptrdiff_t>(at), sent.end()), chunks);
    QVERIFY(h.ui()->EDIDtext->toPlainText().startsWith("00 FF FF FF FF FF FF 00"));

    QCOMPARE(h.ui()->labelFw1->text(), QString("ver: 1.9.0.3"));
    QCOMPARE(h.ui()->labelTitle->text(), QString("KORVANTA GUI"));
    QCOMPARE(h.ui()->CECtext->toPlainText(), QString("50:04"));
    QVERIFY(h.ui()->CECtext->isEnabled());
    QCOMPARE(h.ui()->AVItext->toPlainText(), QString("60:c8:60:61:00:00:00:00:00:00:00:00:00"));
    QVERIFY(h.ui()->IFtext->toPlainText().startsWith("87:01:1a:"));
    QCOMPARE(h.ui()->IFtext->toPlainText().size(), 92);
    QCOMPARE(appState.ready, std::uint8_t(1));
    QCOMPARE(appState.pollTimerActive, 1);
    QVERIFY(h.dialogs.shown.empty());
}

void StartupTest::listsAreFilledWithTheirEntries() {
    WindowHarness h;
    h.start();
    auto items = [](QComboBox* box) {
        QStringList list;
        for (int i = 0; i < box->count(); ++i)
            list << box->itemText(i);
        return list;
    };
    QCOMPARE(items(h.ui()->cmbInputSel),
             (QStringList{"PORT A [TOP]", "PORT B [BOT]", "MATRIX THRU", "MATRIX SWAP"}));
    QCOMPARE(h.ui()->cmBEdid->count(), 9);
    QCOMPARE(h.ui()->cmBEdid->itemText(8), QString("4k60-420 10-bit BT.2020 All Sound"));
    QCOMPARE(items(h.ui()->cmbLa),
             (QStringList{"Video Processor [Default]", "Audio System w/ARC"}));
    const QString first = kDpi200Build ? "Min Mixed [Default]" : "Min Mixed Capabilities [Default]";
    QCOMPARE(items(h.ui()->cmbEdidAlgo),
             (QStringList{first, "Max Audio, Min Video", "TOP Output Priority",
                          "Max Audio, Max Video"}));
    for (QComboBox* box :
         {h.ui()->cmbInputSel, h.ui()->cmBEdid, h.ui()->cmbLa, h.ui()->cmbEdidAlgo})
        QVERIFY(box->itemData(0).isNull());
}

void StartupTest::noDeviceLeavesTheWindowIdle() {
    WindowHarness h;
    h.usb.serials = {"9999"};
    h.start();
    QCOMPARE(h.dialogs.texts(), QStringList{"KORVANTA USB not connected!"});
    QVERIFY(h.requests().empty());
    QCOMPARE(h.ui()->cmbInputSel->count(), 0);
    QCOMPARE(h.ui()->cmbLa->count(), 0);
    QCOMPARE(h.ui()->labelFw1->text(), QString("ver: "));
    QCOMPARE(appState.pollTimerActive, 0);
    QCOMPARE(appState.ready, std::uint8_t(0));
    QCOMPARE(appState.deviceHandle, kNoDevice);
}

void StartupTest::openFailureShowsHardwareNotFound() {
    WindowHarness h;
    h.usb.failOpen = true;
    h.start();
    QCOMPARE(h.dialogs.texts(), (QStringList{"Usb device open error!", "Hardware not found"}));
    QCOMPARE(h.dialogs.shown[1].title, QString("KORVANTA Utility"));
    QCOMPARE(h.dialogs.shown[1].buttons, int(Dialogs::Ok));
    QCOMPARE(h.dialogs.shown[1].icon, Dialogs::Icon::Warning);
    QCOMPARE(appState.pollTimerActive, 0);
    QVERIFY(h.requests().empty());
}

namespace {
// Refuses one register read; everything else is the normal device.
class RefusingLibrary : public SimUsbLibrary {
public:
    int write(DeviceHandle h, const std::uint8_t* b, std::uint32_t c, std::uint32_t* w) override {
        if (c == 4 && b[0] == 0x11 && b[2] == 0xE0 && b[3] == refused) {
            *w = c;
            return kSuccess; // swallowed: no reply comes
        }
        return SimUsbLibrary::write(h, b, c, w);
    }
    std::uint8_t refused = 36;
};
} // namespace

void StartupTest::failedAviReadLeavesTheLabels() {
    RefusingLibrary refusing; // outlives the window, which closes it on the way out
    WindowHarness h;
    platform().usb = &refusing;
    h.start();
    QCOMPARE(h.ui()->labelFw1->text(), QString("ver: "));
    QCOMPARE(h.ui()->AVItext->toPlainText(), QString("00:00:00:00:00:00:00:00:00:00:00:00:00"));
    QCOMPARE(appState.ready, std::uint8_t(1));
}

void StartupTest::tickRunsReadbackAndStatusButNotInsideATransaction() {
    WindowHarness h;
    h.start();
    h.clearTraffic();
    appState.inTransaction = 1;
    h.tick();
    QVERIFY(h.requests().empty());
    appState.inTransaction = 0;
    h.tick();
    const Requests sent = hexRequests(h.requests());
    // Busy poll first, then the readback, then the status decode last.
    QVERIFY(sent.size() >= 7);
    QCOMPARE(sent.front(), std::string("11 2A E1"));
    const Requests tail(sent.end() - 6, sent.end());
    QCOMPARE(tail, (Requests{"11 2A E1", "11 0E E0 06", "11 0F E0 06", "11 1F E0 15", "11 1F E0 1E",
                             "11 1F E0 1F"}));
}

void StartupTest::secondTimerStartChangesNothing() {
    WindowHarness h;
    h.start();
    const int id = appState.pollTimerId;
    h.window->startPollTimer(10);
    QCOMPARE(appState.pollTimerId, id);
    h.window->stopPollTimer();
    QCOMPARE(appState.pollTimerActive, 0);
    h.window->stopPollTimer();
    QCOMPARE(appState.pollTimerActive, 0);
}

void StartupTest::failingCloseOnTheWayOutIgnoresTicks_data() {
    QTest::addColumn<bool>("byCloseEvent");
    QTest::newRow("window closed") << true;
    QTest::newRow("window destroyed") << false;
}

void StartupTest::failingCloseOnTheWayOutIgnoresTicks() {
    // The form is already gone when the close fails and its box comes up.
    QFETCH(bool, byCloseEvent);
    TickingDialogs dialogs; // outlives the window
    WindowHarness h;
    h.start();
    h.clearTraffic();
    dialogs.window = h.window.get();
    platform().dialogs = &dialogs;
    h.usb.failClose = true;

    if (byCloseEvent)
        h.window->close();
    else
        delete h.window.release();

    QCOMPARE(dialogs.texts(), QStringList{"Unable to close device handle!"});
    QVERIFY(h.requests().empty());
    QCOMPARE(appState.deviceHandle, kNoDevice);
    QCOMPARE(appState.pollTimerActive, 0);
}

void StartupTest::protocolOperations_data() {
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("request");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("message");

    QTest::newRow("readConfig") << "readConfig"
                                << ""
                                << "11 08 E0 07" << true << "";
    QTest::newRow("readConfig short") << "readConfig"
                                      << "short7"
                                      << "11 08 E0 07" << false << "...";
    QTest::newRow("readConfig wrong ack") << "readConfig"
                                          << "wrongAck"
                                          << "11 08 E0 07" << false << "...";
    QTest::newRow("writeSetting") << "writeSetting"
                                  << ""
                                  << "10 04 E0 0E 08" << true << "";
    QTest::newRow("writeSetting wrong ack") << "writeSetting"
                                            << "wrongAck"
                                            << "10 04 E0 0E 08" << true << "Error Writing values";
    QTest::newRow("writeSetting short") << "writeSetting"
                                        << "short1"
                                        << "10 04 E0 0E 08" << false << "Error Writing values";
    QTest::newRow("readValues") << "readValues"
                                << ""
                                << "11 2A E1" << true << "";
    QTest::newRow("readValues short") << "readValues"
                                      << "short41"
                                      << "11 2A E1" << false << "Error Reading values";
    QTest::newRow("writeSettingsBlock") << "writeSettingsBlock"
                                        << ""
                                        << "" << true << "";
    QTest::newRow("writeSettingsBlock wrong ack") << "writeSettingsBlock"
                                                  << "wrongAck"
                                                  << "" << true << "Error Writing values";
}

void StartupTest::protocolOperations() {
    QFETCH(QString, operation);
    QFETCH(QString, fault);
    QFETCH(QString, request);
    QFETCH(bool, result);
    QFETCH(QString, message);

    WindowHarness h;
    h.start();
    h.clearTraffic();
    h.window->statusBar()->clearMessage();
    if (fault == "wrongAck")
        h.device().wrongAck = true;
    else if (fault.startsWith("short"))
        h.device().shortReply = fault.mid(5).toInt();

    std::uint8_t reply[kReplyBufferSize] = {};
    std::uint8_t block[kSettingsBlockSize];
    for (int i = 0; i < kSettingsBlockSize; ++i)
        block[i] = static_cast<std::uint8_t>(0xC0 + i);
    bool got = false;
    if (operation == "readConfig")
        got = h.window->readConfig(7, reply, 8);
    else if (operation == "writeSetting")
        got = h.window->writeSetting(14, 8);
    else if (operation == "readValues")
        got = h.window->readValues(reply, 42);
    else
        got = h.window->writeSettingsBlock(block);

    QCOMPARE(got, result);
    QCOMPARE(h.requests().size(), std::size_t(1));
    if (operation == "writeSettingsBlock") {
        const auto& sent = h.requests()[0];
        QCOMPARE(sent.size(), std::size_t(43));
        QCOMPARE(hexBytes({sent.begin(), sent.begin() + 3}), std::string("10 28 E2"));
        QVERIFY(std::equal(block, block + kSettingsBlockSize, sent.begin() + 3));
        if (!fault.isEmpty())
            QVERIFY(std::equal(block, block + kSettingsBlockSize, h.device().settings.begin()));
    } else {
        QCOMPARE(QString::fromStdString(hexBytes(h.requests()[0])), request);
    }
    QCOMPARE(h.status(), message);
}

void StartupTest::protocolOperationsWithoutDevice() {
    WindowHarness h;
    h.usb.serials.clear();
    h.start();
    h.clearTraffic();
    std::uint8_t reply[kReplyBufferSize] = {};
    QVERIFY(!h.window->readConfig(7, reply, 8));
    QCOMPARE(h.status(), QString("..."));
    QVERIFY(!h.window->readValues(reply, 42));
    QCOMPARE(h.status(), QString("Error Reading values"));
    QVERIFY(h.window->writeSetting(0, 256));
    QCOMPARE(h.status(), QString("Error Writing values"));
    QVERIFY(h.usb.calls.empty());
}

void StartupTest::progressBar() {
    {
        WindowHarness idle;
        idle.usb.serials.clear();
        idle.start();
        // No transfer yet, so no bar: nothing to show, and nothing breaks.
        idle.window->on_ProgressChange(16, 255);
        QCOMPARE(idle.window->progressBar(), nullptr);
    }
    WindowHarness h;
    h.start(); // the start-up EDID read leaves its bar hidden
    QProgressBar* bar = h.window->progressBar();
    QVERIFY(bar);
    QVERIFY(bar->isHidden());
    h.window->on_ProgressChange(16, 255);
    QVERIFY(!bar->isHidden());
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 255);
    QCOMPARE(bar->value(), 16);
    h.window->on_ProgressChange(0, 255);
    QVERIFY(bar->isHidden());
    h.window->on_ProgressChange(16, 255);
    h.window->on_ProgressChange(16, 0);
    QVERIFY(bar->isHidden());
}

void StartupTest::aboutText() {
    WindowHarness h;
    h.start();
    h.ui()->actionAbout->trigger();
    QCOMPARE(h.dialogs.shown.size(), std::size_t(1));
    const auto& about = h.dialogs.shown[0];
    QCOMPARE(about.kind, QString("about"));
    QCOMPARE(about.title, QString("About KORVANTA Utility"));
    QVERIFY(about.text.startsWith("<h2>KORVANTA Utility Version 1.9</h2>"));
    QCOMPARE(about.text.contains("200% DPI Display Version"), kDpi200Build);
    QVERIFY(about.hasParent);
}

QTEST_MAIN(StartupTest)
#include "tst_win_startup.moc"
