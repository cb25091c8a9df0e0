#include "DecodeFields.h"
#include "decode/CecDecode.h"
#include "decode/CecOpcodes.h"

#include <QTest>

#if __has_include(<linux/cec.h>)
#include <linux/cec.h>
#define HAVE_LINUX_CEC 1
#endif

class TestDecodeCec : public QObject {
    Q_OBJECT

private slots:
    void addresses_data();
    void addresses();
    void operands_data();
    void operands();
    void problems_data();
    void problems();
    void pollingMessage();
    void opcodesMatchTheKernelHeader();
};

void TestDecodeCec::addresses_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("opcode");

    QTest::newRow("standby to all") << "0f:36"
                                    << "TV"
                                    << "Broadcast"
                                    << "Standby";
    QTest::newRow("image view on") << "40:04"
                                   << "Playback Device 1"
                                   << "TV"
                                   << "Image View On";
    QTest::newRow("recorder to tuner 4") << "9a:8f"
                                         << "Recording Device 3"
                                         << "Tuner 4"
                                         << "Give Device Power Status";
    QTest::newRow("unregistered to all") << "ff:85"
                                         << "Unregistered"
                                         << "Broadcast"
                                         << "Request Active Source";
    QTest::newRow("CEC 2.0 message") << "05:a5"
                                     << "TV"
                                     << "Audio System"
                                     << "Give Features";
    QTest::newRow("ARC") << "50:c0"
                         << "Audio System"
                         << "TV"
                         << "Initiate ARC";
}

void TestDecodeCec::addresses() {
    QFETCH(QString, text);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, opcode);

    const decode::Decoded d = decode::decodeCecText(text.toStdString());
    QCOMPARE(problemsOf(d), QStringList());
    QCOMPARE(fieldAt(d, "initiator.name").toString(), from);
    QCOMPARE(fieldAt(d, "destination.name").toString(), to);
    QCOMPARE(fieldAt(d, "opcode.name").toString(), opcode);
    QCOMPARE(fieldAt(d, "polling").toBool(), false);
}

void TestDecodeCec::operands_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QVariant>("value");

    QTest::newRow("active source") << "4f:82:10:00"
                                   << "operands.physicalAddress" << QVariant("1.0.0.0");
    QTest::newRow("report physical address") << "4f:84:21:00:04"
                                             << "operands.physicalAddress" << QVariant("2.1.0.0");
    QTest::newRow("report physical address, type")
        << "4f:84:21:00:04"
        << "operands.deviceType.name" << QVariant("Playback Device");
    QTest::newRow("routing change to") << "0f:80:10:00:20:00"
                                       << "operands.to" << QVariant("2.0.0.0");
    QTest::newRow("volume up") << "05:44:41"
                               << "operands.uiCommand.name" << QVariant("Volume Up");
    QTest::newRow("F2 red") << "04:44:72"
                            << "operands.uiCommand.name" << QVariant("F2 (Red)");
    QTest::newRow("audio status muted") << "50:7a:a5"
                                        << "operands.mute" << QVariant(true);
    QTest::newRow("audio status volume") << "50:7a:a5"
                                         << "operands.volume" << QVariant(37);
    QTest::newRow("power standby") << "40:90:01"
                                   << "operands.powerStatus.name" << QVariant("standby");
    QTest::newRow("vendor id") << "4f:87:00:e0:91"
                               << "operands.vendorId" << QVariant(0x00E091);
    QTest::newRow("osd name") << "40:47:4b:56"
                              << "operands.name" << QVariant("\"KV\"");
    QTest::newRow("osd name, control byte shown") << "40:47:4b:0a"
                                                  << "operands.name" << QVariant("\"K\\x0A\"");
    QTest::newRow("osd string until cleared")
        << "41:64:40:48:69"
        << "operands.displayControl.name" << QVariant("until cleared");
    QTest::newRow("osd string text") << "41:64:40:48:69"
                                     << "operands.text" << QVariant("\"Hi\"");
    QTest::newRow("feature abort opcode") << "e0:00:36:04"
                                          << "operands.abortedOpcode.name" << QVariant("Standby");
    QTest::newRow("feature abort reason") << "e0:00:36:04"
                                          << "operands.reason.name" << QVariant("refused");
    QTest::newRow("cec version 1.4") << "40:9e:05"
                                     << "operands.cecVersion.name" << QVariant("1.4");
    QTest::newRow("menu language") << "0f:32:65:6e:67"
                                   << "operands.language" << QVariant("\"eng\"");
    QTest::newRow("deck status") << "40:1b:11"
                                 << "operands.deckInfo.name" << QVariant("Play");
    QTest::newRow("play forward") << "04:41:24"
                                  << "operands.playMode.name" << QVariant("Play Forward");
    QTest::newRow("menu request query") << "04:8d:02"
                                        << "operands.menuRequest.name" << QVariant("query");
    QTest::newRow("system audio on") << "50:72:01"
                                     << "operands.systemAudio.name" << QVariant("on");
    QTest::newRow("features: version") << "0f:a6:06:80:02:00"
                                       << "operands.cecVersion.name" << QVariant("2.0");
    QTest::newRow("features: device types") << "0f:a6:06:80:02:00"
                                            << "operands.deviceTypes" << QVariant("TV");
    QTest::newRow("features: TV profile") << "0f:a6:06:80:02:00"
                                          << "operands.rcProfile" << QVariant("TV: profile 1");
    QTest::newRow("short audio descriptor") << "50:a3:15:07:50"
                                            << "operands[0].format" << QVariant("AC-3");
    QTest::newRow("unknown opcode") << "40:e7:01:02"
                                    << "opcode.code" << QVariant(0xE7);
    QTest::newRow("unknown opcode bytes") << "40:e7:01:02"
                                          << "operandBytes" << QVariant("01:02");
    QTest::newRow("bytes past the operands") << "0f:36:77"
                                             << "extraBytes" << QVariant("77");
}

void TestDecodeCec::operands() {
    QFETCH(QString, text);
    QFETCH(QString, path);
    QFETCH(QVariant, value);

    const decode::Decoded d = decode::decodeCecText(text.toStdString());
    QCOMPARE(problemsOf(d), QStringList());
    QCOMPARE(fieldAt(d, path).toVariant(), value);
}

void TestDecodeCec::problems_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("broadcast-only message sent to one")
        << "04:82:10:00"
        << QStringList{"byte 1: Active Source goes to all devices (broadcast, 15), not to "
                       "Playback Device 1 (4)"};
    QTest::newRow("directed message broadcast")
        << "0f:83"
        << QStringList{"byte 1: Give Physical Address goes to one device, not broadcast; "
                       "receivers ignore it"};
    QTest::newRow("operand cut short")
        << "4f:82:10"
        << QStringList{"byte 4: Active Source needs 2 operand bytes, the message has 1"};
    QTest::newRow("reserved power status")
        << "40:90:04" << QStringList{"byte 3: Power status 4 is reserved"};
    QTest::newRow("volume above 100")
        << "50:7a:65" << QStringList{"byte 3: volume 101 is reserved"};
    QTest::newRow("seventeen bytes")
        << "0f:36:00:00:00:00:00:00:00:00:00:00:00:00:00:00:00"
        << QStringList{"byte 17: a CEC message has at most 16 bytes, this one 17"};
    QTest::newRow("half a byte") << "0f:3"
                                 << QStringList{
                                        "character 4: byte 2 has one hex digit, expected two"};
    QTest::newRow("empty text")
        << ""
        << QStringList{"the text is empty: expected bytes as two hex digits each, such as 0f:36",
                       "byte 1: missing, a message starts with its header"};
}

void TestDecodeCec::problems() {
    QFETCH(QString, text);
    QFETCH(QStringList, expected);

    const decode::Decoded d = decode::decodeCecText(text.toStdString());
    QCOMPARE(problemsOf(d), expected);
    QVERIFY(!d.ok());
    // Every problem is marked where it happened.
    QVERIFY(QString::fromStdString(decode::renderText(d)).contains("\n! "));
}

void TestDecodeCec::pollingMessage() {
    const decode::Decoded other = decode::decodeCecText("40");
    QVERIFY(other.ok());
    QCOMPARE(fieldAt(other, "polling").toBool(), true);
    QVERIFY(fieldAt(other, "opcode").isUndefined());
    QCOMPARE(fieldAt(other, "message").toString(), QString("polling message: is TV (0) there?"));
    // A device polls its own address to claim it.
    const decode::Decoded self = decode::decodeCecText("44");
    QCOMPARE(fieldAt(self, "message").toString(),
             QString("polling message: is logical address 4 taken?"));
}

void TestDecodeCec::opcodesMatchTheKernelHeader() {
#ifdef HAVE_LINUX_CEC
    const int kernel[] = {CEC_MSG_ACTIVE_SOURCE,
                          CEC_MSG_IMAGE_VIEW_ON,
                          CEC_MSG_TEXT_VIEW_ON,
                          CEC_MSG_INACTIVE_SOURCE,
                          CEC_MSG_REQUEST_ACTIVE_SOURCE,
                          CEC_MSG_ROUTING_CHANGE,
                          CEC_MSG_ROUTING_INFORMATION,
                          CEC_MSG_SET_STREAM_PATH,
                          CEC_MSG_STANDBY,
                          CEC_MSG_RECORD_OFF,
                          CEC_MSG_RECORD_ON,
                          CEC_MSG_RECORD_STATUS,
                          CEC_MSG_RECORD_TV_SCREEN,
                          CEC_MSG_CLEAR_ANALOGUE_TIMER,
                          CEC_MSG_CLEAR_DIGITAL_TIMER,
                          CEC_MSG_CLEAR_EXT_TIMER,
                          CEC_MSG_SET_ANALOGUE_TIMER,
                          CEC_MSG_SET_DIGITAL_TIMER,
                          CEC_MSG_SET_EXT_TIMER,
                          CEC_MSG_SET_TIMER_PROGRAM_TITLE,
                          CEC_MSG_TIMER_CLEARED_STATUS,
                          CEC_MSG_TIMER_STATUS,
                          CEC_MSG_CEC_VERSION,
                          CEC_MSG_GET_CEC_VERSION,
                          CEC_MSG_GIVE_PHYSICAL_ADDR,
                          CEC_MSG_GET_MENU_LANGUAGE,
                          CEC_MSG_REPORT_PHYSICAL_ADDR,
                          CEC_MSG_SET_MENU_LANGUAGE,
                          CEC_MSG_REPORT_FEATURES,
                          CEC_MSG_GIVE_FEATURES,
                          CEC_MSG_DECK_CONTROL,
                          CEC_MSG_DECK_STATUS,
                          CEC_MSG_GIVE_DECK_STATUS,
                          CEC_MSG_PLAY,
                          CEC_MSG_GIVE_TUNER_DEVICE_STATUS,
                          CEC_MSG_SELECT_ANALOGUE_SERVICE,
                          CEC_MSG_SELECT_DIGITAL_SERVICE,
                          CEC_MSG_TUNER_DEVICE_STATUS,
                          CEC_MSG_TUNER_STEP_DECREMENT,
                          CEC_MSG_TUNER_STEP_INCREMENT,
                          CEC_MSG_DEVICE_VENDOR_ID,
                          CEC_MSG_GIVE_DEVICE_VENDOR_ID,
                          CEC_MSG_VENDOR_COMMAND,
                          CEC_MSG_VENDOR_COMMAND_WITH_ID,
                          CEC_MSG_VENDOR_REMOTE_BUTTON_DOWN,
                          CEC_MSG_VENDOR_REMOTE_BUTTON_UP,
                          CEC_MSG_SET_OSD_STRING,
                          CEC_MSG_GIVE_OSD_NAME,
                          CEC_MSG_SET_OSD_NAME,
                          CEC_MSG_MENU_REQUEST,
                          CEC_MSG_MENU_STATUS,
                          CEC_MSG_USER_CONTROL_PRESSED,
                          CEC_MSG_USER_CONTROL_RELEASED,
                          CEC_MSG_GIVE_DEVICE_POWER_STATUS,
                          CEC_MSG_REPORT_POWER_STATUS,
                          CEC_MSG_FEATURE_ABORT,
                          CEC_MSG_ABORT,
                          CEC_MSG_GIVE_AUDIO_STATUS,
                          CEC_MSG_GIVE_SYSTEM_AUDIO_MODE_STATUS,
                          CEC_MSG_REPORT_AUDIO_STATUS,
                          CEC_MSG_REPORT_SHORT_AUDIO_DESCRIPTOR,
                          CEC_MSG_REQUEST_SHORT_AUDIO_DESCRIPTOR,
                          CEC_MSG_SET_SYSTEM_AUDIO_MODE,
                          CEC_MSG_SYSTEM_AUDIO_MODE_REQUEST,
                          CEC_MSG_SYSTEM_AUDIO_MODE_STATUS,
                          CEC_MSG_SET_AUDIO_VOLUME_LEVEL,
                          CEC_MSG_SET_AUDIO_RATE,
                          CEC_MSG_INITIATE_ARC,
                          CEC_MSG_REPORT_ARC_INITIATED,
                          CEC_MSG_REPORT_ARC_TERMINATED,
                          CEC_MSG_REQUEST_ARC_INITIATION,
                          CEC_MSG_REQUEST_ARC_TERMINATION,
                          CEC_MSG_TERMINATE_ARC,
                          CEC_MSG_REQUEST_CURRENT_LATENCY,
                          CEC_MSG_REPORT_CURRENT_LATENCY,
                          CEC_MSG_CDC_MESSAGE};
    QSet<int> named;
    for (const decode::CecOpcode& op : decode::cecOpcodes())
        named.insert(op.code);
    for (int code : kernel)
        QVERIFY2(named.contains(code),
                 qPrintable(QString("opcode 0x%1 has no name").arg(code, 2, 16)));
    QCOMPARE(named.size(), qsizetype(std::size(kernel)));
#else
    QSKIP("<linux/cec.h> is not installed (Debian: linux-libc-dev)");
#endif
}

QTEST_MAIN(TestDecodeCec)
#include "tst_core_decode_cec.moc"
