// EDID tables between the window and the device: reads and writes.
#include "WindowHarness.h"
#include "edid/EdidText.h"
#include "link/AppState.h"
#include "link/Dialogs.h"
#include "link/UsbLink.h"
#include "window/Variant.h"

#include <QProgressBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTextCursor>
#include <QtTest>
#include <algorithm>

#include <functional>

namespace {

using Requests = std::vector<std::string>;

// Sees each request while the window is in the middle of sending it, and can
// make single writes fail.
struct SpyUsb : SimUsbLibrary {
    std::function<bool(const std::string&)> onWrite; // false: this write fails

    int write(DeviceHandle handle, const std::uint8_t* buffer, std::uint32_t count,
              std::uint32_t* written) override {
        if (onWrite && !onWrite(hexBytes({buffer, buffer + count}))) {
            *written = 0;
            return 1;
        }
        return SimUsbLibrary::write(handle, buffer, count, written);
    }
};

struct EdidHarness : WindowHarness {
    SpyUsb spy;
    EdidHarness() { platform().usb = &spy; }
    // The window closes the device on its way out; the spy must still be there.
    ~EdidHarness() { window.reset(); }
    SimulatedDevice& device() { return spy.device; }
    Requests traffic() const { return hexRequests(spy.device.requests); }
    void forget() {
        spy.device.requests.clear();
        dialogs.shown.clear();
        window->statusBar()->clearMessage();
    }
    QString editorText() const { return ui()->EDIDtext->toPlainText(); }
    // The window in custom mode, its editor holding `image`.
    void readyToWrite(const EdidImage& image) {
        start();
        ui()->customEDID->click();
        ui()->cmBEdid->setCurrentIndex(0);
        ui()->EDIDtext->setPlainText(edidHexText(image));
        forget();
    }
};

Requests readChunks() {
    Requests out;
    for (int offset = 0; offset < 256; offset += 16)
        out.push_back(hexBytes({0x11, 0x10, 0xB0, static_cast<std::uint8_t>(offset)}));
    return out;
}

Requests writeChunks(const EdidImage& image) {
    Requests out;
    for (int offset = 0; offset < 256; offset += 8) {
        // Sized up front: GCC 12 at -O2 misreads a growing insert as out of bounds.
        std::vector<std::uint8_t> r(12);
        r[0] = 0x10;
        r[1] = 0x08;
        r[2] = 0xB0;
        r[3] = static_cast<std::uint8_t>(offset);
        std::copy_n(image.begin() + offset, 8, r.begin() + 4);
        out.push_back(hexBytes(r));
    }
    return out;
}

Requests repeated(const std::string& request, int times) {
    return Requests(static_cast<std::size_t>(times), request);
}

Requests operator+(Requests a, const Requests& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

EdidImage withBadChecksum(EdidImage image) {
    image[127] ^= 0x55;
    return image;
}

QStringList messages(const QSignalSpy& spy) {
    QStringList out;
    for (const auto& args : spy)
        if (!args.at(0).toString().isEmpty())
            out << args.at(0).toString();
    return out;
}

int weightAt(QTextEdit* editor, int byteIndex) {
    QTextCursor cursor(editor->document());
    cursor.setPosition((byteIndex / 16) * 48 + (byteIndex % 16) * 3 + 1);
    return cursor.charFormat().fontWeight();
}

} // namespace

class EdidTransferTest : public QObject {
    Q_OBJECT

private slots:
    void startUpShowsTheDeviceEdid();
    void readsOneTable_data();
    void readsOneTable();
    void busyWaitGivesUpAfter501Reads();
    void readWithoutReplyKeepsTheEditor_data();
    void readWithoutReplyKeepsTheEditor();
    void deviceFallingSilentMidwayEndsTheTransfer_data();
    void deviceFallingSilentMidwayEndsTheTransfer();
    void progressBarDuringTransfers();
    void writeSendsChunksAndCommit();
    void writeWithWrongChecksum_data();
    void writeWithWrongChecksum();
    void writeOutsideCustomMode_data();
    void writeOutsideCustomMode();
    void writeRefusesUnparseableText();
    void failingChunkDoesNotStopTheWrite();
    void failingCommit();
};

void EdidTransferTest::startUpShowsTheDeviceEdid() {
    EdidHarness h;
    h.start();
    QCOMPARE(h.editorText(), edidHexText(h.device().ownEdid));
    QCOMPARE(h.status(), QStringLiteral("EDID values read."));
    QTextCursor cursor(h.ui()->EDIDtext->document());
    cursor.setPosition(1);
    QCOMPARE(cursor.charFormat().foreground().color(), QColor(Qt::black));
    QCOMPARE(cursor.charFormat().fontWeight(), int(QFont::Normal));
    // The 200 % build leaves the size to its style sheet.
    if (kDpi200Build)
        QVERIFY(!cursor.charFormat().hasProperty(QTextFormat::FontPointSize));
    else
        QCOMPARE(cursor.charFormat().fontPointSize(), 8.0);
}

void EdidTransferTest::readsOneTable_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("prepare");
    QTest::addColumn<int>("source"); // -1: the device's own table, else a display
    QTest::addColumn<int>("busyReads");
    QTest::addColumn<QString>("done");
    QTest::addColumn<bool>("checksumsRendered");

    QTest::newRow("device") << "ButReadEDID"
                            << "10 01 B4" << -1 << 0 << "EDID values read." << false;
    QTest::newRow("device, busy for a while")
        << "ButReadEDID"
        << "10 01 B4" << -1 << 6 << "EDID values read." << false;
    // Releasing "Read TOP" also runs the checksum check, which renders the text.
    QTest::newRow("TOP") << "pbReadTvEdidA"
                         << "10 01 B5" << 0 << 1 << "TV EDID values read." << true;
    QTest::newRow("BOT") << "pbReadTvEdidB"
                         << "10 01 B6" << 1 << 1 << "TV EDID values read." << false;
}

void EdidTransferTest::readsOneTable() {
    QFETCH(QString, button);
    QFETCH(QString, prepare);
    QFETCH(int, source);
    QFETCH(int, busyReads);
    QFETCH(QString, done);
    QFETCH(bool, checksumsRendered);

    EdidHarness h;
    h.start();
    h.ui()->EDIDtext->clear();
    h.device().busyAfterStage = busyReads;
    h.forget();
    QSignalSpy status(h.window->statusBar(), &QStatusBar::messageChanged);
    const std::uint64_t slept = h.clock.totalSlept();

    h.window->findChild<QAbstractButton*>(button)->click();

    const Requests expected =
        Requests{prepare.toStdString()} + repeated("11 2A E1", busyReads + 1) + readChunks();
    QCOMPARE(h.traffic(), expected);
    QCOMPARE(h.clock.totalSlept() - slept, std::uint64_t(100 + 10 * (busyReads + 1)));
    const EdidImage& table = source < 0 ? h.device().ownEdid : h.device().displayEdid[source];
    QCOMPARE(h.editorText(), edidHexText(table));
    QVERIFY(messages(status).contains(done));
    QVERIFY(h.dialogs.shown.empty());
    const int checksumWeight = checksumsRendered ? QFont::Bold : QFont::Normal;
    QCOMPARE(weightAt(h.ui()->EDIDtext, 127), checksumWeight);
    QCOMPARE(weightAt(h.ui()->EDIDtext, 255), checksumWeight);
}

void EdidTransferTest::busyWaitGivesUpAfter501Reads() {
    EdidHarness h;
    h.start();
    h.device().stickyBusy = 100000;
    h.forget();
    const std::uint64_t slept = h.clock.totalSlept();

    h.ui()->ButReadEDID->click();

    QCOMPARE(h.traffic(), Requests{"10 01 B4"} + repeated("11 2A E1", 501) + readChunks());
    QCOMPARE(h.clock.totalSlept() - slept, std::uint64_t(100 + 10 * 501));
    QCOMPARE(h.editorText(), edidHexText(h.device().ownEdid));
}

void EdidTransferTest::readWithoutReplyKeepsTheEditor_data() {
    QTest::addColumn<bool>("silent"); // else every library read fails
    QTest::newRow("device silent: transact succeeds with no bytes") << true;
    QTest::newRow("reads fail") << false;
}

void EdidTransferTest::readWithoutReplyKeepsTheEditor() {
    QFETCH(bool, silent);

    EdidHarness h;
    h.start();
    h.ui()->EDIDtext->setPlainText(QStringLiteral("AA BB"));
    h.forget();
    if (silent)
        h.device().silent = true;
    else
        h.spy.failRead = true;
    QSignalSpy status(h.window->statusBar(), &QStatusBar::messageChanged);

    h.ui()->ButReadEDID->click();

    // The unanswered staging request ends the read: the rest would only wait.
    QCOMPARE(h.traffic(), Requests{"10 01 B4"});
    QCOMPARE(h.editorText(), QStringLiteral("AA BB"));
    const QStringList shown = messages(status);
    QCOMPARE(shown.count("Error Writing values"), 1);
    QVERIFY(!shown.contains("EDID values read."));
    QCOMPARE(h.status(), QStringLiteral("Error reading Korvanta EDID"));
    QVERIFY(h.window->progressBar()->isHidden());
}

void EdidTransferTest::deviceFallingSilentMidwayEndsTheTransfer_data() {
    QTest::addColumn<bool>("write");
    QTest::addColumn<int>("answered"); // requests answered before the silence
    QTest::addColumn<QString>("said");
    // Stage, one busy read, four chunks: the fifth chunk goes unanswered.
    QTest::newRow("read") << false << 6 << "Error reading Korvanta EDID";
    QTest::newRow("write") << true << 5 << "Error Writing EDID values.";
}

void EdidTransferTest::deviceFallingSilentMidwayEndsTheTransfer() {
    QFETCH(bool, write);
    QFETCH(int, answered);
    QFETCH(QString, said);

    EdidHarness h;
    const EdidImage image = makeDisplayEdid(0);
    h.readyToWrite(image);
    h.device().busyReads = 0;
    h.device().busyAfterStage = 0;
    const EdidImage customBefore = h.device().customEdid;
    int sent = 0;
    h.spy.onWrite = [&](const std::string&) {
        h.device().silent = ++sent > answered;
        return true;
    };
    const std::uint32_t start = h.clock.now();

    (write ? h.ui()->ButWriteEDID : h.ui()->ButReadEDID)->click();

    QCOMPARE(h.traffic().size(), std::size_t(answered + 1));
    QVERIFY2(h.clock.now() - start <= kReplyWindowMs + 1000,
             qPrintable(QString::number(h.clock.now() - start)));
    QCOMPARE(h.status(), said);
    // Neither the editor nor the device's table takes a part of a transfer.
    QCOMPARE(h.editorText(), edidHexText(image));
    QCOMPARE(h.device().customEdid, customBefore);
    QVERIFY(h.window->progressBar()->isHidden());
}

void EdidTransferTest::progressBarDuringTransfers() {
    EdidHarness h;
    h.readyToWrite(h.device().ownEdid);
    struct Seen {
        bool visible;
        int value, maximum;
    };
    std::map<std::string, Seen> seen;
    h.spy.onWrite = [&](const std::string& request) {
        const QProgressBar* bar = h.window->progressBar();
        if (bar)
            seen[request.substr(0, 11)] = {!bar->isHidden(), bar->value(), bar->maximum()};
        return true;
    };

    h.ui()->ButReadEDID->click();
    QProgressBar* readBar = h.window->progressBar();
    QVERIFY(readBar);
    QVERIFY(!seen.at("11 10 B0 00").visible);
    QVERIFY(seen.at("11 10 B0 10").visible);
    QCOMPARE(seen.at("11 10 B0 10").value, 16);
    QCOMPARE(seen.at("11 10 B0 10").maximum, 255);
    QVERIFY(seen.at("11 10 B0 F0").visible);
    QVERIFY(readBar->isHidden());
    QVERIFY(!readBar->isTextVisible());

    seen.clear();
    h.ui()->ButWriteEDID->click();
    QProgressBar* writeBar = h.window->progressBar();
    QVERIFY(writeBar != readBar); // a fresh bar for each transfer
    QVERIFY(!seen.at("10 08 B0 00").visible);
    QVERIFY(seen.at("10 08 B0 08").visible);
    QCOMPARE(seen.at("10 08 B0 08").value, 1);
    QCOMPARE(seen.at("10 08 B0 08").maximum, 32);
    QCOMPARE(seen.at("10 08 B0 F8").value, 31);
    QVERIFY(writeBar->isHidden());
}

void EdidTransferTest::writeSendsChunksAndCommit() {
    EdidHarness h;
    EdidImage image = makeDisplayEdid(1);
    image[20] = 0x42;
    setEdidChecksums(image);
    h.readyToWrite(image);
    const QString textBefore = h.editorText();
    const std::uint64_t slept = h.clock.totalSlept();

    h.ui()->ButWriteEDID->click();

    QCOMPARE(h.traffic(), writeChunks(image) + Requests{"10 08 B1"});
    QCOMPARE(h.clock.totalSlept() - slept, std::uint64_t(32 * 30));
    QVERIFY(h.device().hasCustomEdid);
    QCOMPARE(h.device().customEdid, image);
    QCOMPARE(h.status(), QStringLiteral("EDID values written..."));
    QCOMPARE(h.editorText(), textBefore);
    QVERIFY(h.dialogs.shown.empty());
}

void EdidTransferTest::writeWithWrongChecksum_data() {
    QTest::addColumn<int>("answer");
    QTest::newRow("Yes writes it unchanged") << Dialogs::Yes;
    QTest::newRow("No sends nothing") << Dialogs::No;
    QTest::newRow("closed box sends nothing") << 0;
}

void EdidTransferTest::writeWithWrongChecksum() {
    QFETCH(int, answer);

    EdidHarness h;
    const EdidImage image = withBadChecksum(h.device().ownEdid);
    h.readyToWrite(image);
    h.dialogs.answers.push_back(answer);

    h.ui()->ButWriteEDID->click();

    QCOMPARE(h.dialogs.shown.size(), std::size_t(1));
    const auto& box = h.dialogs.shown.front();
    QCOMPARE(box.kind, QStringLiteral("question"));
    QCOMPARE(box.title, QStringLiteral("KORVANTA Utility"));
    QCOMPARE(box.text, QStringLiteral("The EDID Checksum is not correct."));
    QCOMPARE(box.informativeText, QStringLiteral("Write anyway?"));
    QCOMPARE(box.buttons, Dialogs::Yes | Dialogs::No);
    QVERIFY(!box.hasParent);
    if (answer == Dialogs::Yes) {
        QCOMPARE(h.traffic(), writeChunks(image) + Requests{"10 08 B1"});
        QCOMPARE(h.device().customEdid, image);
    } else {
        QVERIFY(h.traffic().empty());
        QVERIFY(!h.device().hasCustomEdid);
    }
}

void EdidTransferTest::writeOutsideCustomMode_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("preset");
    QTest::newRow("fixed") << "fixedEDID" << 0;
    QTest::newRow("automix") << "automixEDID" << 0;
    QTest::newRow("custom with a preset") << "customEDID" << 3;
}

void EdidTransferTest::writeOutsideCustomMode() {
    QFETCH(QString, mode);
    QFETCH(int, preset);

    EdidHarness h;
    h.readyToWrite(h.device().ownEdid);
    h.window->findChild<QAbstractButton*>(mode)->setChecked(true);
    h.ui()->cmBEdid->setCurrentIndex(preset);
    h.forget();

    h.ui()->ButWriteEDID->click();

    QVERIFY(h.traffic().empty());
    QCOMPARE(h.dialogs.shown.size(), std::size_t(1));
    QCOMPARE(h.dialogs.shown.front().text,
             QStringLiteral("\nSelect CUSTOM EDID TABLE mode to upload an EDID table\n"));
    QCOMPARE(h.dialogs.shown.front().title, QStringLiteral("KORVANTA Utility"));
    QCOMPARE(h.dialogs.shown.front().icon, Dialogs::Icon::Warning);
    QVERIFY(h.dialogs.shown.front().hasParent);
}

void EdidTransferTest::writeRefusesUnparseableText() {
    EdidHarness h;
    h.readyToWrite(h.device().ownEdid);
    h.ui()->EDIDtext->setPlainText(QStringLiteral("00  FF"));

    h.ui()->ButWriteEDID->click();

    QVERIFY(h.traffic().empty());
    QCOMPARE(h.dialogs.texts(), QStringList{"Hex Format Error"});
    QCOMPARE(h.dialogs.shown.front().title, QStringLiteral("KORVANTA Utility"));
}

void EdidTransferTest::failingChunkDoesNotStopTheWrite() {
    EdidHarness h;
    const EdidImage image = makeDisplayEdid(0);
    h.readyToWrite(image);
    h.spy.onWrite = [](const std::string& request) { return request.rfind("10 08 B0 40", 0) != 0; };
    QSignalSpy status(h.window->statusBar(), &QStatusBar::messageChanged);

    h.ui()->ButWriteEDID->click();

    Requests expected = writeChunks(image) + Requests{"10 08 B1"};
    expected.erase(expected.begin() + 8); // the failed write never reached the device
    QCOMPARE(h.traffic(), expected);
    QVERIFY(messages(status).contains("Error Writing EDID values."));
    // A table with a gap in it is not reported as written.
    QVERIFY(!messages(status).contains("EDID values written..."));
    QCOMPARE(h.status(), QStringLiteral("Error Writing EDID values."));
}

void EdidTransferTest::failingCommit() {
    EdidHarness h;
    h.readyToWrite(h.device().ownEdid);
    h.spy.onWrite = [](const std::string& request) { return request != "10 08 B1"; };

    h.ui()->ButWriteEDID->click();

    QCOMPARE(h.traffic().size(), std::size_t(32));
    QCOMPARE(h.status(), QStringLiteral("Error Populating EDID values."));
    QVERIFY(h.window->progressBar()->isHidden());
}

QTEST_MAIN(EdidTransferTest)
#include "tst_win_edid_transfer.moc"
