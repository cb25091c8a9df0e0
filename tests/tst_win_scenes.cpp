// The scenes window: reached from the Tools menu, a scene saved from the
// device and recalled after a change, replacing and overlapping rules,
// deleting through the dialogs, a damaged file named and never used.
#include "WindowHarness.h"
#include "settings/SettingsMap.h"
#include "window/DecodeMenus.h"
#include "window/ScenesWindow.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

namespace {

// The window on the simulator with a scenes folder of its own.
struct ScenesHarness : WindowHarness {
    QTemporaryDir dir;
    ScenesHarness() {
        qputenv("KORVANTA_SCENES", dir.filePath("scenes").toLocal8Bit());
        start();
        installDecodeMenus(*window);
    }
    ~ScenesHarness() { qunsetenv("KORVANTA_SCENES"); }

    QAction* toolsEntry() const {
        auto* tools = window->menuBar()->findChild<QMenu*>(QStringLiteral("menuTools"));
        for (QAction* a : tools ? tools->actions() : QList<QAction*>{})
            if (a->text() == QStringLiteral("Scenes\u2026"))
                return a;
        return nullptr;
    }
    ScenesWindow* open() {
        QAction* entry = toolsEntry();
        if (!entry)
            return nullptr;
        entry->trigger();
        return ScenesWindow::findOpen(window.get());
    }
    QString file(const QString& name) const { return dir.filePath("scenes/" + name + ".json"); }
};

// "name: what it holds" for each row of the list.
QStringList rows(ScenesWindow* w) {
    QStringList out;
    QTreeWidget* tree = w->sceneTree();
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        out << tree->topLevelItem(i)->text(0) + ": " + tree->topLevelItem(i)->text(1);
    return out;
}

ops::SceneSaveParams saving(const std::string& name, std::vector<std::string> only = {},
                            const std::string& source = {}) {
    ops::SceneSaveParams p;
    p.name = name;
    p.only = std::move(only);
    p.when.source = source;
    return p;
}

} // namespace

class ScenesWindowTest : public QObject {
    Q_OBJECT

private slots:
    void toolsMenuOpensOneWindow();
    void savedSceneBringsBackWhatChanged();
    void replacingAsksAndOverlapIsRefused();
    void ruleEditedAndCheckedAsTheStoreDoes();
    void deleteAsksFirst();
    void damagedFileIsNamedAndNeverUsed();
};

void ScenesWindowTest::toolsMenuOpensOneWindow() {
    ScenesHarness h;
    ScenesWindow* w = h.open();
    QVERIFY(w);
    QVERIFY(w->isVisible() && w->isWindow());
    QVERIFY2(w->message().contains(h.dir.filePath("scenes")), qPrintable(w->message()));
    h.toolsEntry()->trigger();
    QCOMPARE(h.window->findChildren<ScenesWindow*>().size(), 1);
}

void ScenesWindowTest::savedSceneBringsBackWhatChanged() {
    ScenesHarness h;
    ScenesWindow* w = h.open();
    QVERIFY(w);
    const settings::Setting* hdr = settings::byName("hdr");
    QVERIFY(hdr);
    const int was = h.device().settings[std::size_t(hdr->position)];
    QVERIFY(w->saveCurrent(saving("Movie night")));
    QVERIFY(QFile::exists(h.file("Movie night")));
    QCOMPARE(rows(w).size(), 1);
    QVERIFY2(rows(w)[0].startsWith("Movie night: ") && rows(w)[0].contains("settings, InfoFrames"),
             qPrintable(rows(w)[0]));
    QCOMPARE(w->selectedName(), QString("Movie night"));

    // Changed behind the window's back, then recalled: that one setting goes back.
    const int changed = was ? 0 : 1;
    h.device().settings[std::size_t(hdr->position)] = std::uint8_t(changed);
    h.clearTraffic();
    QVERIFY2(w->recall("Movie night"), qPrintable(w->message()));
    const std::vector<std::uint8_t> write{0x10, 0x04, 0xE0, std::uint8_t(hdr->index),
                                          std::uint8_t(was)};
    QCOMPARE(settingWrites(h.requests()), QStringList{QString::fromStdString(hexBytes(write))});
    QCOMPARE(int(h.device().settings[std::size_t(hdr->position)]), was);
    const QString line = QString::fromStdString("hdr: " + settings::valueWord(*hdr, changed) +
                                                " \u2192 " + settings::valueWord(*hdr, was));
    QVERIFY2(w->message().contains(line), qPrintable(w->message()));

    h.clearTraffic();
    QVERIFY(w->recall("Movie night"));
    QVERIFY(settingWrites(h.requests()).isEmpty());
    QVERIFY2(w->message().contains("nothing changed"), qPrintable(w->message()));
}

void ScenesWindowTest::replacingAsksAndOverlapIsRefused() {
    ScenesHarness h;
    ScenesWindow* w = h.open();
    QVERIFY(w);
    QVERIFY(w->saveCurrent(saving("Game", {"input"}, "GAMECO*")));
    QVERIFY2(rows(w).contains("Game: 1 setting; recalled by itself: source GAMECO*"),
             qPrintable(rows(w).join('\n')));

    // Taken: asked, and No keeps the file as it was.
    QFile file(h.file("Game"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    h.clearTraffic();
    QVERIFY(!w->saveCurrent(saving("Game", {"input", "hdr"})));
    QCOMPARE(h.dialogs.shown.size(), std::size_t(1));
    QVERIFY(h.dialogs.shown[0].text.contains("\u201cGame\u201d"));
    QVERIFY(h.requests().empty());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
    file.close();
    h.dialogs.answers = {Dialogs::Yes};
    QVERIFY(w->saveCurrent(saving("Game", {"input", "hdr"})));
    QVERIFY(rows(w).contains("Game: 2 settings; recalled by itself: never"));

    // A rule that can match with another scene's: the store's reason, no file.
    QVERIFY(w->saveCurrent(saving("Console", {}, "GAMECO*")));
    QVERIFY(!w->saveCurrent(saving("Console 2", {}, "gameco one*")));
    QVERIFY2(w->message().contains("can match when scene \"Console\""), qPrintable(w->message()));
    QVERIFY(!QFile::exists(h.file("Console 2")));
    QVERIFY(!w->saveCurrent(saving("bad/name")));
    QVERIFY(!w->message().isEmpty());
}

void ScenesWindowTest::ruleEditedAndCheckedAsTheStoreDoes() {
    ScenesHarness h;
    ScenesWindow* w = h.open();
    QVERIFY(w);
    ops::SceneSaveParams films = saving("Films", {"hdr"}, "STRMBOX*");
    films.when.input = "a";
    QVERIFY2(w->saveCurrent(films), qPrintable(w->message()));
    QVERIFY(w->saveCurrent(saving("Play", {"hdr"})));

    QVERIFY(!w->saveRule("Play", {"strm*", "", "", ""}));
    QVERIFY2(w->message().contains("\"Films\""), qPrintable(w->message()));
    QVERIFY(!w->saveRule("Play", {"", "z", "", ""}));
    QVERIFY2(w->message().contains("not an input"), qPrintable(w->message()));
    QVERIFY(w->saveRule("Play", {"", " b ", "", "on"}));
    scene::Scene play;
    std::string why;
    QVERIFY(w->store().load("Play", &play, &why));
    QCOMPARE(play.when.input, std::string("b"));
    QCOMPARE(play.when.hdr, std::string("on"));

    // The fields follow the selection.
    w->select("Films");
    QCOMPARE(w->ruleFields()->typed().source, std::string("STRMBOX*"));
    QCOMPARE(w->ruleFields()->typed().input, std::string("a"));
    w->select("Play");
    QCOMPARE(w->ruleFields()->typed().input, std::string("b"));
    QCOMPARE(w->ruleFields()->typed().source, std::string());

    QVERIFY(w->rename("Play", "Gaming"));
    QCOMPARE(w->selectedName(), QString("Gaming"));
    QVERIFY(!w->rename("Gaming", "films"));
    QVERIFY(w->message().contains("\"Films\""));
}

void ScenesWindowTest::deleteAsksFirst() {
    ScenesHarness h;
    ScenesWindow* w = h.open();
    QVERIFY(w);
    QVERIFY(w->saveCurrent(saving("Old")));
    h.dialogs.shown.clear();
    QVERIFY(!w->remove("Old")); // the default answer is No
    QCOMPARE(h.dialogs.shown.size(), std::size_t(1));
    QVERIFY(QFile::exists(h.file("Old")));
    h.dialogs.answers = {Dialogs::Yes};
    QVERIFY(w->remove("Old"));
    QVERIFY(!QFile::exists(h.file("Old")));
    QVERIFY(rows(w).isEmpty());
}

void ScenesWindowTest::damagedFileIsNamedAndNeverUsed() {
    ScenesHarness h;
    ScenesWindow* w = h.open();
    QVERIFY(w);
    QVERIFY(w->saveCurrent(saving("Good", {"input"})));
    QFile bad(h.file("Broken"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("{\"format\": \"korvanta-backup\", \"scene\": {\"when\": {\"sorce\": \"A\"}}}");
    bad.close();
    w->refresh();
    const QStringList shown = rows(w);
    QCOMPARE(shown.size(), 2);
    QVERIFY2(shown[0].startsWith("Broken: ") && shown[0].contains("Broken.json") &&
                 shown[0].contains("sorce"),
             qPrintable(shown[0]));

    h.clearTraffic();
    QVERIFY(!w->recall("Broken"));
    QVERIFY2(w->message().contains("Broken.json"), qPrintable(w->message()));
    QVERIFY(h.requests().empty());
    // The other scene still serves.
    QVERIFY(w->recall("Good"));
}

QTEST_MAIN(ScenesWindowTest)
#include "tst_win_scenes.moc"
