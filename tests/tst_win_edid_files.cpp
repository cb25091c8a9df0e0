// EDID tables to and from files.
#include "WindowHarness.h"
#include "edid/EdidText.h"
#include "link/AppState.h"
#include "window/Variant.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QByteArray bytesOf(const EdidImage& image) {
    return QByteArray(reinterpret_cast<const char*>(image.data()), kEdidSize);
}

EdidImage imageOf(const QByteArray& bytes) {
    EdidImage image{};
    for (int i = 0; i < kEdidSize && i < bytes.size(); ++i)
        image[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bytes.at(i));
    return image;
}

QByteArray dump(const EdidImage& image, const char* lineEnd) {
    QByteArray text;
    for (int i = 0; i < kEdidSize; ++i) {
        text += QByteArray::number(image[static_cast<std::size_t>(i)], 16).rightJustified(2, '0');
        text += ' ';
        if (i % 16 == 15)
            text += lineEnd;
    }
    return text.toUpper();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QTextCharFormat formatAt(QTextEdit* editor, int position) {
    QTextCursor cursor(editor->document());
    cursor.setPosition(position);
    return cursor.charFormat();
}

int checksumWeight(QTextEdit* editor) {
    return formatAt(editor, 7 * 48 + 15 * 3 + 1).fontWeight();
}

void load(WindowHarness& h, const QString& path) {
    h.dialogs.fileAnswers.push_back(path);
    h.ui()->ButLoadEDID->click();
}

void save(WindowHarness& h, const QString& path) {
    h.dialogs.fileAnswers.push_back(path);
    h.ui()->ButSaveEDID->click();
}

} // namespace

class EdidFilesTest : public QObject {
    Q_OBJECT

private slots:
    void saveThenLoad();
    void saveOverLongerFileAndWithWrongChecksums();
    void saveRefusesUnparseableText();
    void cancelledDialogsChangeNothing();
    void saveIntoReadOnlyDirectory();
    void saveFailingWriteKeepsOldFile();
    void loadFile_data();
    void loadFile();
    void loadUnreadable_data();
    void loadUnreadable();
};

void EdidFilesTest::saveThenLoad() {
    QTemporaryDir dir;
    WindowHarness h;
    h.start();
    const EdidImage image = h.usb.device.ownEdid;
    const QString path = dir.filePath("table.bin");
    h.clearTraffic();

    save(h, path);

    QCOMPARE(readFile(path), bytesOf(image));
    QCOMPARE(h.status(), QStringLiteral("File saved"));
    QCOMPARE(h.dialogs.shown.size(), std::size_t(1));
    QCOMPARE(h.dialogs.shown.front().kind, QStringLiteral("save"));
    QCOMPARE(h.dialogs.shown.front().title, QStringLiteral("Save File"));
    QCOMPARE(h.dialogs.shown.front().text,
             QStringLiteral("KORVANTA_edid0.bin|Binary file (*.bin)"));
    QVERIFY(h.dialogs.shown.front().hasParent);

    h.ui()->EDIDtext->setPlainText(QStringLiteral("something else"));
    h.clearTraffic();
    load(h, path);

    QCOMPARE(h.ui()->EDIDtext->toPlainText(), edidHexText(image));
    QCOMPARE(checksumWeight(h.ui()->EDIDtext), int(QFont::Bold));
    QCOMPARE(h.status(), QStringLiteral("File loaded"));
    QCOMPARE(h.dialogs.shown.front().title, QStringLiteral("Open file"));
    QCOMPARE(h.dialogs.shown.front().text,
             QStringLiteral("|Binary Files (*.bin);;All files (*.*)"));
    QVERIFY(h.usb.device.requests.empty());
}

void EdidFilesTest::saveOverLongerFileAndWithWrongChecksums() {
    QTemporaryDir dir;
    const QString path = dir.filePath("old.bin");
    QVERIFY(writeFile(path, QByteArray(1000, 'x')));
    WindowHarness h;
    h.start();
    EdidImage image = makeDisplayEdid(1);
    image[255] ^= 0xFF;
    h.ui()->EDIDtext->setPlainText(edidHexText(image));
    h.clearTraffic();

    save(h, path);

    // No checksum question; the table goes out as it stands.
    QCOMPARE(readFile(path), bytesOf(image));
    QCOMPARE(h.dialogs.shown.size(), std::size_t(1));
}

void EdidFilesTest::saveRefusesUnparseableText() {
    QTemporaryDir dir;
    const QString path = dir.filePath("never.bin");
    WindowHarness h;
    h.start();
    h.ui()->EDIDtext->setPlainText(QStringLiteral("0 1 2"));
    h.clearTraffic();

    save(h, path);

    QCOMPARE(h.dialogs.texts(), QStringList{"Hex Format Error"});
    QCOMPARE(h.dialogs.shown.front().title, QStringLiteral("KORVANTA Utility"));
    QVERIFY(!QFile::exists(path));
}

void EdidFilesTest::cancelledDialogsChangeNothing() {
    WindowHarness h;
    h.start();
    const QString text = h.ui()->EDIDtext->toPlainText();
    h.window->statusBar()->clearMessage();
    h.clearTraffic();

    h.ui()->ButLoadEDID->click();
    h.ui()->ButSaveEDID->click();

    QCOMPARE(h.dialogs.shown.size(), std::size_t(2));
    QCOMPARE(h.ui()->EDIDtext->toPlainText(), text);
    QCOMPARE(h.status(), QString());
}

void EdidFilesTest::saveIntoReadOnlyDirectory() {
    QTemporaryDir dir;
    const QString path = dir.filePath("kept.bin");
    QVERIFY(writeFile(path, "old contents"));
    // Root may write anywhere: drop to an unprivileged user for the save.
    const bool root = geteuid() == 0;
    QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                                  QFileDevice::ReadOther | QFileDevice::ExeOther));
    WindowHarness h;
    h.start();
    h.clearTraffic();
    if (root)
        QCOMPARE(seteuid(65534), 0);
    save(h, path);
    if (root)
        QCOMPARE(seteuid(0), 0);
    QFile::setPermissions(dir.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QCOMPARE(h.dialogs.shown.size(), std::size_t(2));
    const auto& box = h.dialogs.shown.back();
    QCOMPARE(box.title, QStringLiteral("KORVANTA Utility"));
    QVERIFY2(box.text.startsWith("Cannot write file " + path + ":\n"), qPrintable(box.text));
    QVERIFY(box.text.endsWith('.'));
    QVERIFY(box.text.size() > QString("Cannot write file " + path + ":\n.").size());
    QCOMPARE(readFile(path), QByteArray("old contents"));
    QVERIFY(h.status() != QStringLiteral("File saved"));
}

void EdidFilesTest::saveFailingWriteKeepsOldFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath("kept.bin");
    QVERIFY(writeFile(path, "old contents"));
    WindowHarness h;
    h.start();
    h.clearTraffic();

    // A file size limit below 256 bytes: the file opens, the write fails.
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 100;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    save(h, path);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    QCOMPARE(h.dialogs.shown.size(), std::size_t(2));
    QVERIFY2(h.dialogs.shown.back().text.startsWith("Cannot write file " + path + ":\n"),
             qPrintable(h.dialogs.shown.back().text));
    QCOMPARE(h.status(), QStringLiteral("Saving file..."));
    QCOMPARE(readFile(path), QByteArray("old contents"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"kept.bin"});
}

void EdidFilesTest::loadFile_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("asText"); // blue and bold

    const EdidImage device = makeDeviceEdid();
    const QByteArray half = bytesOf(device).left(128);
    QTest::newRow("empty file") << QByteArray() << edidHexText(EdidImage{}) << false;
    QTest::newRow("128-byte binary") << half << edidHexText(imageOf(half)) << false;
    QTest::newRow("300-byte binary")
        << bytesOf(device) + QByteArray(44, '\x7F') << edidHexText(device) << false;
    QTest::newRow("dump with space and CR LF")
        << dump(device, "\r\n") << edidHexText(device) << true;
    QTest::newRow("own layout") << edidHexText(device).toLatin1() << edidHexText(device) << true;
    const QByteArray odd = "# EDID\r\n" + dump(device, "\r\n");
    // The editor keeps CR LF as a line break of its own.
    QTest::newRow("first line differs")
        << odd << QString::fromLatin1(odd).replace("\r\n", "\n") << true;
    QTest::newRow("looks like HTML") << QByteArray("<b>00 FF</b>") << "<b>00 FF</b>" << true;
}

void EdidFilesTest::loadFile() {
    QFETCH(QByteArray, file);
    QFETCH(QString, text);
    QFETCH(bool, asText);

    QTemporaryDir dir;
    const QString path = dir.filePath("in.bin");
    QVERIFY(writeFile(path, file));
    WindowHarness h;
    h.start();
    // Loading does not depend on the mode, nor on whether the editor is editable.
    h.ui()->EDIDtext->setEnabled(false);
    h.clearTraffic();

    load(h, path);

    QTextEdit* editor = h.ui()->EDIDtext;
    QCOMPARE(editor->toPlainText(), text);
    QCOMPARE(h.status(), QStringLiteral("File loaded"));
    QVERIFY(h.usb.device.requests.empty());
    const QTextCharFormat first = formatAt(editor, 1);
    if (asText) {
        QCOMPARE(first.foreground().color(), QColor(0, 0, 255, 255));
        QCOMPARE(first.fontWeight(), int(QFont::Bold));
        if (!kDpi200Build)
            QCOMPARE(first.fontPointSize(), 8.0);
    } else {
        QCOMPARE(first.foreground().color(), QColor(Qt::black));
        QCOMPARE(checksumWeight(editor), int(QFont::Bold));
    }
    // The converted dump is ready for the parser.
    if (QTest::currentDataTag() == QByteArray("dump with space and CR LF")) {
        EdidImage parsed{};
        QCOMPARE(parseEdidText(editor->toPlainText(), parsed), kEdidSize);
        QCOMPARE(parsed, makeDeviceEdid());
    }
}

void EdidFilesTest::loadUnreadable_data() {
    QTest::addColumn<bool>("directory");
    QTest::newRow("missing file") << false;
    QTest::newRow("directory") << true;
}

void EdidFilesTest::loadUnreadable() {
    QFETCH(bool, directory);

    QTemporaryDir dir;
    const QString path = directory ? dir.path() : dir.filePath("missing.bin");
    WindowHarness h;
    h.start();
    h.ui()->EDIDtext->setPlainText(QStringLiteral("AA"));
    h.clearTraffic();

    load(h, path);

    QCOMPARE(h.dialogs.shown.size(), std::size_t(2));
    const auto& box = h.dialogs.shown.back();
    QCOMPARE(box.title, QStringLiteral("KORVANTA Utility"));
    QVERIFY2(box.text.startsWith("Cannot read file " + path + ":\n"), qPrintable(box.text));
    QVERIFY(box.hasParent);
    QCOMPARE(h.ui()->EDIDtext->toPlainText(), QStringLiteral("AA"));
}

QTEST_MAIN(EdidFilesTest)
#include "tst_win_edid_files.moc"
