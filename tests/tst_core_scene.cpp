// Scenes: which rules may stand together, when the follower recalls one, and
// the files they live in.
#include "scene/SceneStore.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace scene;

namespace {

Rule rule(const QString& text) {
    // "source=STRM*,input=a"
    Rule r;
    for (const QString& part : text.split(',', Qt::SkipEmptyParts)) {
        const QString key = part.section('=', 0, 0), value = part.section('=', 1);
        std::string* field = key == "source"   ? &r.source
                             : key == "input"  ? &r.input
                             : key == "format" ? &r.format
                                               : &r.hdr;
        *field = value.toStdString();
    }
    return r;
}

Scene named(const std::string& name, const QString& when, const QJsonObject& settings = {}) {
    return Scene{name, QJsonObject{{"format", "korvanta-backup"}, {"settings", settings}},
                 rule(when)};
}

Observed seen(const std::string& source, const std::string& input = "a", bool hdr = false) {
    return Observed{source, input, "3840x2160p60", hdr};
}

} // namespace

class SceneTest : public QObject {
    Q_OBJECT

private slots:
    void overlap_data();
    void overlap();
    void patternsStayLinear();
    void followerRecallsOncePerChange();
    void storeRefusesWhatCannotStandTogether();
    void damagedFileIsNamedAndOthersStillServe();
    void partialSceneKeepsOnlyWhatItNames();
    void recallWritesOnlyWhatTheSceneNames();
};

void SceneTest::overlap_data() {
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("overlaps");
    QTest::newRow("same source") << "source=STRMBOX*"
                                 << "source=strmbox*" << true;
    QTest::newRow("narrower pattern") << "source=STRM*"
                                      << "source=STRMBOX*" << true;
    QTest::newRow("name against pattern") << "source=STRMBOX 4K"
                                          << "source=STRM*" << true;
    QTest::newRow("other maker") << "source=STRMBOX*"
                                 << "source=GAMEBOX*" << false;
    QTest::newRow("other ends") << "source=*Player"
                                << "source=*Console" << false;
    QTest::newRow("other input") << "source=X*,input=a"
                                 << "source=X*,input=b" << false;
    QTest::newRow("missing field matches any") << "source=X*,input=a"
                                               << "source=X*" << true;
    QTest::newRow("hdr splits them") << "input=a,hdr=on"
                                     << "input=a,hdr=off" << false;
    QTest::newRow("no rule never matches") << ""
                                           << "source=*" << false;
}

void SceneTest::overlap() {
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, overlaps);
    QCOMPARE(rulesOverlap(rule(a), rule(b)), overlaps);
    QCOMPARE(rulesOverlap(rule(b), rule(a)), overlaps);
}

void SceneTest::patternsStayLinear() {
    // A pattern from a file must not make a poll take exponential time.
    const std::string text(4000, 'a');
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!patternMatch("*a*a*a*a*a*a*a*a*a*a*b", text));
    QVERIFY(clock.elapsed() < 200);
    QVERIFY(patternMatch("STRM?OX*player", "strmbox 4K Media Player"));
    QVERIFY(!patternMatch("STRMBOX", "STRMBOX 4K"));
}

void SceneTest::followerRecallsOncePerChange() {
    const std::vector<Scene> scenes{named("movie", "source=STRMBOX*"),
                                    named("game", "source=GAMEBOX*")};
    Follower f;
    std::uint32_t t = 0;
    QCOMPARE(f.observe(scenes, seen("STRMBOX 4K"), t).recall, std::string("movie"));
    // Still playing, with the user's own change since: left alone.
    QCOMPARE(f.observe(scenes, seen("STRMBOX 4K", "a", true), t += 3000).recall, std::string());
    // Another source appears just after a recall (perhaps its doing): held back.
    Follower::Step step = f.observe(scenes, seen("GAMEBOX One"), t += 3000);
    QCOMPARE(step.recall, std::string());
    QCOMPARE(step.heldBack, std::string("game"));
    QCOMPARE(f.observe(scenes, seen("GAMEBOX One"), t += 30000).recall, std::string());
    // The source changes again, later: followed.
    QCOMPARE(f.observe(scenes, seen("Nothing"), t += 3000).recall, std::string());
    QCOMPARE(f.observe(scenes, seen("STRMBOX 4K"), t += 3000).recall, std::string("movie"));

    // Two scenes that match (files edited by hand): neither, said once.
    const std::vector<Scene> tied{named("a", "source=X*"), named("b", "input=a")};
    Follower g;
    QCOMPARE(g.observe(tied, seen("X1"), 0).tied.size(), std::size_t(2));
    QVERIFY(g.observe(tied, seen("X1"), 60000).tied.empty());
    QCOMPARE(g.observe(tied, seen("X1"), 60000).recall, std::string());
}

void SceneTest::storeRefusesWhatCannotStandTogether() {
    QTemporaryDir dir;
    const Store store(dir.filePath("scenes").toStdString());
    std::string why;
    QVERIFY2(store.save(named("Movie night", "source=STRMBOX*", {{"input", "a"}}), false, &why),
             why.c_str());
    QVERIFY(!store.save(named("Cinema", "source=STRM*"), false, &why));
    QVERIFY2(QString::fromStdString(why).contains("\"Movie night\""), why.c_str());
    QVERIFY(!store.save(named("movie NIGHT", ""), false, &why));
    QVERIFY(!store.save(named("Game", "input=b", {{"input", "a"}}), false, &why));
    QVERIFY2(QString::fromStdString(why).contains("end its own match"), why.c_str());
    QVERIFY(!store.save(named("../up", ""), false, &why));
    QVERIFY(store.save(named("Game", "source=GAMEBOX*,input=b", {{"input", "b"}}), false, &why));
    QCOMPARE(store.list().size(), std::size_t(2));

    QVERIFY2(store.rename("Game", "Play", &why), why.c_str());
    Scene back;
    QVERIFY2(store.load("Play", &back, &why), why.c_str());
    QCOMPARE(back.when.input, std::string("b"));
    QVERIFY(!store.load("Game", &back, &why));
    QVERIFY(!store.rename("Play", "MOVIE NIGHT", &why));
}

void SceneTest::damagedFileIsNamedAndOthersStillServe() {
    QTemporaryDir dir;
    const Store store(dir.path().toStdString());
    std::string why;
    QVERIFY(store.save(named("good", "source=A*"), false, &why));
    QFile bad(dir.filePath("broken.json"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("{\"format\": \"korvanta-backup\", \"scene\": {\"when\": {\"sorce\": \"A\"}}}");
    bad.close();
    const std::vector<Entry> entries = store.list();
    QCOMPARE(entries.size(), std::size_t(2));
    QVERIFY(QString::fromStdString(entries[0].problem).contains("broken.json"));
    QVERIFY(QString::fromStdString(entries[0].problem).contains("sorce"));
    Scene none;
    QVERIFY(!store.load("broken", &none, &why));
    QCOMPARE(store.ruled().size(), std::size_t(1));
}

void SceneTest::partialSceneKeepsOnlyWhatItNames() {
    QJsonObject doc{{"format", "korvanta-backup"},
                    {"settings", QJsonObject{{"input", "a"}, {"hdr", "on"}, {"cec", "on"}}},
                    {"infoFrames", QJsonObject{{"hdr", "87:01"}}},
                    {"edid", "00FF"}};
    std::string why;
    QJsonObject narrow = doc;
    QVERIFY(narrowDocument(&narrow, {"hdr", "input"}, false, &why));
    QCOMPARE(settingNames(narrow), (std::vector<std::string>{"input", "hdr"}));
    QVERIFY(!narrow.contains("infoFrames"));
    QVERIFY(!narrow.contains("edid"));
    QVERIFY(narrowDocument(&doc, {}, true, &why));
    QVERIFY(doc.contains("infoFrames") && doc.contains("edid"));
    QVERIFY(!narrowDocument(&doc, {"colour-of-sky"}, false, &why));
}

namespace {

struct Run {
    int code = -1;
    QString out, err;
};

Run korvanta(const QTemporaryDir& dir, const QStringList& args) {
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("KORVANTA_LINK", "simulator");
    e.insert("KORVANTA_SIM_STATE", dir.filePath("state.json"));
    e.insert("KORVANTA_SCENES", dir.filePath("config/korvanta/scenes"));
    for (const char* name : {"KORVANTA_TRACE", "KORVANTA_SIM_FAULTS", "KORVANTA_DEVICE"})
        e.remove(name);
    p.setProcessEnvironment(e);
    p.start(QCoreApplication::applicationDirPath() + "/../cli/korvanta", args);
    if (!p.waitForFinished(30000))
        return {};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// The setting writes a traced run sent, as "10 04 E0 <index> <value>"; none
// without a trace (the device was never opened).
QStringList writes(const QString& trace) {
    QFile file(trace);
    QStringList found;
    if (!file.open(QIODevice::ReadOnly))
        return {};
    for (const QString& line : QString::fromUtf8(file.readAll()).split('\n'))
        if (line.section('\t', 1, 1).startsWith("10 04 E0"))
            found << line.section('\t', 1, 1);
    return found;
}

} // namespace

void SceneTest::recallWritesOnlyWhatTheSceneNames() {
    QTemporaryDir dir;
    QCOMPARE(korvanta(dir, {"set", "input=a", "hdr=on", "cec=on"}).code, 0);
    Run r = korvanta(dir, {"scene", "save", "Movie", "--only", "input,hdr"});
    QCOMPARE(r.code, 0);
    QCOMPARE(korvanta(dir, {"set", "input=b", "hdr=off", "cec=off"}).code, 0);

    const QString trace = dir.filePath("recall.log");
    r = korvanta(dir, {"--trace", trace, "scene", "recall", "Movie"});
    QCOMPARE(r.code, 0);
    QCOMPARE(writes(trace).size(), 2);
    r = korvanta(dir, {"get", "input", "hdr", "cec"});
    QCOMPARE(r.out, QString("input=a\nhdr=on\ncec=off\n"));
    // Recalled again: nothing differs, nothing is sent.
    r = korvanta(dir, {"--trace", dir.filePath("again.log"), "scene", "recall", "Movie"});
    QCOMPARE(r.code, 0);
    QVERIFY(writes(dir.filePath("again.log")).isEmpty());

    // A damaged scene is refused by its file's name and sends nothing.
    QFile bad(dir.filePath("config/korvanta/scenes/Broken.json"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write(
        "{\"format\": \"korvanta-backup\", \"formatVersion\": 1, \"settings\": {\"input\": 7}}");
    bad.close();
    r = korvanta(dir, {"--trace", dir.filePath("bad.log"), "scene", "recall", "Broken"});
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains("Broken"), qPrintable(r.err));
    QVERIFY(writes(dir.filePath("bad.log")).isEmpty());
}

QTEST_GUILESS_MAIN(SceneTest)
#include "tst_core_scene.moc"
