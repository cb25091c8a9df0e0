// HDR and AVI InfoFrame injection, and the two check boxes that tie the
// InfoFrames to settings.
#include "CecHarness.h"
#include "StdoutCapture.h"
#include "cec/ColonHex.h"
#include "link/AppState.h"
#include "link/Protocol.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <cstring>

class InfoFrameTest : public QObject {
    Q_OBJECT

private slots:
    void sendHdr_data();
    void sendHdr();
    void refusedHdrRequestStillPopulates();
    void refusedHdrPopulateOnlyOnStdout();
    void sendAvi_data();
    void sendAvi();
    void refusedAviRequestSendsNothingMore();
    void refusedAviPopulateSkipsSetting();
    void replaceAviClick_data();
    void replaceAviClick();
    void forceHdrClick_data();
    void forceHdrClick();
    void forceHdrFromTickResendsInfoFrame();
    void forceHdrAtStartUpBeforeFieldIsFilled();
    void restartShowsInjectedInfoFrames();
};

void InfoFrameTest::sendHdr_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<Requests>("requests");
    QTest::addColumn<QString>("status");

    QTest::newRow("4 bytes") << "87:01:02:0a" << Requests{"10 04 E5 87 01 02 0A", "10 04 B3 20"}
                             << "Infoframe values written...";
    std::string big = "10 1F E5";
    for (int i = 0; i < 31; ++i)
        big += QString::asprintf(" %02X", 0x80 + i).toStdString();
    QTest::newRow("31 bytes") << q(groups(31, 0x80)) << Requests{big, "10 1F B3 20"}
                              << "Infoframe values written...";
    QTest::newRow("32 bytes") << q(groups(32)) << Requests{} << kLengthError31;
    QTest::newRow("empty") << "" << Requests{} << kLengthError31;
}

void InfoFrameTest::sendHdr() {
    QFETCH(QString, text);
    QFETCH(Requests, requests);
    QFETCH(QString, status);
    Started h;
    h.ui()->IFtext->setPlainText(text);
    const auto slept = h.clock.totalSlept();
    h.ui()->ButWriteIF->click();
    QCOMPARE(h.sent(), requests);
    QCOMPARE(h.status(), status);
    QCOMPARE(int(h.clock.totalSlept() - slept), requests.empty() ? 0 : 100);
    if (!requests.empty())
        QCOMPARE(q(formatColonHex(h.device().customHdr.data(), text.count(':') + 1)),
                 text.toLower());
}

void InfoFrameTest::refusedHdrRequestStillPopulates() {
    Started h;
    h.device().refusedCommands = {proto::kCmdHdrInfoFrame};
    h.ui()->IFtext->setPlainText("87:01:02");
    h.ui()->ButWriteIF->click();
    QCOMPARE(h.sent(), (Requests{"10 03 E5 87 01 02", "10 03 B3 20"}));
    QCOMPARE(h.status(), QStringLiteral("Error Writing Infoframe values."));
}

void InfoFrameTest::refusedHdrPopulateOnlyOnStdout() {
    Started h;
    h.device().refusedCommands = {proto::kCmdPopulate};
    h.ui()->IFtext->setPlainText("87:01:02");
    StdoutCapture out;
    h.ui()->ButWriteIF->click();
    QCOMPARE(out.finish(), QByteArray("\nError Populating IF values.\n"));
    QCOMPARE(h.status(), QStringLiteral("Infoframe values written..."));
}

void InfoFrameTest::sendAvi_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("replace"); // "REPLACE AVI" checked
    QTest::addColumn<Requests>("requests");
    QTest::addColumn<QString>("status");

    QTest::newRow("BT.2020, not persistent")
        << "60:c8:60:61:00" << false
        << Requests{"10 05 E6 60 C8 60 61 00", "10 05 B3 80", "10 04 E0 21 00"}
        << "AVI values written...";
    QTest::newRow("BT.2020, persistent")
        << "60:C8:60:61:00" << true
        << Requests{"10 05 E6 60 C8 60 61 00", "10 05 B3 80", "10 04 E0 21 01"}
        << "AVI values written...";
    std::string big = "10 0D E6";
    for (int i = 0; i < 13; ++i)
        big += QString::asprintf(" %02X", 0x10 + i).toStdString();
    QTest::newRow("13 bytes") << q(groups(13)) << false
                              << Requests{big, "10 0D B3 80", "10 04 E0 21 00"}
                              << "AVI values written...";
    QTest::newRow("14 bytes") << q(groups(14)) << true << Requests{} << kLengthError13;
}

void InfoFrameTest::sendAvi() {
    QFETCH(QString, text);
    QFETCH(bool, replace);
    QFETCH(Requests, requests);
    QFETCH(QString, status);
    Started h;
    h.ui()->AVItext->setPlainText(text);
    h.ui()->cbAviPersistent->setChecked(replace); // no click: setAviPers stays out
    appState.settingsMirror[33] = 7;
    h.ui()->ButWriteAVI->click();
    QCOMPARE(h.sent(), requests);
    QCOMPARE(h.status(), status);
    QCOMPARE(int(appState.settingsMirror[33]), requests.empty() ? 7 : int(replace));
}

void InfoFrameTest::refusedAviRequestSendsNothingMore() {
    Started h;
    h.device().refusedCommands = {proto::kCmdAviInfoFrame};
    const auto slept = h.clock.totalSlept();
    h.ui()->ButWriteAVI->click();
    QCOMPARE(int(h.sent().size()), 1);
    QCOMPARE(h.status(), QStringLiteral("Error Writing AVI command."));
    QCOMPARE(int(h.clock.totalSlept() - slept), 0);
}

void InfoFrameTest::refusedAviPopulateSkipsSetting() {
    Started h;
    h.device().refusedCommands = {proto::kCmdPopulate};
    h.ui()->AVItext->setPlainText("60:c8");
    StdoutCapture out;
    h.ui()->ButWriteAVI->click();
    QCOMPARE(out.finish(), QByteArray("\nError Activating AVI values.\n"));
    QCOMPARE(h.sent(), (Requests{"10 02 E6 60 C8", "10 02 B3 80"}));
}

void InfoFrameTest::replaceAviClick_data() {
    QTest::addColumn<bool>("checkedBefore");
    QTest::addColumn<QString>("text");
    QTest::addColumn<Requests>("requests");

    // Checking it writes the setting twice: once after the InfoFrame, once itself.
    QTest::newRow("check, valid text")
        << false << "60:c8:60:61:00"
        << Requests{"10 05 E6 60 C8 60 61 00", "10 05 B3 80", "10 04 E0 21 01", "10 04 E0 21 01"};
    QTest::newRow("check, invalid text") << false << "6" << Requests{"10 04 E0 21 01"};
    QTest::newRow("uncheck") << true << "60:c8:60:61:00" << Requests{"10 04 E0 21 00"};
}

void InfoFrameTest::replaceAviClick() {
    QFETCH(bool, checkedBefore);
    QFETCH(QString, text);
    QFETCH(Requests, requests);
    Started h;
    h.ui()->cbAviPersistent->setChecked(checkedBefore);
    h.ui()->AVItext->setPlainText(text);
    h.ui()->cbAviPersistent->click();
    QCOMPARE(h.sent(), requests);
    QCOMPARE(int(appState.settingsMirror[33]), int(!checkedBefore));
    QCOMPARE(int(h.device().settings[33]), int(!checkedBefore));
    if (text.size() < 5)
        QCOMPARE(h.status(), QString(kLengthError13));
}

void InfoFrameTest::forceHdrClick_data() {
    QTest::addColumn<bool>("checkedBefore");
    QTest::addColumn<Requests>("requests");
    QTest::newRow("check") << false
                           << Requests{"10 03 E5 87 01 02", "10 03 B3 20", "10 04 E0 11 01"};
    QTest::newRow("uncheck sends no InfoFrame") << true << Requests{"10 04 E0 11 00"};
}

void InfoFrameTest::forceHdrClick() {
    QFETCH(bool, checkedBefore);
    QFETCH(Requests, requests);
    Started h;
    {
        const QSignalBlocker quiet(h.ui()->cbHdrForceMode);
        h.ui()->cbHdrForceMode->setChecked(checkedBefore);
    }
    h.ui()->IFtext->setPlainText("87:01:02");
    h.ui()->cbHdrForceMode->click();
    QCOMPARE(h.sent(), requests);
    QCOMPARE(int(appState.settingsMirror[22]), int(!checkedBefore));
    QCOMPARE(int(h.device().settings[22]), int(!checkedBefore));
}

void InfoFrameTest::forceHdrFromTickResendsInfoFrame() {
    Started h;
    QVERIFY(!h.ui()->cbHdrForceMode->isChecked());
    h.device().settings[22] = 1; // switched on at the device
    h.tick();
    QVERIFY(h.ui()->cbHdrForceMode->isChecked());
    const Requests sent = h.sent();
    const QString stored = h.ui()->IFtext->toPlainText();
    const auto hdr = std::find_if(sent.begin(), sent.end(), [](const std::string& r) {
        return r.rfind("10 1F E5 ", 0) == 0;
    });
    QVERIFY(hdr != sent.end());
    QCOMPARE(*(hdr + 1), std::string("10 1F B3 20"));
    QCOMPARE(*(hdr + 2), std::string("10 04 E0 11 01"));
    QCOMPARE(q(hdr->substr(9)), stored.toUpper().replace(':', ' '));
}

void InfoFrameTest::forceHdrAtStartUpBeforeFieldIsFilled() {
    WindowHarness h;
    h.device().settings[22] = 1;
    QStringList messages;
    MainWindow::slotObserver = [&messages](const char* name) {
        if (std::string(name) != "hdrForceActivate")
            return;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* window = qobject_cast<MainWindow*>(w))
                QObject::connect(window->statusBar(), &QStatusBar::messageChanged,
                                 [&messages](const QString& m) { messages << m; });
    };
    h.start();
    MainWindow::slotObserver = nullptr;
    QVERIFY(h.ui()->cbHdrForceMode->isChecked());
    QCOMPARE(messages.value(0), QString(kLengthError31));
    const Requests sent = hexRequests(h.requests());
    QVERIFY(std::none_of(sent.begin(), sent.end(),
                         [](const std::string& r) { return r.substr(6, 2) == "E5"; }));
    const auto force = std::find(sent.begin(), sent.end(), "10 04 E0 11 01");
    const auto storedRead = std::find(sent.begin(), sent.end(), "11 21 E0 23");
    QVERIFY(force < storedRead && storedRead != sent.end());
    QVERIFY(!h.ui()->IFtext->toPlainText().isEmpty());
}

void InfoFrameTest::restartShowsInjectedInfoFrames() {
    Started h;
    h.ui()->IFtext->setPlainText("87:01:02:aa");
    h.ui()->AVItext->setPlainText("60:c8:60:61:00");
    h.ui()->ButWriteIF->click();
    h.ui()->ButWriteAVI->click();
    h.window.reset();
    resetAppState();
    h.start();
    QCOMPARE(h.ui()->IFtext->toPlainText(), "87:01:02:aa" + QString(":00").repeated(27));
    QCOMPARE(h.ui()->AVItext->toPlainText(), "60:c8:60:61:00" + QString(":00").repeated(8));
}

QTEST_MAIN(InfoFrameTest)
#include "tst_win_cec_infoframes.moc"
