// The EDID editor: the checksum check and the rendering of a table.
#include "WindowHarness.h"
#include "edid/EdidText.h"
#include "link/AppState.h"
#include "link/Dialogs.h"
#include "window/Variant.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QtTest>

namespace {

QTextCharFormat formatOfByte(QTextEdit* editor, int byteIndex) {
    QTextCursor cursor(editor->document());
    cursor.setPosition((byteIndex / 16) * 48 + (byteIndex % 16) * 3 + 1);
    return cursor.charFormat();
}

void runCheck(WindowHarness& h) {
    QVERIFY(QMetaObject::invokeMethod(h.window.get(), "CalculateChkSum"));
}

// 8 bytes a line, lower case, no final line feed: parseable, not canonical.
QString handTyped(const EdidImage& image) {
    QString text;
    for (int i = 0; i < kEdidSize; ++i) {
        text += QString::asprintf("%02x", image[static_cast<std::size_t>(i)]);
        if (i != kEdidSize - 1)
            text += i % 8 == 7 ? QLatin1Char('\n') : QLatin1Char(' ');
    }
    return text;
}

EdidImage broken(EdidImage image) {
    image[127] ^= 0x0F;
    image[255] ^= 0xF0;
    return image;
}

} // namespace

class EdidEditorTest : public QObject {
    Q_OBJECT

private slots:
    void checksumCheck_data();
    void checksumCheck();
    void renderedFormats();
    void dpiPointSize_data();
    void dpiPointSize();
};

void EdidEditorTest::checksumCheck_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("dialog"); // "", "question" or "message"
    QTest::addColumn<QString>("shown");  // editor text afterwards; empty: as typed

    const EdidImage good = makeDeviceEdid();
    EdidImage repaired = broken(good);
    setEdidChecksums(repaired);
    QTest::newRow("correct, canonical") << edidHexText(good) << 0 << "" << edidHexText(good);
    QTest::newRow("correct, hand typed") << handTyped(good) << 0 << "" << edidHexText(good);
    QTest::newRow("wrong, Yes repairs")
        << handTyped(broken(good)) << Dialogs::Yes << "question" << edidHexText(repaired);
    QTest::newRow("wrong, No keeps the text")
        << handTyped(broken(good)) << Dialogs::No << "question" << QString();
    QTest::newRow("wrong, box closed") << edidHexText(broken(good)) << 0 << "question" << QString();
    QTest::newRow("format error") << "00 FF  FF" << 0 << "message" << QString();
    QTest::newRow("empty is all zeros") << "" << 0 << "" << edidHexText(EdidImage{});
    QTest::newRow("short text padded with zeros") << "00 FF" << Dialogs::Yes << "question" << [] {
        EdidImage e{};
        e[1] = 0xFF;
        setEdidChecksums(e);
        return edidHexText(e);
    }();
}

void EdidEditorTest::checksumCheck() {
    QFETCH(QString, typed);
    QFETCH(int, answer);
    QFETCH(QString, dialog);
    QFETCH(QString, shown);

    WindowHarness h;
    h.start();
    h.ui()->EDIDtext->setPlainText(typed);
    h.clearTraffic();
    if (answer)
        h.dialogs.answers.push_back(answer);

    runCheck(h);

    QCOMPARE(h.ui()->EDIDtext->toPlainText(), shown.isEmpty() ? typed : shown);
    QVERIFY(h.usb.device.requests.empty());
    if (dialog.isEmpty()) {
        QVERIFY(h.dialogs.shown.empty());
        return;
    }
    QCOMPARE(h.dialogs.shown.size(), std::size_t(1));
    const auto& box = h.dialogs.shown.front();
    QCOMPARE(box.kind, dialog);
    if (dialog == "question") {
        QCOMPARE(box.title, QString());
        QVERIFY(!box.hasParent);
        QCOMPARE(box.text, QStringLiteral("The EDID Checksum is not correct."));
        QCOMPARE(box.informativeText, QStringLiteral("Do you want to calculate a new checksum?"));
        QCOMPARE(box.buttons, Dialogs::Yes | Dialogs::No);
    } else {
        QCOMPARE(box.title, QStringLiteral("KORVANTA Utility"));
        QCOMPARE(box.text, QStringLiteral("Hex Format Error"));
        QCOMPARE(box.icon, Dialogs::Icon::Warning);
        QVERIFY(box.hasParent);
    }
}

void EdidEditorTest::renderedFormats() {
    WindowHarness h;
    h.start();
    // Start from loaded-file colours, which the rendering must replace.
    h.ui()->EDIDtext->setTextColor(Qt::blue);
    h.ui()->EDIDtext->setFontWeight(QFont::Bold);
    h.ui()->EDIDtext->setPlainText(handTyped(makeDisplayEdid(0)));

    runCheck(h);

    QTextEdit* editor = h.ui()->EDIDtext;
    for (int i = 0; i < kEdidSize; ++i) {
        const QTextCharFormat format = formatOfByte(editor, i);
        QCOMPARE(format.foreground().color(), QColor(Qt::black));
        const bool bold = i == 127 || i == 255;
        QCOMPARE(format.fontWeight() == QFont::Bold, bold);
    }
}

void EdidEditorTest::dpiPointSize_data() {
    QTest::addColumn<float>("scale");
    QTest::addColumn<double>("pointSize"); // 200 % DPI build only
    QTest::newRow("200 %") << 2.0f << 4.0;
    QTest::newRow("100 %") << 1.0f << 8.0;
    QTest::newRow("scale not measured") << 0.0f << 8.0;
}

void EdidEditorTest::dpiPointSize() {
    QFETCH(float, scale);
    QFETCH(double, pointSize);

    WindowHarness h;
    h.start();
    appState.dpiScale = scale;
    h.ui()->EDIDtext->setPlainText(edidHexText(makeDeviceEdid()));
    runCheck(h);

    for (int i : {0, 15, 127}) {
        const QTextCharFormat format = formatOfByte(h.ui()->EDIDtext, i);
        if (kDpi200Build)
            QCOMPARE(format.fontPointSize(), pointSize);
        else
            QVERIFY(!format.hasProperty(QTextFormat::FontPointSize));
    }
}

QTEST_MAIN(EdidEditorTest)
#include "tst_win_edid_editor.moc"
