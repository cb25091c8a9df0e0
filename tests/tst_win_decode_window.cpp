// The decode window: opened from the hex fields' context menus, following their text.
#include "WindowHarness.h"
#include "edid/EdidText.h"
#include "link/Protocol.h"
#include "window/DecodeMenus.h"
#include "window/DecodeWindow.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTreeWidget>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

const QString kDecode = QStringLiteral("Decode\u2026");
const QString kCompare = QStringLiteral("Compare EDIDs\u2026");

QStringList actionTexts(const QMenu& menu) {
    QStringList texts;
    for (const QAction* action : menu.actions())
        texts << action->text();
    return texts;
}

// Runs an entry of the field's context menu, as a click on it would, and
// returns the window it opened.
DecodeWindow* choose(WindowHarness& h, QTextEdit* edit, const QString& entry) {
    const std::unique_ptr<QMenu> menu(decodeContextMenu(edit));
    for (QAction* action : menu->actions())
        if (action->text() == entry)
            action->trigger();
    const QString kind = entry == kDecode ? QStringLiteral("decode-") : "comparison-";
    return h.window->findChild<DecodeWindow*>(kind + edit->objectName());
}

// The first row of the tree whose "Label: value" holds `text`.
QTreeWidgetItem* rowWith(const DecodeWindow* decodeWindow, const QString& text) {
    for (QTreeWidgetItemIterator it(decodeWindow->tree()); *it; ++it)
        if (((*it)->text(0) + QStringLiteral(": ") + (*it)->text(1)).contains(text))
            return *it;
    return nullptr;
}

bool markedRed(const QTreeWidgetItem* item) {
    const QColor c = item->foreground(1).color();
    return !item->icon(0).isNull() && c.red() > 128 && c.green() < 64 && c.blue() < 64;
}

QStringList problems(const DecodeWindow* decodeWindow) {
    QStringList out;
    for (int i = 0; i < decodeWindow->problemList()->count(); ++i)
        out << decodeWindow->problemList()->item(i)->text();
    return out;
}

void press(const DecodeWindow* decodeWindow, const QString& text) {
    for (QPushButton* b : decodeWindow->findChildren<QPushButton*>())
        if (b->text() == text)
            b->click();
}

// The comparison's value columns, by their headings.
QStringList sides(const DecodeWindow* decodeWindow) {
    QStringList out;
    const QTreeWidgetItem* header = decodeWindow->tree()->headerItem();
    for (int column = 1; column < header->columnCount(); ++column)
        out << header->text(column);
    return out;
}

EdidImage editorImage(WindowHarness& h) {
    EdidImage image{};
    parseEdidText(h.ui()->EDIDtext->toPlainText(), image);
    return image;
}

} // namespace

class DecodeWindowTest : public QObject {
    Q_OBJECT

private slots:
    void menuEntries_data();
    void menuEntries();
    void rightClickOpensOurMenu_data();
    void rightClickOpensOurMenu();
    void decodeFollowsField_data();
    void decodeFollowsField();
    void editorTextProblems_data();
    void editorTextProblems();
    void wrongChecksumIsMarked();
    void compareWithTopFollowsEditor();
    void compareFailsWhenDeviceRefuses();
    void compareWithFile();
    void editorSideNamedByOrigin_data();
    void editorSideNamedByOrigin();
    void comparisonShowsWholeFieldPaths();
};

void DecodeWindowTest::menuEntries_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("compare");
    QTest::newRow("EDID editor") << "EDIDtext" << true;
    QTest::newRow("CEC") << "CECtext" << false;
    QTest::newRow("HDR InfoFrame") << "IFtext" << false;
    QTest::newRow("AVI InfoFrame") << "AVItext" << false;
    QTest::newRow("captured HDR") << "txtHdrIf" << false;
}

void DecodeWindowTest::menuEntries() {
    QFETCH(QString, name);
    QFETCH(bool, compare);
    WindowHarness h;
    h.start();
    const std::unique_ptr<QMenu> menu(decodeContextMenu(h.window->findChild<QTextEdit*>(name)));
    const QStringList texts = actionTexts(*menu);
    QCOMPARE(texts.count(kDecode), 1);
    QCOMPARE(texts.count(kCompare), compare ? 1 : 0);
    // The field's own entries stay, ahead of ours.
    const int selectAll = texts.indexOf(QRegularExpression(QStringLiteral("Select All.*")));
    QVERIFY(selectAll >= 0 && selectAll < texts.indexOf(kDecode));
}

void DecodeWindowTest::rightClickOpensOurMenu_data() {
    QTest::addColumn<bool>("keyboard");
    // A mouse click lands on the edit's viewport, the menu key on the edit.
    QTest::newRow("mouse") << false;
    QTest::newRow("menu key") << true;
}

void DecodeWindowTest::rightClickOpensOurMenu() {
    QFETCH(bool, keyboard);
    WindowHarness h;
    h.start();
    installDecodeMenus(*h.window);
    QTextEdit* cec = h.ui()->CECtext;
    QStringList shown;
    // Instead of a user: note the entries and choose "Decode…".
    const auto onScreen = showDecodeMenu;
    showDecodeMenu = [&](QMenu& menu, const QPoint&) {
        shown = actionTexts(menu);
        for (QAction* action : menu.actions())
            if (action->text() == kDecode)
                action->trigger();
    };
    QWidget* target = keyboard ? static_cast<QWidget*>(cec) : cec->viewport();
    QContextMenuEvent click(keyboard ? QContextMenuEvent::Keyboard : QContextMenuEvent::Mouse,
                            QPoint(5, 5), target->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(target, &click);
    showDecodeMenu = onScreen;
    QVERIFY(shown.contains(kDecode));
    auto* decodeWindow = h.window->findChild<DecodeWindow*>(QStringLiteral("decode-CECtext"));
    QVERIFY(decodeWindow);
    QVERIFY(decodeWindow->isVisible() && decodeWindow->isWindow());
    QCOMPARE(decodeWindow->windowModality(), Qt::NonModal);
}

void DecodeWindowTest::decodeFollowsField_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("shownBefore");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("shownAfter");
    // Opcode 0x36 is <Standby>, 0x04 <Image View On>.
    QTest::newRow("CEC") << "CECtext"
                         << "0f:36"
                         << "Standby"
                         << "40:04"
                         << "Image View On";
    // Data byte 1, bits 7..5: colour space 2 is YCbCr 4:4:4, 1 is 4:2:2.
    QTest::newRow("AVI") << "AVItext"
                         << "40"
                         << "YCbCr 4:4:4"
                         << "20"
                         << "YCbCr 4:2:2";
    // After type, version, length and checksum, data byte 1 is the EOTF: 2 PQ, 3 HLG.
    QTest::newRow("HDR") << "IFtext"
                         << "87:01:1a:00:02:00"
                         << "SMPTE ST 2084"
                         << "87:01:1a:00:03:00"
                         << "HLG";
    // The status shows the captured frame's data bytes only.
    QTest::newRow("captured HDR") << "txtHdrIf"
                                  << "02:00"
                                  << "SMPTE ST 2084"
                                  << "03:00"
                                  << "HLG";
}

void DecodeWindowTest::decodeFollowsField() {
    QFETCH(QString, name);
    QFETCH(QString, before);
    QFETCH(QString, shownBefore);
    QFETCH(QString, after);
    QFETCH(QString, shownAfter);
    WindowHarness h;
    h.start();
    auto* edit = h.window->findChild<QTextEdit*>(name);
    edit->setPlainText(before);

    DecodeWindow* decodeWindow = choose(h, edit, kDecode);
    QVERIFY(decodeWindow);
    QVERIFY(rowWith(decodeWindow, shownBefore) && !rowWith(decodeWindow, shownAfter));
    edit->setPlainText(after);
    QVERIFY(rowWith(decodeWindow, shownAfter) && !rowWith(decodeWindow, shownBefore));

    // Asked again, the same window comes forward.
    QCOMPARE(choose(h, edit, kDecode), decodeWindow);
    QCOMPARE(h.window->findChildren<DecodeWindow*>().size(), qsizetype(1));
}

void DecodeWindowTest::editorTextProblems_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QString>("size");
    // Byte 0 parses; byte 1, from character 4, ends in a comma.
    QTest::newRow("bad separator") << "00 FF,FF"
                                   << "byte 1 (character 4): expected two hex digits"
                                   << "1 bytes";
    QTest::newRow("lone digit") << "00 F"
                                << "byte 1 (character 4)"
                                << "1 bytes";
    QTest::newRow("257 bytes") << QStringLiteral("00 ").repeated(257)
                               << "byte 256 on: past the 256 bytes"
                               << "256 bytes";
}

void DecodeWindowTest::editorTextProblems() {
    QFETCH(QString, text);
    QFETCH(QString, problem);
    QFETCH(QString, size);
    WindowHarness h;
    h.start();
    h.ui()->EDIDtext->setPlainText(text);
    DecodeWindow* decodeWindow = choose(h, h.ui()->EDIDtext, kDecode);
    QVERIFY(decodeWindow);
    QVERIFY(!problems(decodeWindow).isEmpty());
    QVERIFY2(problems(decodeWindow).front().startsWith(problem),
             qPrintable(problems(decodeWindow)[0]));
    // The text's problem stands first in the tree, marked; the bytes before
    // it are decoded all the same.
    QTreeWidgetItem* first = decodeWindow->tree()->topLevelItem(0);
    QVERIFY(first->text(1).startsWith(problem));
    QVERIFY(markedRed(first));
    QVERIFY(rowWith(decodeWindow, QStringLiteral("Size: ") + size));
}

void DecodeWindowTest::wrongChecksumIsMarked() {
    WindowHarness h;
    h.start();
    EdidImage image = editorImage(h);
    QVERIFY(edidChecksumsCorrect(image));
    DecodeWindow* decodeWindow = choose(h, h.ui()->EDIDtext, kDecode);
    QVERIFY(decodeWindow);
    const auto checksumProblems = [&] {
        return problems(decodeWindow).filter(QStringLiteral("checksum"), Qt::CaseInsensitive);
    };
    QVERIFY(checksumProblems().isEmpty());

    const int right = image[kEdidBlockSize - 1], wrong = (right + 1) & 0xFF;
    image[kEdidBlockSize - 1] = static_cast<std::uint8_t>(wrong);
    h.ui()->EDIDtext->setPlainText(edidHexText(image));

    QCOMPARE(checksumProblems(),
             QStringList{QString::asprintf("byte 127: checksum is 0x%02X, should be 0x%02X", wrong,
                                           right)});
    QTreeWidgetItem* checksum = rowWith(decodeWindow, QString::asprintf("Checksum: 0x%02X", wrong));
    QVERIFY(checksum && markedRed(checksum));
    QVERIFY(decodeWindow->problemList()->isVisibleTo(decodeWindow));
    // A correct field is not marked.
    QVERIFY(!markedRed(rowWith(decodeWindow, QStringLiteral("Manufacturer"))));
}

void DecodeWindowTest::compareWithTopFollowsEditor() {
    WindowHarness h;
    h.start();
    QVERIFY(h.device().displayEdid[0] != editorImage(h));
    DecodeWindow* decodeWindow = choose(h, h.ui()->EDIDtext, kCompare);
    QVERIFY(decodeWindow);
    QCOMPARE(decodeWindow->tree()->topLevelItemCount(), 0);
    h.clearTraffic();

    press(decodeWindow, QStringLiteral("TOP display"));
    const auto& sent = h.requests();
    QVERIFY(std::any_of(sent.begin(), sent.end(), [](const auto& r) {
        return r.size() > 2 && r[2] == proto::kCmdStageTopEdid;
    }));
    // A value column per side, headed by where it came from.
    QCOMPARE(sides(decodeWindow), (QStringList{"Device", "TOP display"}));
    const QTreeWidgetItem* maker = rowWith(decodeWindow, QStringLiteral("Manufacturer: KVT"));
    QVERIFY(maker && maker->text(2) == QStringLiteral("LMV"));
    QVERIFY(decodeWindow->summary().isEmpty()); // differing, and no problems: nothing to add

    // The editor now holds TOP's table: the comparison follows it.
    h.ui()->EDIDtext->setPlainText(edidHexText(h.device().displayEdid[0]));
    QCOMPARE(decodeWindow->summary(), QStringLiteral("The two EDIDs are the same."));
    QCOMPARE(sides(decodeWindow), (QStringList{"Device (edited)", "TOP display"}));
}

void DecodeWindowTest::compareFailsWhenDeviceRefuses() {
    WindowHarness h;
    h.start();
    h.device().refusedCommands = {proto::kCmdStageBotEdid};
    DecodeWindow* decodeWindow = choose(h, h.ui()->EDIDtext, kCompare);
    QVERIFY(decodeWindow);
    press(decodeWindow, QStringLiteral("BOT display"));
    QVERIFY2(decodeWindow->note().startsWith(QStringLiteral("Could not read BOT display's EDID")),
             qPrintable(decodeWindow->note()));
    QCOMPARE(decodeWindow->tree()->topLevelItemCount(), 0);
}

void DecodeWindowTest::compareWithFile() {
    WindowHarness h;
    h.start();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("same.bin"));
    const EdidImage own = editorImage(h);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(own.data()), kEdidSize);
    file.close();
    DecodeWindow* decodeWindow = choose(h, h.ui()->EDIDtext, kCompare);
    QVERIFY(decodeWindow);
    h.clearTraffic();

    press(decodeWindow, QStringLiteral("File\u2026")); // cancelled: nothing compared
    QCOMPARE(decodeWindow->tree()->topLevelItemCount(), 0);
    h.dialogs.fileAnswers.push_back(path);
    press(decodeWindow, QStringLiteral("File\u2026"));
    QCOMPARE(h.dialogs.shown.size(), std::size_t(2));
    QCOMPARE(h.dialogs.shown.back().kind, QStringLiteral("open"));
    QCOMPARE(sides(decodeWindow), (QStringList{"Device", "file same.bin"}));
    QCOMPARE(decodeWindow->summary(), QStringLiteral("The two EDIDs are the same."));
    QVERIFY(h.requests().empty());
}

void DecodeWindowTest::editorSideNamedByOrigin_data() {
    QTest::addColumn<QString>("load"); // a button of the main window, or a file to load
    QTest::addColumn<QString>("named");
    QTest::newRow("TOP read") << "pbReadTvEdidA"
                              << "TOP display";
    QTest::newRow("BOT read") << "pbReadTvEdidB"
                              << "BOT display";
    QTest::newRow("file") << "tv.bin"
                          << "file tv.bin";
    // Start-up read the device's table; typing over it makes it no longer that.
    QTest::newRow("typed") << ""
                           << "Device (edited)";
}

void DecodeWindowTest::editorSideNamedByOrigin() {
    QFETCH(QString, load);
    QFETCH(QString, named);

    WindowHarness h;
    h.start();
    QTemporaryDir dir;
    if (load.endsWith(".bin")) {
        QFile file(dir.filePath(load));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(h.device().displayEdid[0].data()), kEdidSize);
        file.close();
        h.dialogs.fileAnswers.push_back(file.fileName());
        h.ui()->ButLoadEDID->click();
    } else if (!load.isEmpty()) {
        h.window->findChild<QAbstractButton*>(load)->click();
    } else {
        h.ui()->EDIDtext->setPlainText(edidHexText(h.device().displayEdid[0]));
    }
    DecodeWindow* decodeWindow = choose(h, h.ui()->EDIDtext, kCompare);
    QVERIFY(decodeWindow);
    press(decodeWindow, QStringLiteral("Device's EDID"));
    QCOMPARE(sides(decodeWindow), (QStringList{named, "Device"}));
    QVERIFY(decodeWindow->findChild<QLabel*>()->text().contains(named + " compared with Device"));
    QVERIFY(rowWith(decodeWindow, "Video formats only in " + named));
    QVERIFY(!rowWith(decodeWindow, QStringLiteral("editor with")));
}

void DecodeWindowTest::comparisonShowsWholeFieldPaths() {
    WindowHarness h;
    h.start();
    DecodeWindow* decodeWindow = choose(h, h.ui()->EDIDtext, kCompare);
    QVERIFY(decodeWindow);
    press(decodeWindow, QStringLiteral("TOP display"));
    QApplication::processEvents();

    const QTreeWidget* tree = decodeWindow->tree();
    const QFontMetrics metrics(tree->font());
    int paths = 0;
    for (QTreeWidgetItemIterator it(decodeWindow->tree()); *it; ++it) {
        int depth = 0;
        for (const QTreeWidgetItem* p = (*it)->parent(); p; p = p->parent())
            ++depth;
        const QString label = (*it)->text(0);
        paths += label.count(QStringLiteral(" > ")) >= 3;
        // Every column holds all of its text: nothing is cut off or elided.
        QVERIFY2(metrics.horizontalAdvance(label) + tree->indentation() * (depth + 1) <=
                     tree->columnWidth(0),
                 qPrintable(label));
        for (int column = 1; column < tree->columnCount(); ++column)
            QVERIFY2(metrics.horizontalAdvance((*it)->text(column)) <= tree->columnWidth(column),
                     qPrintable((*it)->text(column)));
    }
    QVERIFY(paths > 0); // the differences are named by long field paths
}

QTEST_MAIN(DecodeWindowTest)
#include "tst_win_decode_window.moc"
