// KORVANTA_SIM_FAULTS as read from the environment: lists that are refused
// whole, and the knobs reaching the simulator. What each knob shows is
// checked through the window.
#include "TestPlatform.h"
#include "session/Backend.h"
#include "sim/SimFaults.h"

#include <QtTest>

class SimFaultsTest : public QObject {
    Q_OBJECT

private slots:
    void goodListIsRead();
    void badListIsRefusedWhole_data();
    void badListIsRefusedWhole();
    void environmentReachesTheSimulator();
};

void SimFaultsTest::goodListIsRead() {
    SimFaults f;
    std::string complaint;
    QVERIFY(parseSimFaults(" refuse=0xe0, refuse=E1 ,refuse-register=0x24,extra-device=A B,"
                           "extra-device=2023,busy=0,after=7,wrong-ack",
                           &f, &complaint));
    QCOMPARE(f.refusedCommands, (std::set<std::uint8_t>{0xE0, 0xE1}));
    QCOMPARE(f.refusedRegister, 36);
    QCOMPARE(f.extraDevices, (std::vector<std::string>{"A B", "2023"}));
    QCOMPARE(f.after, 7);
    QVERIFY(f.wrongAck && !f.silent);
    QVERIFY(parseSimFaults("refuse-register=10", &f, &complaint));
    QCOMPARE(f.refusedRegister, 10); // decimal without 0x
    QVERIFY(f.refusedCommands.empty() && !f.wrongAck);
}

void SimFaultsTest::badListIsRefusedWhole_data() {
    QTest::addColumn<QString>("knobs");
    QTest::addColumn<QString>("problem");
    QTest::newRow("unknown") << "silent,loud"
                             << "\"loud\" is not a knob";
    QTest::newRow("wrong case") << "Silent"
                                << "\"Silent\" is not a knob";
    QTest::newRow("empty item") << "silent,,wrong-ack"
                                << "\"\" is not a knob";
    QTest::newRow("trailing comma") << "silent,"
                                    << "\"\" is not a knob";
    QTest::newRow("value on a flag") << "silent=1"
                                     << "silent takes no value";
    QTest::newRow("count missing") << "busy"
                                   << "busy needs a whole number";
    QTest::newRow("count empty") << "silent,busy="
                                 << "busy needs a whole number";
    QTest::newRow("count not a number") << "after=ten"
                                        << "after needs a whole number";
    QTest::newRow("count negative") << "busy=-1"
                                    << "busy needs a whole number";
    QTest::newRow("count too large") << "after=99999999"
                                     << "after needs a whole number";
    QTest::newRow("code too long") << "refuse=E00"
                                   << "refuse needs a command code";
    QTest::newRow("code not hex") << "refuse=G1"
                                  << "refuse needs a command code";
    QTest::newRow("register too large") << "refuse-register=256"
                                        << "refuse-register needs";
    QTest::newRow("register in bad hex") << "refuse-register=0xZZ"
                                         << "refuse-register needs";
    QTest::newRow("serial missing") << "extra-device="
                                    << "extra-device needs a serial string";
}

void SimFaultsTest::badListIsRefusedWhole() {
    QFETCH(QString, knobs);
    QFETCH(QString, problem);
    SimFaults faults;
    std::string complaint;
    QVERIFY(!parseSimFaults(knobs.toStdString(), &faults, &complaint));
    const QString said = QString::fromStdString(complaint);
    QVERIFY2(said.contains(problem), qPrintable(said));
    QVERIFY2(said.contains(kSimFaultKnobs), qPrintable(said));
    QVERIFY(said.contains("without faults"));
    // Nothing of the list was taken, not even the good knobs before the bad one.
    QVERIFY(!faults.silent);
    QCOMPARE(faults.busyReads, 0);
}

void SimFaultsTest::environmentReachesTheSimulator() {
    struct Case {
        const char* knobs;
        bool silent;
        bool warned;
    };
    for (const Case& c :
         {Case{"silent", true, false}, Case{"silent,bogus", false, true}, Case{"", false, false}}) {
        qputenv("KORVANTA_SIM_FAULTS", c.knobs);
        std::string warnings, error;
        std::unique_ptr<UsbLibrary> usb =
            makeUsbLibrary(LinkChoice{LinkKind::Simulator, {}}, &warnings, &error);
        qunsetenv("KORVANTA_SIM_FAULTS");
        QVERIFY(usb);
        QCOMPARE(static_cast<SimUsbLibrary&>(*usb).device.silent, c.silent);
        QCOMPARE(warnings.empty(), !c.warned);
        if (c.warned)
            QVERIFY(warnings.find("\"bogus\" is not a knob") != std::string::npos);
    }
}

QTEST_GUILESS_MAIN(SimFaultsTest)
#include "tst_core_simfaults.moc"
