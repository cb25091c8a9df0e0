// The live status header: what the poll reads and the five widgets it rewrites.
#include "WindowHarness.h"
#include "link/Protocol.h"

#include <QComboBox>
#include <QLabel>
#include <QTextEdit>
#include <QtTest>

namespace {

struct Header {
    QString format, colour, source, hdr, infoFrame;
};

Header header(Ui::MainWindow* ui) {
    return {ui->label_video_format->text(), ui->lblCsc->text(), ui->lblVideoSource->text(),
            ui->lblHdrInput->text(), ui->txtHdrIf->toPlainText()};
}

void compareHeader(const Header& actual, const Header& expected) {
    QCOMPARE(actual.format, expected.format);
    QCOMPARE(actual.colour, expected.colour);
    QCOMPARE(actual.source, expected.source);
    QCOMPARE(actual.hdr, expected.hdr);
    QCOMPARE(actual.infoFrame, expected.infoFrame);
}

// The two sources the simulated device starts with.
const Header kHdrPlayerBoth = {
    "Input : 3840x2160p60 HDMI, [600MHz], Output: TX A, TX B",
    "Color Space: YCbCr 4:4:4, Extended: ITU-R BT.2020 RGB", "Source Info: STRMBOX 4K Media Player",
    "HDR input:  SMPTE ST 2084",
    "02:00:c2:33:c4:86:4c:1d:b8:0b:d0:84:80:3e:13:3d:42:40:e8:03:32:00:e8:03:90:01"};
const Header kConsoleBoth = {"Input : 1920x1080p60 HDMI, Output: TX A, TX B",
                             "Color Space: RGB, ITU-R BT.709", "Source Info: GAMECO Console X",
                             "HDR input:  Not Active", ""};

} // namespace

Q_DECLARE_METATYPE(Header)

class StatusTest : public QObject {
    Q_OBJECT

private slots:
    void startUpShowsTheActiveSource();
    void tickReadsTheFourRegistersInOrder();
    void headerFollowsInputAndMatrix_data();
    void headerFollowsInputAndMatrix();
    void userSwitchesInputThenTickShowsIt();
    void failedRegister31KeepsAllFiveWidgets();
    void failedEarlierReadsDecideNothing();
    void longCapturedInfoFrameIsCapped();
};

void StatusTest::startUpShowsTheActiveSource() {
    WindowHarness h;
    h.start();
    compareHeader(header(h.ui()), kHdrPlayerBoth);
}

void StatusTest::tickReadsTheFourRegistersInOrder() {
    WindowHarness h;
    h.start();
    h.clearTraffic();
    h.tick();
    const auto requests = hexRequests(h.requests());
    QVERIFY(requests.size() >= 4);
    const std::vector<std::string> last(requests.end() - 4, requests.end());
    QCOMPARE(last, (std::vector<std::string>{"11 0F E0 06", "11 1F E0 15", "11 1F E0 1E",
                                             "11 1F E0 1F"}));
}

void StatusTest::headerFollowsInputAndMatrix_data() {
    QTest::addColumn<int>("input"); // settings block byte 0
    QTest::addColumn<bool>("topConnected");
    QTest::addColumn<Header>("expected");

    QTest::newRow("port A") << 1 << true << kHdrPlayerBoth;
    QTest::newRow("port B") << 2 << true << kConsoleBoth;
    QTest::newRow("matrix thru shows TOP's source") << 3 << true << kHdrPlayerBoth;
    QTest::newRow("matrix swap shows TOP's source") << 4 << true << kConsoleBoth;
    Header botOnly = kHdrPlayerBoth;
    botOnly.format = "Input : 3840x2160p60 HDMI, [600MHz], Output: TX B";
    QTest::newRow("matrix swap, only BOT shows A") << 4 << false << botOnly;
}

void StatusTest::headerFollowsInputAndMatrix() {
    QFETCH(int, input);
    QFETCH(bool, topConnected);
    QFETCH(Header, expected);
    WindowHarness h;
    h.device().settings[0] = std::uint8_t(input);
    h.device().displayConnected[0] = topConnected;
    h.start();
    compareHeader(header(h.ui()), expected);
}

void StatusTest::userSwitchesInputThenTickShowsIt() {
    WindowHarness h;
    h.start();
    h.tick();
    compareHeader(header(h.ui()), kHdrPlayerBoth);
    h.ui()->cmbInputSel->setCurrentIndex(1); // PORT B [BOT]
    h.tick();
    compareHeader(header(h.ui()), kConsoleBoth);
}

void StatusTest::failedRegister31KeepsAllFiveWidgets() {
    WindowHarness h;
    h.start();
    h.device().settings[0] = 2; // the other source: every line would change
    h.device().refusedRegister = proto::kRegStatus31;
    h.clearTraffic();
    h.tick();
    compareHeader(header(h.ui()), kHdrPlayerBoth);
    QCOMPARE(h.status(), QStringLiteral("..."));
    const auto requests = hexRequests(h.requests());
    QCOMPARE(std::count(requests.begin(), requests.end(), "11 1F E0 15"), 1);
    QCOMPARE(std::count(requests.begin(), requests.end(), "11 1F E0 1E"), 1);

    h.device().refusedRegister = -1;
    h.tick();
    compareHeader(header(h.ui()), kConsoleBoth);
}

void StatusTest::failedEarlierReadsDecideNothing() {
    // Only register 31 decides; a refused register 6 still rewrites the
    // lines, from the refusal left in its buffer.
    WindowHarness h;
    h.start();
    h.device().refusedRegister = proto::kRegInputStatus;
    h.tick();
    Header expected = kHdrPlayerBoth;
    expected.format = "Input :  non-HDMI, Output: none";
    expected.colour = "Color Space: RGB";
    compareHeader(header(h.ui()), expected);
}

void StatusTest::longCapturedInfoFrameIsCapped() {
    WindowHarness h;
    std::vector<std::uint8_t> payload(40);
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = std::uint8_t(i + 1);
    h.device().sources[0].hdrInfoFrame = payload;
    h.start();
    const QString text = h.ui()->txtHdrIf->toPlainText();
    QCOMPARE(text.split(':').size(), 27);
    QVERIFY(text.startsWith("01:02:03:"));
    QVERIFY(text.endsWith(":1a:1b"));
}

QTEST_MAIN(StatusTest)
#include "tst_win_status.moc"
