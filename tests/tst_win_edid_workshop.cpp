// The EDID editing window: opened from the Tools menu and the EDID editor's
// context menu, edits with undo and redo, merges, and the way back into the
// editor's text.
#include "EdidSamples.h"
#include "WindowHarness.h"
#include "edid/EdidAudio.h"
#include "edid/EdidEdits.h"
#include "edid/EdidModel.h"
#include "edid/EdidPresets.h"
#include "edid/EdidText.h"
#include "window/DecodeMenus.h"
#include "window/EdidEditorWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTextEdit>
#include <QtTest>

#include <memory>
#include <vector>

namespace {

std::vector<std::uint8_t> bytesOf(const EdidImage& image) {
    return {image.begin(), image.end()};
}

EdidImage editorImage(WindowHarness& h) {
    EdidImage image{};
    parseEdidText(h.ui()->EDIDtext->toPlainText(), image);
    return image;
}

void press(QWidget* window, const QString& text) {
    int pressed = 0;
    for (QPushButton* b : window->findChildren<QPushButton*>())
        if (b->text() == text && b->isEnabled()) {
            b->click();
            ++pressed;
        }
    QVERIFY2(pressed == 1, qPrintable(text));
}

// Types into a field and leaves it with Return, as a user finishing an entry.
void enter(EdidEditorWindow* editor, const char* field, const QString& text) {
    auto* edit = editor->findChild<QLineEdit*>(QLatin1String(field));
    QVERIFY(edit);
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

QStringList column(const QTableWidget* table, int c) {
    QStringList out;
    for (int r = 0; r < table->rowCount(); ++r)
        out << table->item(r, c)->text();
    return out;
}

// Selects only the row whose first cell is `text`, whatever keys were held before.
void selectRowOf(QTableWidget* table, const QString& text) {
    const int row = static_cast<int>(column(table, 0).indexOf(text));
    QVERIFY(row >= 0);
    table->selectionModel()->select(table->model()->index(row, 0),
                                    QItemSelectionModel::ClearAndSelect |
                                        QItemSelectionModel::Rows);
    table->setCurrentCell(row, 0, QItemSelectionModel::NoUpdate);
}

QStringList failures(const EdidEditorWindow* editor) {
    QStringList out;
    for (int i = 0; i < editor->findingList()->count(); ++i)
        if (editor->findingList()->item(i)->text().startsWith(QLatin1String("Failure")))
            out << editor->findingList()->item(i)->text();
    return out;
}

// The harness's window with our menus and the 4K monitor in the editor.
EdidEditorWindow* openOnMonitor(WindowHarness& h) {
    h.start();
    installDecodeMenus(*h.window);
    h.ui()->EDIDtext->setPlainText(edidHexText(edidsamples::monitor4k()));
    return openEdidEditor(h.ui()->EDIDtext);
}

} // namespace

class EdidWorkshopTest : public QObject {
    Q_OBJECT

private slots:
    void toolsMenuOpensOurWindows();
    void contextMenuHasEdit();
    void nameEditUndoRedoAndUse();
    void keysUndoAndRedo();
    void videoTableEdits();
    void refusedEditChangesNothing();
    void timingAndScdcRefusals();
    void hdrAndAudioPanels();
    void failureAskedBeforeUse_data();
    void failureAskedBeforeUse();
    void mergeWithPreset();
    void mergeWithTopDisplay();
    void textThatIsNoEdidStartsBlank();
};

void EdidWorkshopTest::toolsMenuOpensOurWindows() {
    WindowHarness h;
    h.start();
    installDecodeMenus(*h.window);
    QStringList bar;
    for (const QAction* a : h.window->menuBar()->actions())
        bar << a->text().remove(QLatin1Char('&'));
    QCOMPARE(bar, (QStringList{"File", "Tools", "Help"}));
    auto* tools = h.window->menuBar()->findChild<QMenu*>(QStringLiteral("menuTools"));
    QVERIFY(tools);
    QStringList entries;
    for (const QAction* a : tools->actions())
        entries << a->text();
    QCOMPARE(entries, (QStringList{"Decode\u2026", "Compare EDIDs\u2026", "Edit EDID\u2026", "",
                                   "Signal chain\u2026", "Scenes\u2026"}));
    // Installing twice must not add a second menu.
    installDecodeMenus(*h.window);
    QCOMPARE(h.window->menuBar()->actions().size(), 3);

    tools->actions().at(2)->trigger();
    auto* editor = h.window->findChild<EdidEditorWindow*>();
    QVERIFY(editor && editor->isVisible());
    QCOMPARE(editor->windowTitle(), QStringLiteral("Edit EDID"));
    // Chosen again, the same window comes forward.
    tools->actions().at(2)->trigger();
    QCOMPARE(h.window->findChildren<EdidEditorWindow*>().size(), 1);
}

void EdidWorkshopTest::contextMenuHasEdit() {
    WindowHarness h;
    h.start();
    const std::unique_ptr<QMenu> menu(decodeContextMenu(h.ui()->EDIDtext));
    QStringList texts;
    for (const QAction* a : menu->actions())
        texts << a->text();
    const int decode = texts.indexOf(QStringLiteral("Decode\u2026"));
    QVERIFY(decode >= 0);
    QCOMPARE(texts.value(decode + 1), QStringLiteral("Edit\u2026"));
    menu->actions().at(decode + 1)->trigger();
    QVERIFY(h.window->findChild<EdidEditorWindow*>());
    // Other hex fields have nothing to edit by meaning.
    const std::unique_ptr<QMenu> cec(decodeContextMenu(h.ui()->CECtext));
    for (const QAction* a : cec->actions())
        QVERIFY(a->text() != QStringLiteral("Edit\u2026"));
}

void EdidWorkshopTest::nameEditUndoRedoAndUse() {
    WindowHarness h;
    EdidEditorWindow* editor = openOnMonitor(h);
    const std::vector<std::uint8_t> original = bytesOf(edidsamples::monitor4k());
    QCOMPARE(editor->bytes(), original);
    QCOMPARE(editor->findChild<QLineEdit*>("name")->text(), QStringLiteral("SAMPLE 4K"));
    QVERIFY(!editor->canUndo());

    enter(editor, "name", QStringLiteral("LIVING ROOM"));
    const std::vector<std::uint8_t> edited = editor->bytes();
    QVERIFY(edited != original);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(edited.data()) + 113, 11),
             QByteArray("LIVING ROOM"));
    QVERIFY(editor->canUndo());

    press(editor, QStringLiteral("Undo"));
    QCOMPARE(editor->bytes(), original);
    QCOMPARE(editor->findChild<QLineEdit*>("name")->text(), QStringLiteral("SAMPLE 4K"));
    QVERIFY(!editor->canUndo());
    press(editor, QStringLiteral("Redo"));
    QCOMPARE(editor->bytes(), edited);
    QVERIFY(!editor->canRedo());
    // A new edit after an undo drops what could have been redone.
    QVERIFY(editor->undo());
    QVERIFY(editor->canRedo());
    enter(editor, "serial", QStringLiteral("42"));
    QVERIFY(!editor->canRedo());
    QVERIFY(editor->undo());
    QCOMPARE(editor->bytes(), original);
    QVERIFY(!editor->canUndo());
    enter(editor, "name", QStringLiteral("LIVING ROOM"));
    QCOMPARE(editor->bytes(), edited);

    QVERIFY(failures(editor).isEmpty());
    press(editor, QStringLiteral("Use in editor"));
    QVERIFY(h.dialogs.shown.empty()); // nothing to ask about a clean check
    QCOMPARE(h.ui()->EDIDtext->toPlainText(), edidHexText(editorImage(h)));
    QCOMPARE(bytesOf(editorImage(h)), edited);
}

void EdidWorkshopTest::keysUndoAndRedo() {
    WindowHarness h;
    EdidEditorWindow* editor = openOnMonitor(h);
    const std::vector<std::uint8_t> original = editor->bytes();
    QVERIFY(editor->applyOption(QStringLiteral("add-vic"), QStringLiteral("5")));
    const std::vector<std::uint8_t> edited = editor->bytes();
    QApplication::setActiveWindow(editor);
    QVERIFY(QTest::qWaitForWindowActive(editor));
    QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(editor->bytes(), original);
    QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(editor->bytes(), edited);
}

void EdidWorkshopTest::videoTableEdits() {
    WindowHarness h;
    EdidEditorWindow* editor = openOnMonitor(h);
    auto* table = editor->findChild<QTableWidget*>("vics");
    QCOMPARE(column(table, 0), (QStringList{"97", "16", "4", "193"}));
    QCOMPARE(column(table, 2), (QStringList{"", "\u2713", "", ""})); // 16 is native
    QCOMPARE(column(table, 3), (QStringList{"\u2713", "", "", ""})); // the map's bit 0
    QCOMPARE(column(table, 4), (QStringList{"\u2713", "", "", ""})); // the first timing is 97's

    editor->findChild<QSpinBox*>("newVic")->setValue(5);
    press(editor, QStringLiteral("Add VIC"));
    QVERIFY(column(table, 0).contains("5"));
    selectRowOf(table, "4");
    press(editor, QStringLiteral("Remove VIC"));
    QVERIFY(!column(table, 0).contains("4"));
    QVERIFY(column(table, 0).contains("5"));
    QVERIFY(editor->undo());
    QVERIFY(column(table, 0).contains("4"));
    QVERIFY(editor->undo());
    QCOMPARE(editor->bytes(), bytesOf(edidsamples::monitor4k()));

    selectRowOf(table, "4");
    press(editor, QStringLiteral("Make native"));
    QCOMPARE(column(table, 2).indexOf("\u2713"), column(table, 0).indexOf("4"));
}

void EdidWorkshopTest::refusedEditChangesNothing() {
    WindowHarness h;
    EdidEditorWindow* editor = openOnMonitor(h);
    const std::vector<std::uint8_t> original = editor->bytes();
    QVERIFY(!editor->applyOption(QStringLiteral("native"), QStringLiteral("200")));
    QVERIFY(editor->message().startsWith(QLatin1String("Refused:")));
    QVERIFY(!editor->canUndo());
    enter(editor, "physical-address", QStringLiteral("1.2.3"));
    QVERIFY(editor->message().startsWith(QLatin1String("Refused:")));
    QCOMPARE(editor->findChild<QLineEdit*>("physical-address")->text(), QStringLiteral("2.0.0.0"));
    QCOMPARE(editor->bytes(), original);
}

// A preferred timing too wide for a detailed timing, and SCDC off above
// 340 MHz, are refused in the window as on the command line.
void EdidWorkshopTest::timingAndScdcRefusals() {
    WindowHarness h;
    EdidEditorWindow* editor = openOnMonitor(h);
    auto* table = editor->findChild<QTableWidget*>("vics");
    editor->findChild<QSpinBox*>("newVic")->setValue(98);
    press(editor, QStringLiteral("Add VIC"));
    const std::vector<std::uint8_t> added = editor->bytes();
    selectRowOf(table, "98");
    press(editor, QStringLiteral("Make preferred"));
    QVERIFY2(editor->message().contains(QLatin1String(
                 "Refused: 4096x2160p24 cannot be a detailed timing: a detailed timing holds at "
                 "most 4095 active pixels")),
             qPrintable(editor->message()));
    QCOMPARE(editor->bytes(), added);

    // The monitor runs at 600 MHz with SCDC.
    auto* scdc = editor->findChild<QCheckBox*>("scdc");
    QVERIFY(scdc && scdc->isChecked());
    scdc->click();
    QVERIFY(editor->message().startsWith(QLatin1String("Refused: SCDC cannot be turned off")));
    QVERIFY(scdc->isChecked());
    QCOMPARE(editor->bytes(), added);
    enter(editor, "max-tmds", QStringLiteral("340"));
    scdc->click();
    QVERIFY(!scdc->isChecked());
    edid::Model m;
    QVERIFY(edid::parse(editor->bytes(), m).ok);
    QVERIFY(!edid::scdcPresent(m));
    enter(editor, "max-tmds", QStringLiteral("600"));
    QVERIFY(scdc->isChecked());
    QVERIFY2(editor->message().contains(QLatin1String("SCDC Present set too")),
             qPrintable(editor->message()));
}

void EdidWorkshopTest::hdrAndAudioPanels() {
    WindowHarness h;
    EdidEditorWindow* editor = openOnMonitor(h);
    auto* hlg = editor->findChild<QCheckBox*>("hlg");
    QVERIFY(hlg && !hlg->isChecked());
    hlg->click();
    edid::Model m;
    QVERIFY(edid::parse(editor->bytes(), m).ok);
    const auto hdr = edid::blocksOf(m, edid::BlockKind::HdrStatic);
    QCOMPARE(hdr.size(), std::size_t(1));
    QVERIFY(hdr.front()->payload[1] & edid::kEotfHlg);
    enter(editor, "max-luminance", QStringLiteral("1000"));
    QVERIFY(qAbs(editor->findChild<QLineEdit*>("max-luminance")->text().toDouble() - 1000) < 20);

    auto* audio = editor->findChild<QTableWidget*>("audio");
    const int before = audio->rowCount();
    QVERIFY(before >= 2);
    enter(editor, "newAudio", QStringLiteral("truehd:8:atmos")); // Return alone adds nothing
    QCOMPARE(audio->rowCount(), before);
    press(editor, QStringLiteral("Add format"));
    QVERIFY(column(audio, 0).contains("truehd:8:atmos"));
    selectRowOf(audio, "truehd:8:atmos");
    press(editor, QStringLiteral("Remove format"));
    QVERIFY(!column(audio, 0).contains("truehd:8:atmos"));
    QCOMPARE(audio->rowCount(), before);

    enter(editor, "speakers", QStringLiteral("FL/FR,LFE"));
    QVERIFY(edid::parse(editor->bytes(), m).ok);
    QCOMPARE(edid::speakersOf(m), *edid::parseSpeakers("FL/FR,LFE"));
    QCOMPARE(editor->findChild<QLineEdit*>("speakers")->text(), QStringLiteral("FL/FR,LFE"));
}

void EdidWorkshopTest::failureAskedBeforeUse_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("used");
    QTest::newRow("declined") << int(Dialogs::No) << false;
    QTest::newRow("accepted") << int(Dialogs::Yes) << true;
}

void EdidWorkshopTest::failureAskedBeforeUse() {
    QFETCH(int, answer);
    QFETCH(bool, used);
    WindowHarness h;
    EdidEditorWindow* editor = openOnMonitor(h);
    const QString before = h.ui()->EDIDtext->toPlainText();
    // 4K at 60 Hz needs 297 MHz even in 4:2:0; a 200 MHz sink cannot take it.
    enter(editor, "max-tmds", QStringLiteral("200"));
    QVERIFY(!failures(editor).isEmpty());
    h.dialogs.answers.push_back(answer);
    QCOMPARE(editor->useInEditor(), used);
    QCOMPARE(h.dialogs.shown.size(), std::size_t(1));
    QVERIFY(h.dialogs.shown.front().text.contains(QLatin1String("failures")));
    if (used)
        QCOMPARE(bytesOf(editorImage(h)), editor->bytes());
    else
        QCOMPARE(h.ui()->EDIDtext->toPlainText(), before);
}

void EdidWorkshopTest::mergeWithPreset() {
    const std::vector<edid::PresetInfo> presets = edid::listPresets();
    QVERIFY(!presets.empty());
    const edid::PresetBuild preset = edid::buildPreset(presets.front().id);
    QVERIFY(preset.ok);
    WindowHarness h;
    EdidEditorWindow* editor = openOnMonitor(h);
    edid::Model original;
    QVERIFY(edid::parse(editor->bytes(), original).ok);
    QVERIFY(editor->merge(EdidEditorWindow::Source::Editor, EdidEditorWindow::Source::Preset, false,
                          {}, presets.front().id));
    edid::Model m;
    QVERIFY(edid::parse(editor->bytes(), m).ok);
    QCOMPARE(edid::videoCodes(m), edid::videoCodes(original));
    QVERIFY(edid::audioFormats(m) == edid::audioFormats(preset.model));
    QVERIFY(editor->undo());
    QCOMPARE(editor->bytes(), bytesOf(edidsamples::monitor4k()));
    // A file chooser left cancelled merges nothing.
    QVERIFY(!editor->merge(EdidEditorWindow::Source::File, EdidEditorWindow::Source::Editor, true));
    QCOMPARE(editor->bytes(), bytesOf(edidsamples::monitor4k()));
}

void EdidWorkshopTest::mergeWithTopDisplay() {
    WindowHarness h;
    EdidEditorWindow* editor = openOnMonitor(h);
    edid::Model monitor, top;
    QVERIFY(edid::parse(editor->bytes(), monitor).ok);
    QVERIFY(edid::parse(bytesOf(h.device().displayEdid[0]), top).ok);
    QVERIFY(edid::identityOf(top).name != edid::identityOf(monitor).name);
    // TOP's video and identity with the monitor's audio.
    QVERIFY(editor->merge(EdidEditorWindow::Source::Top, EdidEditorWindow::Source::Editor, false));
    edid::Model m;
    QVERIFY(edid::parse(editor->bytes(), m).ok);
    QCOMPARE(edid::identityOf(m).name, edid::identityOf(top).name);
    QCOMPARE(edid::videoCodes(m), edid::videoCodes(top));
    QVERIFY(edid::audioFormats(m) == edid::audioFormats(monitor));
    QCOMPARE(editor->findChild<QLineEdit*>("name")->text(),
             QString::fromStdString(edid::identityOf(top).name));
}

void EdidWorkshopTest::textThatIsNoEdidStartsBlank() {
    WindowHarness h;
    h.start();
    h.ui()->EDIDtext->setPlainText(QStringLiteral("12 34"));
    EdidEditorWindow* editor = openEdidEditor(h.ui()->EDIDtext);
    QVERIFY(editor->message().contains(QLatin1String("blank")));
    QCOMPARE(editor->bytes().size(), std::size_t(128));
    QVERIFY(editor->applyOption(QStringLiteral("add-vic"), QStringLiteral("16")));
    QCOMPARE(editor->bytes().size(), std::size_t(256));
}

QTEST_MAIN(EdidWorkshopTest)
#include "tst_win_edid_workshop.moc"
