// The signal chain window: reached from the Tools menu and the status header,
// its drawing and findings, a status that follows the poll tick without
// reading the displays, and a display read on a change of format.
#include "WindowHarness.h"
#include "link/Protocol.h"
#include "sim/SimState.h"
#include "window/ChainDrawing.h"
#include "window/DecodeMenus.h"
#include "window/SignalChainWindow.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include <algorithm>

namespace {

const QString kChainEntry = QStringLiteral("Signal chain\u2026");

// The displays' EDIDs staged for reading, per output.
struct StageCount {
    int top = 0, bot = 0;
};
StageCount stageRequests(const std::vector<std::vector<std::uint8_t>>& requests) {
    StageCount count;
    for (const auto& r : requests) {
        if (r.size() < 3)
            continue;
        count.top += r[2] == proto::kCmdStageTopEdid;
        count.bot += r[2] == proto::kCmdStageBotEdid;
    }
    return count;
}

QMenu* toolsMenu(WindowHarness& h) {
    return h.window->menuBar()->findChild<QMenu*>(QStringLiteral("menuTools"));
}

QAction* actionNamed(const QList<QAction*>& actions, const QString& text) {
    for (QAction* a : actions)
        if (a->text() == text)
            return a;
    return nullptr;
}

QList<SignalChainWindow*> chainWindows(WindowHarness& h) {
    return h.window->findChildren<SignalChainWindow*>();
}

SignalChainWindow* openFromTools(WindowHarness& h) {
    installDecodeMenus(*h.window);
    QAction* entry = actionNamed(toolsMenu(h)->actions(), kChainEntry);
    if (!entry)
        return nullptr;
    entry->trigger();
    return SignalChainWindow::findOpen(h.window.get());
}

// Right-clicks the status header and chooses the chain entry, as a user would.
QStringList rightClickHeader(WindowHarness& h) {
    QStringList shown;
    const auto onScreen = showDecodeMenu;
    showDecodeMenu = [&](QMenu& menu, const QPoint&) {
        for (QAction* a : menu.actions())
            shown << a->text();
        if (QAction* a = actionNamed(menu.actions(), kChainEntry))
            a->trigger();
    };
    QLabel* label = h.ui()->label_video_format;
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5),
                            label->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(label, &click);
    showDecodeMenu = onScreen;
    return shown;
}

QTreeWidgetItem* outputGroup(SignalChainWindow* w, const QString& name) {
    QTreeWidget* tree = w->findingTree();
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        if (tree->topLevelItem(i)->text(0).startsWith(name + QLatin1Char(':')))
            return tree->topLevelItem(i);
    return nullptr;
}

} // namespace

class ChainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void toolsMenuOpensOneWindow();
    void statusHeaderMenuOpensIt();
    void defaultDeviceDrawingAndFindings();
    void displayMissingOnBot();
    void matrixModeLeavesBotUnknown();
    void stagedScenes_data();
    void stagedScenes();
    void tickFollowsStatusWithoutReadingDisplays();
    void formatChangeReadsDisplaysOnce();
    void buttonReadsDisplaysAgain();
    void noDeviceAccessWhenClosedOrBusy();
    void mainFormKeepsItsGeometryAndTexts();
};

void ChainWindowTest::toolsMenuOpensOneWindow() {
    WindowHarness h;
    h.start();
    SignalChainWindow* w = openFromTools(h);
    QVERIFY(w);
    QVERIFY(w->isVisible() && w->isWindow());
    QCOMPARE(w->windowModality(), Qt::NonModal);
    // Chosen again, the open window comes forward; no second one.
    actionNamed(toolsMenu(h)->actions(), kChainEntry)->trigger();
    QCOMPARE(chainWindows(h).size(), 1);
    // Closed, it is gone; the entry opens a new one.
    w->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(chainWindows(h).size(), 0);
    QVERIFY(openFromTools(h));
}

void ChainWindowTest::statusHeaderMenuOpensIt() {
    WindowHarness h;
    h.start();
    installDecodeMenus(*h.window);
    QCOMPARE(rightClickHeader(h), QStringList{kChainEntry});
    SignalChainWindow* w = SignalChainWindow::findOpen(h.window.get());
    QVERIFY(w && w->isVisible());
    // The same window again from the Tools menu.
    actionNamed(toolsMenu(h)->actions(), kChainEntry)->trigger();
    QCOMPARE(chainWindows(h).size(), 1);
    QCOMPARE(rightClickHeader(h), QStringList{kChainEntry});
    QCOMPARE(chainWindows(h).size(), 1);
}

void ChainWindowTest::defaultDeviceDrawingAndFindings() {
    WindowHarness h;
    h.start();
    SignalChainWindow* w = openFromTools(h);
    QVERIFY(w);
    const ChainPicture& picture = w->drawing()->picture();
    QCOMPARE(picture.source.lines.value(0), QStringLiteral("STRMBOX 4K Media Player"));
    QCOMPARE(picture.source.lines.value(1), QStringLiteral("3840x2160p60"));
    QCOMPARE(picture.device.lines.value(0), QStringLiteral("PORT A [TOP]"));
    QCOMPARE(picture.device.lines.value(1), QStringLiteral("600 MHz link"));
    QCOMPARE(picture.outputs[0].lines.value(0), QStringLiteral("LUMAVIEW 65"));
    QCOMPARE(picture.outputs[1].lines.value(0), QStringLiteral("BRIQ PJ-1080"));
    // The projector lists no 4K format at all.
    QCOMPARE(picture.outputs[1].mark, chain::Verdict::WontShow);
    QCOMPARE(picture.outputs[1].lines.last(), QStringLiteral("won't show"));
    for (int i = 0; i < 2; ++i) {
        QVERIFY(picture.outputs[i].marked);
        QCOMPARE(picture.outputs[i].mark, w->report().outputs[i].verdict);
    }

    // Under the drawing: a group per output, a row per finding.
    for (int i = 0; i < 2; ++i) {
        const chain::OutputReport& output = w->report().outputs[i];
        QTreeWidgetItem* group = outputGroup(w, QString::fromStdString(output.name));
        QVERIFY(group);
        QCOMPARE(group->childCount(), static_cast<int>(output.findings.size()));
        for (int f = 0; f < group->childCount(); ++f) {
            const chain::Finding& finding = output.findings[static_cast<std::size_t>(f)];
            QCOMPARE(group->child(f)->text(0), QLatin1String(chain::verdictText(finding.verdict)));
            QCOMPARE(group->child(f)->text(1), QString::fromStdString(finding.sentence));
            QCOMPARE(group->child(f)->text(2).isEmpty(), finding.setting.empty());
        }
    }
    const auto& bot = w->report().outputs[1].findings;
    QVERIFY(std::any_of(bot.begin(), bot.end(), [](const chain::Finding& f) {
        return f.check == "format" && f.verdict == chain::Verdict::WontShow;
    }));
}

void ChainWindowTest::displayMissingOnBot() {
    WindowHarness h;
    h.start();
    h.device().displayConnected[1] = false;
    SignalChainWindow* w = openFromTools(h);
    QVERIFY(w);
    const ChainBox& bot = w->drawing()->picture().outputs[1];
    QCOMPARE(bot.mark, chain::Verdict::NoDisplay);
    QCOMPARE(bot.lines.value(0), QStringLiteral("No display"));
    QCOMPARE(bot.lines.last(), QStringLiteral("no display"));
    QCOMPARE(w->drawing()->picture().outputs[0].lines.value(0), QStringLiteral("LUMAVIEW 65"));
}

void ChainWindowTest::matrixModeLeavesBotUnknown() {
    WindowHarness h;
    h.device().settings[0] = 3; // MATRIX THRU: BOT shows input B
    h.start();
    SignalChainWindow* w = openFromTools(h);
    QVERIFY(w);
    const ChainPicture& picture = w->drawing()->picture();
    QCOMPARE(picture.device.lines.value(0), QStringLiteral("MATRIX THRU"));
    QCOMPARE(picture.outputs[1].lines.value(1), QStringLiteral("TX B, input B (format unknown)"));
    QCOMPARE(picture.outputs[1].mark, chain::Verdict::Unknown);
}

void ChainWindowTest::stagedScenes_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("topDisplay");
    QTest::addColumn<int>("topMark");
    QTest::addColumn<QString>("botDisplay");
    QTest::addColumn<int>("botMark");
    QTest::addColumn<QString>("botSetting"); // the one setting offered for BOT; empty: none
    using chain::Verdict;
    QTest::newRow("HDR TV and projector")
        << "4k-hdr-tv-and-projector.json"
        << "KVT TV 65 HDR" << int(Verdict::Fine) << "KVT PJ 1080" << int(Verdict::WontShow)
        << "korvanta set hdr=off, which also takes HDR from "
           "TOP's KVT TV 65 HDR";
    QTest::newRow("4:2:0 source") << "420-source-tv-without-420.json"
                                  << "KVT TV 4K" << int(Verdict::WontShow) << "KVT TV 4K 420"
                                  << int(Verdict::Fine) << "";
    QTest::newRow("nothing on BOT")
        << "no-display-on-bot.json"
        << "KVT MON 43" << int(Verdict::Fine) << "No display" << int(Verdict::NoDisplay) << "";
}

void ChainWindowTest::stagedScenes() {
    QFETCH(QString, file);
    QFETCH(QString, topDisplay);
    QFETCH(int, topMark);
    QFETCH(QString, botDisplay);
    QFETCH(int, botMark);
    QFETCH(QString, botSetting);
    WindowHarness h;
    std::string complaint;
    const std::string path = QStringLiteral(KORVANTA_EXAMPLES "/%1").arg(file).toStdString();
    QCOMPARE(loadSimState(path, &h.device(), &complaint), SimStateLoad::Loaded);
    h.start();
    SignalChainWindow* w = openFromTools(h);
    QVERIFY(w);
    const ChainPicture& picture = w->drawing()->picture();
    QCOMPARE(picture.outputs[0].lines.value(0), topDisplay);
    QCOMPARE(int(picture.outputs[0].mark), topMark);
    QCOMPARE(picture.outputs[1].lines.value(0), botDisplay);
    QCOMPARE(int(picture.outputs[1].mark), botMark);

    QTreeWidgetItem* bot = outputGroup(w, QStringLiteral("BOT"));
    QVERIFY(bot);
    QStringList settings;
    for (int i = 0; i < bot->childCount(); ++i)
        if (!bot->child(i)->text(2).isEmpty())
            settings << bot->child(i)->text(2);
    QCOMPARE(settings, botSetting.isEmpty() ? QStringList{} : QStringList{botSetting});
}

void ChainWindowTest::tickFollowsStatusWithoutReadingDisplays() {
    WindowHarness h;
    h.start();
    SignalChainWindow* w = openFromTools(h);
    QVERIFY(w);
    // Same format, another source and no HDR: what the window shows of the status changes, the
    // displays are not asked again.
    h.device().sources[0].product = "Other Player";
    h.device().sources[0].hdrInfoFrame.clear();
    h.clearTraffic();
    h.tick();
    QCOMPARE(stageRequests(h.requests()).top, 0);
    QCOMPARE(stageRequests(h.requests()).bot, 0);
    const ChainPicture& picture = w->drawing()->picture();
    QCOMPARE(picture.source.lines.value(0), QStringLiteral("STRMBOX Other Player"));
    QCOMPARE(w->report().input.eotf, chain::Eotf::None);
    // The displays as read on opening still count.
    QCOMPARE(picture.outputs[0].lines.value(0), QStringLiteral("LUMAVIEW 65"));
    QCOMPARE(picture.outputs[1].mark, chain::Verdict::WontShow);

    // An output switched off shows on the next tick, still without a read.
    h.device().displayConnected[1] = false;
    h.clearTraffic();
    h.tick();
    QCOMPARE(stageRequests(h.requests()).bot, 0);
}

void ChainWindowTest::formatChangeReadsDisplaysOnce() {
    WindowHarness h;
    h.start();
    SignalChainWindow* w = openFromTools(h);
    QVERIFY(w);
    QCOMPARE(w->drawing()->picture().outputs[1].mark, chain::Verdict::WontShow);

    // The source drops to 1080p60 SDR, which the projector takes; meanwhile
    // BOT's display was swapped, which only a new read can see.
    h.device().sources[0] = makeSdrSource();
    h.device().displayEdid[1] = makeDisplayEdid(0);
    h.clearTraffic();
    h.tick();
    QCOMPARE(stageRequests(h.requests()).top, 1);
    QCOMPARE(stageRequests(h.requests()).bot, 1);
    const ChainPicture& picture = w->drawing()->picture();
    QCOMPARE(picture.source.lines.value(1), QStringLiteral("1920x1080p60"));
    QCOMPARE(picture.outputs[1].lines.value(0), QStringLiteral("LUMAVIEW 65"));
    QCOMPARE(picture.outputs[1].mark, chain::Verdict::Fine);

    // The next tick at the same format reads nothing.
    h.clearTraffic();
    h.tick();
    QCOMPARE(stageRequests(h.requests()).top, 0);
    QCOMPARE(stageRequests(h.requests()).bot, 0);
}

void ChainWindowTest::buttonReadsDisplaysAgain() {
    WindowHarness h;
    h.start();
    SignalChainWindow* w = openFromTools(h);
    QVERIFY(w);
    h.device().displayConnected[0] = false;
    h.clearTraffic();
    QPushButton* button = nullptr;
    for (QPushButton* b : w->findChildren<QPushButton*>())
        if (b->text() == QStringLiteral("Read displays again"))
            button = b;
    QVERIFY(button);
    button->click();
    QCOMPARE(stageRequests(h.requests()).top, 1);
    QCOMPARE(stageRequests(h.requests()).bot, 1);
    QCOMPARE(w->drawing()->picture().outputs[0].mark, chain::Verdict::NoDisplay);
}

void ChainWindowTest::noDeviceAccessWhenClosedOrBusy() {
    WindowHarness h;
    h.start();
    SignalChainWindow* w = openFromTools(h);
    QVERIFY(w);
    h.clearTraffic();
    appState.inTransaction = 1;
    QVERIFY(!w->readDisplays());
    appState.inTransaction = 0;
    QVERIFY(h.requests().empty());
    QVERIFY(w->note().contains(QStringLiteral("busy")));

    const DeviceHandle open = appState.deviceHandle;
    appState.deviceHandle = kNoDevice;
    QVERIFY(!w->readDisplays());
    appState.deviceHandle = open;
    QVERIFY(h.requests().empty());
    QCOMPARE(w->note(), QStringLiteral("No device is open."));

    // A device that stops answering: the window says so and the tick's own
    // silence handling takes over; nothing is retried from here.
    h.device().silent = true;
    QVERIFY(!w->readDisplays());
    QVERIFY(w->note().contains(QStringLiteral("did not answer")));
}

void ChainWindowTest::mainFormKeepsItsGeometryAndTexts() {
    struct Shape {
        QString name;
        QRect geometry;
        Qt::ContextMenuPolicy policy;
        bool operator==(const Shape&) const = default;
    };
    const auto shapes = [](QWidget* window) {
        QList<Shape> out;
        for (QWidget* child : window->findChildren<QWidget*>())
            if (!child->objectName().isEmpty() && !child->isWindow() &&
                !child->objectName().startsWith(QLatin1String("qt_")))
                out.append({child->objectName(), child->geometry(), child->contextMenuPolicy()});
        return out;
    };
    WindowHarness h;
    h.start();
    const QList<Shape> before = shapes(h.window.get());
    const QString title = h.window->windowTitle();
    const QString header = h.ui()->label_video_format->text();
    SignalChainWindow* w = openFromTools(h);
    QVERIFY(w);
    h.tick();
    rightClickHeader(h);
    // The chain window and the Tools menu do not belong to the form.
    QList<Shape> after = shapes(h.window.get());
    after.erase(std::remove_if(after.begin(), after.end(),
                               [](const Shape& s) { return s.name == QLatin1String("menuTools"); }),
                after.end());
    QCOMPARE(after.size(), before.size());
    QVERIFY(after == before);
    QCOMPARE(h.window->windowTitle(), title);
    QCOMPARE(h.ui()->label_video_format->text(), header);
}

QTEST_MAIN(ChainWindowTest)
#include "tst_win_chain.moc"
