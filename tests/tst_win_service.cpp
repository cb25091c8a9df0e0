// The window with `korvanta serve` running for its unit: it shows what a
// window on the device itself shows, its controls reach the service's device,
// and it never opens a device of its own.
#include "WindowHarness.h"
#include "link/AppState.h"
#include "link/Platform.h"
#include "service/ServiceClient.h"
#include "window/ScenesWindow.h"

#include <QComboBox>
#include <QJsonArray>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString korvantaProgram() {
    return QCoreApplication::applicationDirPath() + "/../cli/korvanta";
}

// What a user reads off the window after start-up.
QStringList shownTexts(const Ui::MainWindow& ui) {
    QStringList texts;
    for (const QLabel* label : ui.centralwidget->findChildren<QLabel*>())
        texts << label->objectName() + "=" + label->text();
    for (const QComboBox* box : ui.centralwidget->findChildren<QComboBox*>())
        texts << box->objectName() + "=" + QString::number(box->currentIndex());
    texts.sort();
    return texts;
}

} // namespace

class WindowServiceTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void windowThroughTheService();
    void windowFollowsTheServiceRestart();
    void windowSaysTheDeviceIsLostAndFound();
    void windowOpensTheUnitWhenNoServiceReturns();
    void scenesWindowThroughTheService();

private:
    bool startService(const QString& plug = {}, const QString& pollMs = "600000");
    // The window's start-up hands its unit to the running service.
    void goThroughService();

    QTemporaryDir dir;
    QProcess serve;
    service::ServiceClient client;
};

void WindowServiceTest::init() {
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkpath("run"));
    QVERIFY(QFile::setPermissions(dir.filePath("run"), QFileDevice::ReadOwner |
                                                           QFileDevice::WriteOwner |
                                                           QFileDevice::ExeOwner));
    for (const char* name :
         {"KORVANTA_SOCKET", "KORVANTA_DEVICE", "KORVANTA_SIM_UNITS", "KORVANTA_SCENES"})
        qunsetenv(name);
}

void WindowServiceTest::goThroughService() {
    MainWindow::devicePicked = [this](const std::string& id) {
        std::string why;
        QCOMPARE(service::connectToService(&client, id, &why),
                 service::ServiceClient::Connect::Connected);
        platform().forwarder = &client;
    };
}

bool WindowServiceTest::startService(const QString& plug, const QString& pollMs) {
    // The service and this test find each other through the runtime folder.
    qputenv("XDG_RUNTIME_DIR", dir.filePath("run").toUtf8());
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("KORVANTA_LINK", "simulator");
    e.insert("KORVANTA_SIM_STATE", dir.filePath("state.json"));
    e.remove("KORVANTA_TRACE");
    e.remove("KORVANTA_SIM_FAULTS");
    if (!plug.isEmpty())
        e.insert("KORVANTA_SIM_PLUG", plug);
    serve.setProcessEnvironment(e);
    serve.setReadChannel(QProcess::StandardError);
    // A slow poll keeps the service's own requests out of the way.
    serve.start(korvantaProgram(), {"serve", "--poll-ms", pollMs});
    QByteArray said;
    while (!said.contains("serving device") && serve.waitForReadyRead(10000))
        said += serve.readAllStandardError();
    if (!said.contains("serving device"))
        qWarning("serve said: %s", said.constData());
    return said.contains("serving device");
}

void WindowServiceTest::cleanup() {
    platform().forwarder = nullptr;
    MainWindow::devicePicked = nullptr;
    if (serve.state() == QProcess::NotRunning)
        return;
    serve.terminate();
    QVERIFY(serve.waitForFinished(10000));
    QCOMPARE(serve.exitCode(), 0);
}

void WindowServiceTest::windowThroughTheService() {
    // The same factory device, opened by the window itself.
    QStringList direct;
    {
        WindowHarness h;
        h.start();
        direct = shownTexts(*h.ui());
        QCOMPARE(appState.ready, std::uint8_t(1));
    }
    QVERIFY(startService());

    WindowHarness h;
    goThroughService();
    h.start();
    QVERIFY(platform().forwarder == &client);
    QCOMPARE(shownTexts(*h.ui()), direct);
    QVERIFY(h.dialogs.shown.empty());
    // Every request went to the service; the in-process device heard nothing.
    QVERIFY(h.device().requests.empty());

    // A control the user changes reaches the service's device.
    h.ui()->cmbInputSel->setCurrentIndex(1);
    QVERIFY(h.device().requests.empty());
    QJsonValue result;
    std::string error;
    QVERIFY2(client.call("get", QJsonObject{{"names", QJsonArray{"input"}}}, &result, &error),
             error.c_str());
    const QJsonObject answer = result.toObject();
    QCOMPARE(answer["exitCode"].toInt(), 0);
    QCOMPARE(answer["output"].toObject()["settings"].toObject()["input"].toString(), QString("b"));
}

void WindowServiceTest::windowFollowsTheServiceRestart() {
    QVERIFY(startService());
    WindowHarness h;
    goThroughService();
    h.start();
    // The lists fill after the first readback; a tick shows the device's values.
    h.tick();
    QVERIFY(!h.ui()->label_video_format->text().isEmpty());

    serve.terminate();
    QVERIFY(serve.waitForFinished(10000));
    h.tick();
    QCOMPARE(h.status(), QString("Service stopped; reconnecting"));
    // What the header showed is no longer live, so it goes.
    QVERIFY(h.ui()->label_video_format->text().isEmpty());
    // A click into nothing: the box shows it, but not as the device's truth.
    const int input = h.ui()->cmbInputSel->currentIndex();
    h.ui()->cmbInputSel->setCurrentIndex(input == 0 ? 1 : 0);

    QVERIFY(startService());
    QTRY_VERIFY_WITH_TIMEOUT(client.connected(), 10000);
    QVERIFY(h.status().isEmpty());
    QVERIFY(!h.ui()->label_video_format->text().isEmpty());
    QCOMPARE(h.ui()->cmbInputSel->currentIndex(), input);
    // And its controls reach the restarted service's device.
    h.ui()->cmbInputSel->setCurrentIndex(2);
    QJsonValue result;
    std::string error;
    QVERIFY2(client.call("get", QJsonObject{{"names", QJsonArray{"input"}}}, &result, &error),
             error.c_str());
    QCOMPARE(result.toObject()["output"].toObject()["settings"].toObject()["input"].toString(),
             QString("matrix-thru"));
    QVERIFY(h.device().requests.empty());
}

void WindowServiceTest::windowSaysTheDeviceIsLostAndFound() {
    const QString plug = dir.filePath("unplugged");
    QVERIFY(startService(plug, "200"));
    WindowHarness h;
    goThroughService();
    h.start();
    QVERIFY(!h.ui()->label_video_format->text().isEmpty());

    QFile pulled(plug);
    QVERIFY(pulled.open(QIODevice::WriteOnly));
    QVERIFY(pulled.write("unplugged\n") > 0);
    pulled.close();
    // The service's word comes with the answers to the window's ticks.
    QTRY_VERIFY_WITH_TIMEOUT((h.tick(), h.status() == "Device lost"), 10000);
    QVERIFY(h.ui()->label_video_format->text().isEmpty());

    QVERIFY(QFile::remove(plug));
    QTRY_VERIFY_WITH_TIMEOUT((h.tick(), h.status().isEmpty()), 10000);
    QVERIFY(!h.ui()->label_video_format->text().isEmpty());
}

QTEST_MAIN(WindowServiceTest)
#include "tst_win_service.moc"

void WindowServiceTest::windowOpensTheUnitWhenNoServiceReturns() {
    QVERIFY(startService());
    WindowHarness h;
    goThroughService();
    h.start();
    h.tick();
    serve.terminate();
    QVERIFY(serve.waitForFinished(10000));
    h.tick();
    QCOMPARE(h.status(), QString("Service stopped; reconnecting"));

    // A restart gets its chance first: the window does not take the device at once.
    QTest::qWait(1500);
    QVERIFY(platform().forwarder == &client);
    QVERIFY(h.device().requests.empty());

    h.clock.advance(5000);
    QTRY_COMPARE_WITH_TIMEOUT(h.status(), QString("Service stopped; using the device directly"),
                              5000);
    QVERIFY(platform().forwarder == nullptr);
    QVERIFY(!h.device().requests.empty());
    QVERIFY(!h.ui()->label_video_format->text().isEmpty());
    QVERIFY(h.dialogs.shown.empty());
    // The window's clicks now reach its own device.
    h.clearTraffic();
    h.ui()->cmbInputSel->setCurrentIndex(1);
    QCOMPARE(settingWrites(h.requests()).size(), 1);
}

// The scenes window saves and recalls on the service's device, never on one
// of its own.
void WindowServiceTest::scenesWindowThroughTheService() {
    qputenv("KORVANTA_SCENES", dir.filePath("scenes").toUtf8());
    QVERIFY(startService());
    WindowHarness h;
    goThroughService();
    h.start();
    QJsonValue result;
    std::string error;
    const auto set = [&](const char* pair) {
        return client.call("set", QJsonObject{{"values", QJsonArray{pair}}}, &result, &error);
    };
    const auto input = [&] {
        return client.call("get", QJsonObject{{"names", QJsonArray{"input"}}}, &result, &error)
                   ? result.toObject()["output"].toObject()["settings"].toObject()["input"]
                   : QJsonValue(QString::fromStdString(error));
    };
    QVERIFY(set("input=a"));
    ScenesWindow* w = openScenes(h.window.get());
    QVERIFY2(w->saveCurrent({"Films", {"input"}, false, {}, false}), qPrintable(w->message()));
    QVERIFY(set("input=b"));
    QCOMPARE(input(), QJsonValue("b"));
    QVERIFY2(w->recall("Films"), qPrintable(w->message()));
    QCOMPARE(input(), QJsonValue("a"));
    QVERIFY2(w->message().contains(QStringLiteral("input: b \u2192 a")), qPrintable(w->message()));
    QVERIFY(h.device().requests.empty());
}
