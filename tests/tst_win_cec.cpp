// CEC messages: sending through the device and storing on its buttons.
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

class CecTest : public QObject {
    Q_OBJECT

private slots:
    void sendCec_data();
    void sendCec();
    void refusedCecSendStillPopulates();
    void refusedCecPopulateOnlyOnStdout();
    void storeCec_data();
    void storeCec();
    void refusedStoreSendsNothingMore();
    void slotsClearEdidTextBuffer();
};

void CecTest::sendCec_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<Requests>("requests");
    QTest::addColumn<QString>("status");

    QTest::newRow("50:04") << "50:04" << Requests{"10 03 B2 50 01 04", "10 03 B3 10"}
                           << "CEC values written...";
    QTest::newRow("lower case") << "0f:36" << Requests{"10 03 B2 0F 01 36", "10 03 B3 10"}
                                << "CEC values written...";
    std::string big = "10 20 B2 10 1E";
    for (int i = 1; i < 31; ++i)
        big += QString::asprintf(" %02X", 0x10 + i).toStdString();
    QTest::newRow("31 bytes") << q(groups(31)) << Requests{big, "10 20 B3 10"}
                              << "CEC values written...";
    QTest::newRow("32 bytes") << q(groups(32)) << Requests{} << kLengthError31;
    QTest::newRow("4 characters") << "5:04" << Requests{} << kLengthError31;
    // Without a colon the message is one byte; the device refuses it, and
    // the populate follows all the same.
    QTest::newRow("no colon") << "A1234" << Requests{"10 01 B2 12", "10 01 B3 10"}
                              << "Error Writing CEC command.";
}

void CecTest::sendCec() {
    QFETCH(QString, text);
    QFETCH(Requests, requests);
    QFETCH(QString, status);
    Started h;
    h.ui()->CECtext->setPlainText(text);
    const auto slept = h.clock.totalSlept();
    StdoutCapture out;
    h.ui()->ButWriteCEC->click();
    QCOMPARE(h.sent(), requests);
    QCOMPARE(h.status(), status);
    QCOMPARE(int(h.clock.totalSlept() - slept), requests.empty() ? 0 : 100);
    QCOMPARE(out.finish(), QByteArray());
}

void CecTest::refusedCecSendStillPopulates() {
    Started h;
    h.device().refusedCommands = {proto::kCmdCecSend};
    h.ui()->ButWriteCEC->click();
    QCOMPARE(h.sent(), (Requests{"10 03 B2 50 01 04", "10 03 B3 10"}));
    QCOMPARE(h.status(), QStringLiteral("Error Writing CEC command."));
    QCOMPARE(h.device().populateCount, 1);
}

void CecTest::refusedCecPopulateOnlyOnStdout() {
    Started h;
    h.device().refusedCommands = {proto::kCmdPopulate};
    StdoutCapture out;
    h.ui()->ButWriteCEC->click();
    QCOMPARE(out.finish(), QByteArray("\nError Populating CEC values.\n"));
    QCOMPARE(h.status(), QStringLiteral("CEC values written..."));
    QVERIFY(h.dialogs.shown.empty());
}

void CecTest::storeCec_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("longPress");
    QTest::addColumn<Requests>("requests");
    QTest::addColumn<QString>("status");

    QTest::newRow("SP 50:04") << "50:04" << false
                              << Requests{"10 0A E3 43 45 43 20 35 30 3A 30 34 0D"}
                              << "CEC values written...";
    QTest::newRow("LP 54:44:01") << "54:44:01" << true
                                 << Requests{"10 0D E4 43 45 43 20 35 34 3A 34 34 3A 30 31 0D"}
                                 << "CEC values written...";
    QTest::newRow("upper-cased") << "0f:3a" << false
                                 << Requests{"10 0A E3 43 45 43 20 30 46 3A 33 41 0D"}
                                 << "CEC values written...";
    std::string twenty = "10 40 E3 43 45 43 20";
    for (char c : QByteArray::fromStdString(groups(20)).toUpper() + '\r')
        twenty += QString::asprintf(" %02X", c).toStdString();
    QTest::newRow("20 bytes") << q(groups(20)) << false << Requests{twenty}
                              << "CEC values written...";
    QTest::newRow("21 bytes") << q(groups(21)) << true << Requests{} << "CEC values not correct";
    QTest::newRow("4 characters") << "5:04" << true << Requests{} << "CEC values not correct";
}

void CecTest::storeCec() {
    QFETCH(QString, text);
    QFETCH(bool, longPress);
    QFETCH(Requests, requests);
    QFETCH(QString, status);
    Started h;
    h.ui()->CECtext->setPlainText(text);
    const auto slept = h.clock.totalSlept();
    (longPress ? h.ui()->ButSaveCEC_2 : h.ui()->ButSaveCEC_1)->click();
    QCOMPARE(h.sent(), requests);
    QCOMPARE(h.status(), status);
    QCOMPARE(int(h.clock.totalSlept() - slept), 0); // no populate step
    if (!requests.empty())
        QCOMPARE(q(h.device().storedCec[longPress ? 1 : 0]),
                 "CEC " + text.toUpper() + QLatin1Char('\r'));
}

void CecTest::refusedStoreSendsNothingMore() {
    Started h;
    h.device().refusedCommands = {proto::kCmdStoreCecLp};
    h.ui()->ButSaveCEC_2->click();
    QCOMPARE(int(h.sent().size()), 1);
    QCOMPARE(h.status(), QStringLiteral("Error Writing CEC values."));
}

void CecTest::slotsClearEdidTextBuffer() {
    Started h;
    h.ui()->IFtext->setPlainText("1"); // refused: only the clearing counts here
    h.ui()->AVItext->setPlainText("1");
    const std::pair<QAbstractButton*, bool> buttons[] = {{h.ui()->ButWriteCEC, true},
                                                         {h.ui()->ButSaveCEC_1, true},
                                                         {h.ui()->ButSaveCEC_2, true},
                                                         {h.ui()->ButWriteIF, true},
                                                         {h.ui()->ButWriteAVI, false}};
    for (const auto& [button, clears] : buttons) {
        std::memset(appState.edidTextBuffer, 'x', sizeof appState.edidTextBuffer);
        button->click();
        const bool allZero =
            std::all_of(std::begin(appState.edidTextBuffer), std::end(appState.edidTextBuffer),
                        [](char c) { return c == 0; });
        QVERIFY2(allZero == clears, qPrintable(button->objectName()));
    }
}

QTEST_MAIN(CecTest)
#include "tst_win_cec.moc"
