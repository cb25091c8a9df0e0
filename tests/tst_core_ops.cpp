// The operations on the simulated device, without a front end: what they
// find as typed results, their error codes, and that what the link says
// reaches the operation's reporter.
#include "TestPlatform.h"
#include "edid/EdidModel.h"
#include "edid/EdidOptions.h"
#include "edid/EdidPresets.h"
#include "link/UsbLink.h"
#include "ops/OpsJson.h"
#include "service/CommandMethods.h"
#include "sim/SimFaults.h"

#include <QJsonArray>
#include <QTemporaryFile>
#include <QtTest>

#include <cstdio>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

void applyFaults(TestPlatform& t, const char* knobs) {
    SimFaults f;
    std::string complaint;
    QVERIFY2(parseSimFaults(knobs, &f, &complaint), complaint.c_str());
    applySimFaults(f, &t.usb);
}

// A preset's EDID claiming 4K60 over a link of 165 MHz: the check fails it.
EdidImage failingEdid() {
    edid::PresetBuild built = edid::buildPreset("4k60-hdr-atmos");
    EdidImage image{};
    if (!built.ok || !edid::applyOption(built.model, "max-tmds", "165").ok)
        return image;
    const std::vector<std::uint8_t> bytes = edid::write(built.model);
    std::copy_n(bytes.begin(), std::min(bytes.size(), image.size()), image.begin());
    return image;
}

} // namespace

class OpsTest : public QObject {
    Q_OBJECT

private slots:
    void setAndGetAsTypedResults();
    void errorCodes_data();
    void errorCodes();
    void linkWarningsReachTheReporter();
    void edidWriteRefusedForcedVerified();
    void restoreSaysWhatChanged();
    void methodFailureIsAnsweredNotPrinted();
};

// A write and its readback, through the results' fields; the rendering
// names the same values.
void OpsTest::setAndGetAsTypedResults() {
    TestPlatform t;
    t.openDirectly();
    ops::Reporter reporter;
    ops::HeldDevice device(reporter);
    const ops::SetResult set = ops::set({{"Input=b", "hdr=on"}}, device, reporter);
    QVERIFY(!set.error);
    QCOMPARE(int(set.writes.size()), 2);
    QCOMPARE(set.writes[0].setting->index, int(settings::kActiveInput));
    QVERIFY(set.writes[0].accepted && set.writes[1].accepted);

    const ops::GetResult got = ops::get({{"input"}}, device, reporter);
    QVERIFY(!got.error);
    QCOMPARE(int(got.wanted.size()), 1);
    QCOMPARE(settings::valueWord(*got.wanted[0], got.block[got.wanted[0]->position]),
             std::string("b"));
    QCOMPARE(ops::toJson(got)["settings"].toObject()["input"].toString(), QString("b"));
    QVERIFY(reporter.messages().empty());
}

void OpsTest::errorCodes_data() {
    QTest::addColumn<QString>("faults");
    QTest::addColumn<QStringList>("pairs");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("exit");
    QTest::addColumn<QString>("cause"); // a part of the error's cause
    QTest::newRow("usage, nothing sent")
        << "" << QStringList{"input=z"} << int(ops::ErrorCode::usage) << 2 << "";
    QTest::newRow("refused") << "refuse=E0" << QStringList{"input=b"}
                             << int(ops::ErrorCode::refused) << 1 << "answered EE 01";
    QTest::newRow("no answer") << "silent" << QStringList{"input=b"} << int(ops::ErrorCode::device)
                               << 1 << "did not answer";
}

// The code says what happened; nobody reads it out of the message.
void OpsTest::errorCodes() {
    QFETCH(QString, faults);
    QFETCH(QStringList, pairs);
    QFETCH(int, code);
    QFETCH(int, exit);
    QFETCH(QString, cause);
    TestPlatform t;
    applyFaults(t, faults.toLatin1().constData());
    t.openDirectly();
    t.requests().clear();
    ops::Reporter reporter;
    ops::HeldDevice device(reporter);
    ops::SetParams params;
    for (const QString& p : pairs)
        params.pairs.push_back(p.toStdString());
    const ops::SetResult r = ops::set(params, device, reporter);
    QCOMPARE(int(r.error.code), code);
    QCOMPARE(ops::exitCode(r.error), exit);
    QVERIFY(!r.error.message.empty());
    QVERIFY2(QString::fromStdString(r.error.cause).contains(cause), r.error.cause.c_str());
    if (code == int(ops::ErrorCode::usage))
        QCOMPARE(t.requests().size(), std::size_t(0));
    // Every sentence said is in the document's errors, in order.
    const QJsonArray errors = ops::document(ops::toJson(r), exit, reporter)["errors"].toArray();
    QCOMPARE(errors.size(), exit == 2 ? 0 : qsizetype(reporter.errorTexts().size()));
}

// The link's own warning ("Error Checking RX Queue") is the operation's to
// say, not a box or a line on the program's stderr; the program's dialogs
// come back afterwards.
void OpsTest::linkWarningsReachTheReporter() {
    TestPlatform t;
    applyFaults(t, "fail-queue-check");
    t.openDirectly();
    ops::Reporter reporter;
    {
        ops::HeldDevice device(reporter);
        const ops::StatusResult r = ops::status({}, device, reporter);
        QCOMPARE(int(r.error.code), int(ops::ErrorCode::device));
        QVERIFY(ops::toJson(r).isEmpty());
    }
    QVERIFY(t.dialogs.shown.empty());
    QCOMPARE(platform().dialogs, static_cast<Dialogs*>(&t.dialogs));
    const std::string said = reporter.stderrText();
    QVERIFY2(QString::fromStdString(said).contains("korvanta: Error Checking RX Queue\n"),
             said.c_str());
}

// The check refuses before anything is sent; forced, the same EDID goes
// through the mode switch, the write and a verify that reads it back.
void OpsTest::edidWriteRefusedForcedVerified() {
    TestPlatform t;
    t.openDirectly();
    t.requests().clear();
    const EdidImage image = failingEdid();
    QVERIFY(!ops::edidCheckFailures(image).empty());
    ops::Reporter reporter;
    ops::HeldDevice device(reporter);

    const ops::EdidWriteResult refused = ops::writeEdid({image, true, false, {}}, device, reporter);
    QCOMPARE(int(refused.error.code), int(ops::ErrorCode::usage));
    QVERIFY(!refused.checkFailures.empty());
    QVERIFY(!refused.previous && !refused.verify);
    QCOMPARE(t.requests().size(), std::size_t(0));

    const ops::EdidWriteResult forced = ops::writeEdid({image, true, true, {}}, device, reporter);
    QVERIFY2(!forced.error, forced.error.message.c_str());
    QVERIFY(forced.switchedToCustom);
    QVERIFY(forced.previous && *forced.previous != image);
    QVERIFY(forced.verify && forced.verify->verified());
    QCOMPARE(ops::toJson(forced)["verified"], QJsonValue(true));
    // Forced, the failures are said as a warning, not as one of the errors.
    QCOMPARE(reporter.errorTexts().size(), std::size_t(1));
    QCOMPARE(reporter.messages().back().error, false);
    const ops::EdidReadResult back = ops::readEdid({"device"}, device, reporter);
    QVERIFY(!back.error);
    QVERIFY(back.edid == image);
}

// A restore names each setting it changed, from and to; the same backup
// again changes and sends nothing; an EDID that fails the check holds back
// only itself.
void OpsTest::restoreSaysWhatChanged() {
    TestPlatform t;
    t.openDirectly();
    ops::Reporter reporter;
    ops::HeldDevice device(reporter);
    const ops::BackupResult saved = ops::backup(device, reporter);
    QVERIFY(!saved.error);
    ops::RestoreParams params;
    QVERIFY(!ops::parseBackup(ops::backupDocument(saved), "b", reporter, &params.backup));
    QVERIFY(!ops::set({{"input=b", "hdr=off"}}, device, reporter).error);
    const int inputWas = saved.state.block[settings::byName("input")->position];

    params.dryRun = true;
    const ops::RestoreResult planned = ops::restore(params, device, reporter);
    QVERIFY(!planned.error && planned.finished);
    QCOMPARE(int(planned.changed.size()), 2);
    QVERIFY(!planned.requests.empty());
    // Planned only: the device still has what was set since.
    const settings::Setting* input = settings::byName("input");
    int b = 0;
    QVERIFY(settings::parseValue(*input, "b", &b));
    QCOMPARE(int(ops::get({{"input"}}, device, reporter).block[input->position]), b);

    params.dryRun = false;
    params.backup.edid = failingEdid();
    t.requests().clear();
    const ops::RestoreResult r = ops::restore(params, device, reporter);
    QVERIFY(!r.error);
    QCOMPARE(int(r.changed.size()), 2);
    QCOMPARE(std::string(r.changed[0].setting->name), std::string("input"));
    QCOMPARE(r.changed[0].from, b);
    QCOMPARE(r.changed[0].to, inputWas);
    QCOMPARE(settingWrites(t.requests()).size(), 2);
    QCOMPARE(int(ops::get({{"input"}}, device, reporter).block[input->position]), inputWas);
    QVERIFY(r.edid && r.edid->refused && !r.edid->written && r.findings());
    QCOMPARE(ops::toJson(r)["changed"].toArray().size(), 2);

    params.backup.edid.reset();
    t.requests().clear();
    const ops::RestoreResult again = ops::restore(params, device, reporter);
    QVERIFY(!again.error && again.nothingChanged() && again.changed.empty());
    QVERIFY(settingWrites(t.requests()).isEmpty());
}

// A device that fails a method's transaction: its message and cause reach
// the method's result, and nothing is printed on the process's stderr.
void OpsTest::methodFailureIsAnsweredNotPrinted() {
    TestPlatform t;
    applyFaults(t, "wrong-ack");
    t.openDirectly();
    QTemporaryFile err;
    QVERIFY(err.open());
    std::fflush(stderr);
    const int saved = dup(fileno(stderr));
    QVERIFY(dup2(err.handle(), fileno(stderr)) >= 0);
    const service::MethodResult r =
        service::makeMethodHandler()("cec.send", QJsonObject{{"hex", "0f:36"}});
    std::fflush(stderr);
    dup2(saved, fileno(stderr));
    close(saved);
    QCOMPARE(r.exitCode, 1);
    const QString said = QString::fromStdString(r.message);
    QVERIFY2(said.startsWith("korvanta: ") && said.contains("acknowledges with"),
             r.message.c_str());
    const QJsonArray errors = r.output["errors"].toArray();
    QVERIFY(!errors.isEmpty());
    QVERIFY(said.contains(errors.last().toString()));
    QCOMPARE(r.output["ok"], QJsonValue(false));
    QFile printed(err.fileName());
    QVERIFY(printed.open(QIODevice::ReadOnly));
    QCOMPARE(printed.readAll(), QByteArray());
}

QTEST_GUILESS_MAIN(OpsTest)
#include "tst_core_ops.moc"
