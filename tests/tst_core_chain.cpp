// The signal-chain check: hand-worked inputs and displays with the verdict
// each check must give, and the reads against the simulated device.
#include "TestPlatform.h"
#include "chain/SignalChain.h"
#include "edid/EdidOptions.h"
#include "session/ChainRead.h"
#include "settings/SettingsMap.h"
#include "sim/SimFaults.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QtTest>

#include <functional>
#include <utility>

using chain::Verdict;
using Bytes = std::vector<std::uint8_t>;
using Options = std::vector<std::pair<const char*, const char*>>;

Q_DECLARE_METATYPE(chain::ChainData)

namespace {

class SilentReporter : public session::Reporter {
public:
    void status(session::Level level, const char* text, int) override {
        if (level != session::Level::Done)
            said.push_back(text);
    }
    void diagnostic(const char*) override {}
    std::vector<std::string> said;
};

// A display's EDID from the editor's options, as 256 bytes.
Bytes display(const Options& options) {
    edid::Model m = edid::blankEdid();
    for (const auto& [name, value] : options) {
        const edid::EditResult r = edid::applyOption(m, name, value);
        if (!r.ok)
            qFatal("test EDID: %s %s: %s", name, value, r.message.c_str());
    }
    Bytes bytes = edid::write(m);
    bytes.resize(256);
    return bytes;
}

// A 4K HDR TV that takes everything the default source sends.
Options tv() {
    return {{"name", "TV"},
            {"add-vic", "16,97"},
            {"max-tmds", "600"},
            {"ycc", "444,422"},
            {"colorimetry", "bt2020rgb,bt2020ycc"},
            {"hdr", "sdr,pq,hlg"},
            {"max-luminance", "1500"}};
}

Options with(Options base, const Options& more) {
    base.insert(base.end(), more.begin(), more.end());
    return base;
}

void setSetting(chain::ChainData& d, int index, int value) {
    d.settings[static_cast<std::size_t>(settings::blockPosition(index))] =
        static_cast<std::uint8_t>(value);
}

// 3840x2160p60 YCbCr 4:4:4 at 600 MHz, BT.2020, ST 2084 with MaxCLL 1000,
// on input A to both outputs; the TV on both; the device's EDID mixed by
// automix, minimum, with HDR, BT.2020 and YCbCr in it.
chain::ChainData hdrSource() {
    chain::ChainData d;
    chain::Input& in = d.input;
    in.vic = in.statusCode = 97;
    in.formatName = "3840x2160p60";
    in.hdmi = true;
    in.linkMode = 2;
    in.txA = in.txB = true;
    in.encoding = chain::Encoding::Ycc444;
    in.colorimetry = chain::Colorimetry::Bt2020Ycc;
    in.eotf = chain::Eotf::Pq;
    in.maxCll = 1000;
    in.maxFall = 400;
    d.settingsKnown = true;
    setSetting(d, settings::kActiveInput, 1);
    setSetting(d, settings::kEdidMode, 1);
    setSetting(d, settings::kEdidAlgorithm, 0);
    setSetting(d, settings::kHdr, 1);
    setSetting(d, settings::kBt2020, 1);
    setSetting(d, settings::kYcbcr, 1);
    for (chain::Display& shown : d.displays)
        shown = {chain::DisplayState::Read, display(tv())};
    return d;
}

// 1920x1080p60 RGB, BT.709, SDR.
chain::ChainData sdrSource() {
    chain::ChainData d = hdrSource();
    chain::Input& in = d.input;
    in.vic = in.statusCode = 16;
    in.formatName = "1920x1080p60";
    in.linkMode = 0;
    in.encoding = chain::Encoding::Rgb;
    in.colorimetry = chain::Colorimetry::Bt709;
    in.eotf = chain::Eotf::None;
    in.maxCll = in.maxFall = 0;
    return d;
}

chain::ChainData change(chain::ChainData d, const std::function<void(chain::ChainData&)>& edit) {
    edit(d);
    return d;
}

chain::ChainData withDisplay(chain::ChainData d, int output, const Options& options) {
    d.displays[output] = {chain::DisplayState::Read, display(options)};
    return d;
}

const chain::Finding* findingOf(const chain::OutputReport& o, const std::string& check) {
    for (const chain::Finding& f : o.findings)
        if (f.check == check)
            return &f;
    return nullptr;
}

// Status replies as the device sends them (reply positions).
struct Replies {
    std::uint8_t input[64] = {};
    std::uint8_t product[64] = {};
    std::uint8_t hdr[64] = {};
};

} // namespace

class ChainTest : public QObject {
    Q_OBJECT

private slots:
    void inputFromStatus_data();
    void inputFromStatus();
    void checks_data();
    void checks();
    void outputVerdicts_data();
    void outputVerdicts();
    void adviceOnlyWhereTheDataSupportsIt();
    void adviceSaysWhatElseItChanges_data();
    void adviceSaysWhatElseItChanges();
    void matrixModes_data();
    void matrixModes();
    void cutEdid();
    void dviSource();
    void jsonKeepsEveryKeyOneType();
    void linesNameFormatsAndSettings();
    void readsFromTheDevice();
    void failingDevice_data();
    void failingDevice();
};

void ChainTest::inputFromStatus_data() {
    QTest::addColumn<QByteArray>("inputBytes"); // reply positions 2..14
    QTest::addColumn<QByteArray>("hdrBytes");   // reply positions 2..
    QTest::addColumn<int>("vic");
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("hdmi");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<int>("colorimetry");
    QTest::addColumn<int>("eotf");
    QTest::addColumn<int>("maxCll");
    QTest::addColumn<bool>("txA");
    QTest::addColumn<bool>("txB");

    // code, flags, link, outputs, -, -, -, HDMI VS byte, AVI 1-3, -, HDMI video format
    const QByteArray hdr = QByteArray::fromHex("871a"
                                               "0200c233c4864c1db80bd084803e133d4240e8033200e803"
                                               "9001");
    QTest::newRow("4K HDR, YCbCr BT.2020")
        << QByteArray::fromHex("611002600000000040c0600000") << hdr << 97 << "3840x2160p60" << true
        << int(chain::Encoding::Ycc444) << int(chain::Colorimetry::Bt2020Ycc)
        << int(chain::Eotf::Pq) << 1000 << true << true;
    QTest::newRow("RGB BT.2020 is the RGB one")
        << QByteArray::fromHex("611002600000000000c0600000") << QByteArray() << 97 << "3840x2160p60"
        << true << int(chain::Encoding::Rgb) << int(chain::Colorimetry::Bt2020Rgb)
        << int(chain::Eotf::None) << 0 << true << true;
    QTest::newRow("constant-luminance BT.2020")
        << QByteArray::fromHex("611000600000000060c0500000") << QByteArray() << 97 << "3840x2160p60"
        << true << int(chain::Encoding::Ycc420) << int(chain::Colorimetry::Bt2020cYcc)
        << int(chain::Eotf::None) << 0 << true << true;
    QTest::newRow("4K30 named by the HDMI vendor block")
        << QByteArray::fromHex("00100020000000010080000020") << QByteArray() << 95 << "3840x2160p30"
        << true << int(chain::Encoding::Rgb) << int(chain::Colorimetry::Bt709)
        << int(chain::Eotf::None) << 0 << true << false;
    QTest::newRow("DVI: AVI bytes left over are not sent")
        << QByteArray::fromHex("100000400000000040c0600000") << hdr << 16 << "1920x1080p60" << false
        << int(chain::Encoding::Rgb) << int(chain::Colorimetry::None) << int(chain::Eotf::None) << 0
        << false << true;
    QTest::newRow("no signal") << QByteArray::fromHex("00100000000000000000000000") << QByteArray()
                               << 0 << "" << true << int(chain::Encoding::Rgb)
                               << int(chain::Colorimetry::None) << int(chain::Eotf::None) << 0
                               << false << false;
    QTest::newRow("HLG") << QByteArray::fromHex("10100060000000000080000000")
                         << QByteArray::fromHex("87020300") << 16 << "1920x1080p60" << true
                         << int(chain::Encoding::Rgb) << int(chain::Colorimetry::Bt709)
                         << int(chain::Eotf::Hlg) << 0 << true << true;
}

void ChainTest::inputFromStatus() {
    QFETCH(QByteArray, inputBytes);
    QFETCH(QByteArray, hdrBytes);
    Replies r;
    std::copy(inputBytes.begin(), inputBytes.end(), r.input + 2);
    std::copy(hdrBytes.begin(), hdrBytes.end(), r.hdr + 2);
    const chain::Input in = chain::inputFromStatus(r.input, r.product, r.hdr);
    QTEST(in.vic, "vic");
    QTEST(QString::fromStdString(in.formatName), "format");
    QTEST(in.hdmi, "hdmi");
    QTEST(int(in.encoding), "encoding");
    QTEST(int(in.colorimetry), "colorimetry");
    QTEST(int(in.eotf), "eotf");
    QTEST(in.maxCll, "maxCll");
    QTEST(in.txA, "txA");
    QTEST(in.txB, "txB");
}

void ChainTest::checks_data() {
    QTest::addColumn<chain::ChainData>("data");
    QTest::addColumn<int>("output");
    QTest::addColumn<QString>("check");
    QTest::addColumn<int>("verdict"); // -1: the check gives no finding
    QTest::addColumn<QString>("advice");
    QTest::addColumn<QString>("says");
    constexpr int top = 0, bot = 1;
    const auto fine = int(Verdict::Fine), degraded = int(Verdict::Degraded),
               wontShow = int(Verdict::WontShow), unknown = int(Verdict::Unknown);
    const chain::ChainData hdr = hdrSource();
    const chain::ChainData sdr = sdrSource();
    auto on = [](chain::ChainData d, int output, const Options& o) {
        return withDisplay(std::move(d), output, o);
    };
    auto source = [](chain::ChainData d, const std::function<void(chain::Input&)>& edit) {
        edit(d.input);
        return d;
    };
    auto setting = [](chain::ChainData d, int index, int value) {
        setSetting(d, index, value);
        return d;
    };
    const Options hdmi600 = {{"max-tmds", "600"}};

    // Format: the video data block, the 4:2:0 blocks, detailed timings.
    QTest::newRow("format listed") << hdr << top << "format" << fine << ""
                                   << "TV lists 3840x2160p60";
    QTest::newRow("format not listed")
        << on(hdr, bot, {{"name", "PJ"}, {"add-vic", "16"}}) << bot << "format" << wontShow << ""
        << "PJ does not list 3840x2160p60";
    QTest::newRow("4:2:0 only, TOP: the 4:2:0 output")
        << on(hdr, top, with(tv(), {{"y420-only", "97"}})) << top << "format" << wontShow
        << "out-420=on"
        << "only as YCbCr 4:2:0";
    QTest::newRow("4:2:0 only, BOT: nothing converts it")
        << on(hdr, bot, with(tv(), {{"y420-only", "97"}})) << bot << "format" << wontShow << ""
        << "only as YCbCr 4:2:0";
    QTest::newRow("4:2:0 only, output already 4:2:0")
        << setting(on(hdr, top, with(tv(), {{"y420-only", "97"}})), settings::kOut420, 1) << top
        << "format" << fine << ""
        << "TV lists 3840x2160p60";
    QTest::newRow("format by detailed timing")
        << on(sdr, top, {{"name", "MON"}, {"preferred", "16"}}) << top << "format" << fine << ""
        << "MON lists 1920x1080p60";
    QTest::newRow("1080p50 timing is not 1080p60")
        << on(sdr, top, {{"name", "MON"}, {"preferred", "31"}}) << top << "format" << wontShow << ""
        << "MON does not list 1920x1080p60";
    QTest::newRow("format code the table lacks")
        << source(sdr, [](chain::Input& in) { in.vic = in.statusCode = 120, in.formatName = ""; })
        << top << "format" << unknown << ""
        << "format code 120";

    // Bandwidth: pixel clock, encoding and the link's depth against the display's limit.
    QTest::newRow("594 MHz within 600") << hdr << top << "bandwidth" << fine << ""
                                        << "needs 594 MHz and TV takes up to 600 MHz";
    QTest::newRow("594 MHz over 300, TOP takes 4:2:0")
        << on(hdr, top, with(tv(), {{"max-tmds", "300"}, {"y420", "97"}})) << top << "bandwidth"
        << wontShow << "out-420=on"
        << "needs 594 MHz, more than the 300 MHz";
    QTest::newRow("594 MHz over 300, no 4:2:0 to fall back on")
        << on(hdr, top, with(tv(), {{"max-tmds", "300"}})) << top << "bandwidth" << wontShow << ""
        << "more than the 300 MHz";
    QTest::newRow("the 4:2:0 output brings it to 297 MHz")
        << setting(on(hdr, top, with(tv(), {{"max-tmds", "300"}, {"y420", "97"}})),
                   settings::kOut420, 1)
        << top << "bandwidth" << fine << ""
        << "YCbCr 4:2:0 at 8 bits needs 297 MHz";
    QTest::newRow("the 4:2:0 output converts TOP only")
        << setting(on(hdr, bot, with(tv(), {{"max-tmds", "300"}, {"y420", "97"}})),
                   settings::kOut420, 1)
        << bot << "bandwidth" << wontShow << ""
        << "needs 594 MHz";
    QTest::newRow("4:2:0 10-bit is 371.25 MHz")
        << source(on(hdr, top, with(tv(), {{"max-tmds", "340"}, {"y420", "97"}})),
                  [](chain::Input& in) { in.linkMode = 1, in.encoding = chain::Encoding::Ycc420; })
        << top << "bandwidth" << wontShow << ""
        << "needs 371.25 MHz";
    QTest::newRow("4:2:2 runs at the 8-bit rate")
        << source(on(hdr, top, with(tv(), {{"max-tmds", "600"}})),
                  [](chain::Input& in) { in.encoding = chain::Encoding::Ycc422; })
        << top << "bandwidth" << fine << ""
        << "YCbCr 4:2:2 at 8 bits needs 594 MHz";
    QTest::newRow("no vendor block: 165 MHz")
        << source(on(sdr, top, {{"name", "DVI"}, {"preferred", "95"}}),
                  [](chain::Input& in) { in.vic = 95, in.formatName = "3840x2160p30"; })
        << top << "bandwidth" << wontShow << ""
        << "needs 297 MHz, more than the 165 MHz DVI";
    QTest::newRow("1080p60 within 165 MHz")
        << on(sdr, top, {{"name", "DVI"}, {"preferred", "16"}}) << top << "bandwidth" << fine << ""
        << "needs 148.5 MHz and DVI takes up to 165 MHz";

    // Colour: the pixel encoding, and 4:2:0 for the format.
    QTest::newRow("RGB needs nothing")
        << on(sdr, top, {{"name", "MON"}, {"preferred", "16"}}) << top << "colour" << fine << ""
        << "takes RGB";
    QTest::newRow("4:4:4 declared") << hdr << top << "colour" << fine << ""
                                    << "takes YCbCr 4:4:4";
    QTest::newRow("4:4:4 not declared")
        << on(hdr, top, {{"name", "TV"}, {"add-vic", "97"}, {"max-tmds", "600"}}) << top << "colour"
        << degraded << "ycbcr=off"
        << "does not declare YCbCr 4:4:4";
    QTest::newRow("4:4:4 not declared, ycbcr already off")
        << setting(on(hdr, top, {{"name", "TV"}, {"add-vic", "97"}, {"max-tmds", "600"}}),
                   settings::kYcbcr, 0)
        << top << "colour" << degraded << ""
        << "does not declare YCbCr 4:4:4";
    QTest::newRow("4:2:2 where only 4:4:4 is declared")
        << source(on(hdr, top, with(tv(), {{"ycc", "444"}})),
                  [](chain::Input& in) { in.encoding = chain::Encoding::Ycc422; })
        << top << "colour" << degraded << "ycbcr=off"
        << "does not declare YCbCr 4:2:2";
    QTest::newRow("4:2:0 sent, display takes it by the map")
        << source(on(hdr, bot, with(tv(), {{"y420", "97"}})),
                  [](chain::Input& in) { in.linkMode = 0, in.encoding = chain::Encoding::Ycc420; })
        << bot << "colour" << fine << ""
        << "as YCbCr 4:2:0, which TV takes";
    QTest::newRow("4:2:0 sent, display lacks it")
        << source(hdr,
                  [](chain::Input& in) { in.linkMode = 0, in.encoding = chain::Encoding::Ycc420; })
        << bot << "colour" << wontShow << ""
        << "which TV does not take";
    QTest::newRow("the 4:2:0 output where the display lacks 4:2:0")
        << setting(hdr, settings::kOut420, 1) << top << "colour" << wontShow << "out-420=off"
        << "The device's 4:2:0 output sends 3840x2160p60 to TOP";

    // Colorimetry: BT.2020 and the extended ones need the colorimetry block.
    QTest::newRow("BT.2020 listed") << hdr << top << "colorimetry" << fine << ""
                                    << "TV lists BT.2020 YCbCr";
    QTest::newRow("BT.2020 YCbCr where only RGB is listed")
        << on(hdr, top, with(tv(), {{"colorimetry", "bt2020rgb"}})) << top << "colorimetry"
        << degraded << "bt2020=off"
        << "does not list BT.2020 YCbCr";
    QTest::newRow("BT.709 needs none") << on(sdr, top, {{"name", "MON"}, {"preferred", "16"}})
                                       << top << "colorimetry" << fine << ""
                                       << "BT.709 needs no declaration";
    QTest::newRow("BT.2020 RGB leaves the 4:2:0 output as BT.2020 YCbCr")
        << setting(source(on(hdr, top, with(tv(), {{"colorimetry", "bt2020ycc"}})),
                          [](chain::Input& in) {
                              in.encoding = chain::Encoding::Rgb;
                              in.colorimetry = chain::Colorimetry::Bt2020Rgb;
                          }),
                   settings::kOut420, 1)
        << top << "colorimetry" << fine << ""
        << "TV lists BT.2020 YCbCr";
    QTest::newRow("the 4:2:0 output to a display of BT.2020 RGB only")
        << setting(source(on(hdr, top, with(tv(), {{"colorimetry", "bt2020rgb"}})),
                          [](chain::Input& in) {
                              in.encoding = chain::Encoding::Rgb;
                              in.colorimetry = chain::Colorimetry::Bt2020Rgb;
                          }),
                   settings::kOut420, 1)
        << top << "colorimetry" << degraded << "bt2020=off"
        << "does not list BT.2020 YCbCr";
    QTest::newRow("xvYCC: no setting for it")
        << source(on(sdr, top, with(tv(), {{"colorimetry", "bt2020rgb"}})),
                  [](chain::Input& in) { in.colorimetry = chain::Colorimetry::XvYcc709; })
        << top << "colorimetry" << degraded << ""
        << "does not list xvYCC 709";

    // HDR: the EOTF, then the content's light level against the display's.
    QTest::newRow("ST 2084 taken") << hdr << top << "hdr" << fine << ""
                                   << "TV takes SMPTE ST 2084";
    QTest::newRow("no HDR block") << on(hdr, top,
                                        {{"name", "TV"}, {"add-vic", "97"}, {"max-tmds", "600"}})
                                  << top << "hdr" << degraded << "hdr=off"
                                  << "shows the HDR picture as SDR";
    QTest::newRow("HLG only, ST 2084 sent")
        << on(hdr, top, with(tv(), {{"hdr", "sdr,hlg"}})) << top << "hdr" << degraded << "hdr=off"
        << "does not take SMPTE ST 2084";
    QTest::newRow("HLG sent, HLG taken")
        << source(on(hdr, top, with(tv(), {{"hdr", "sdr,hlg"}})),
                  [](chain::Input& in) { in.eotf = chain::Eotf::Hlg; })
        << top << "hdr" << fine << ""
        << "TV takes HLG";
    QTest::newRow("SDR needs none") << sdr << top << "hdr" << fine << ""
                                    << "needs no declaration";
    QTest::newRow("MaxCLL over the display's maximum")
        << on(hdr, top, with(tv(), {{"max-luminance", "600"}})) << top << "luminance" << degraded
        << ""
        << "shows at most 604 cd/m²";
    QTest::newRow("MaxCLL within it") << hdr << top << "luminance" << fine << ""
                                      << "within the 1499 cd/m²";
    QTest::newRow("MaxCLL 1000 on a panel whose EDID can only say 993")
        << on(hdr, top, with(tv(), {{"max-luminance", "1000"}})) << top << "luminance" << fine << ""
        << "993 cd/m² is the nearest its EDID can say";
    QTest::newRow("MaxCLL 1010 is above it")
        << source(on(hdr, top, with(tv(), {{"max-luminance", "1000"}})),
                  [](chain::Input& in) { in.maxCll = 1010; })
        << top << "luminance" << degraded << ""
        << "shows at most 993 cd/m²";
    QTest::newRow("no light level in the EDID") << on(hdr, top,
                                                      {{"name", "TV"},
                                                       {"add-vic", "16,97"},
                                                       {"max-tmds", "600"},
                                                       {"colorimetry", "bt2020ycc"},
                                                       {"hdr", "sdr,pq"}})
                                                << top << "luminance" << unknown << ""
                                                << "TV's EDID gives no maximum light level";
    QTest::newRow("no MaxCLL, nothing to compare")
        << source(hdr, [](chain::Input& in) { in.maxCll = 0; }) << top << "luminance" << -1 << ""
        << "";
    QTest::newRow("HDR lost, luminance not judged")
        << on(hdr, top, {{"name", "TV"}, {"add-vic", "97"}, {"max-tmds", "600"}}) << top
        << "luminance" << -1 << ""
        << "";

    // Outputs and displays.
    QTest::newRow("inactive output") << source(hdr, [](chain::Input& in) { in.txB = false; }) << bot
                                     << "output" << wontShow << ""
                                     << "BOT (TX B) is not active";
    QTest::newRow("TOP is TX A") << hdr << top << "output" << fine << ""
                                 << "TOP is active (TX A)";
    QTest::newRow("missing display")
        << change(hdr,
                  [](chain::ChainData& d) {
                      d.displays[1] = {chain::DisplayState::NoDisplay, {}};
                  })
        << bot << "display" << int(Verdict::NoDisplay) << ""
        << "No display answers on BOT";
    QTest::newRow("a display that failed to read")
        << change(hdr,
                  [](chain::ChainData& d) {
                      d.displays[0] = {chain::DisplayState::ReadFailed, {}};
                  })
        << top << "display" << unknown << ""
        << "did not hand over";
    QTest::newRow("what was handed over is no EDID")
        << change(hdr,
                  [](chain::ChainData& d) {
                      d.displays[0] = {chain::DisplayState::Read, Bytes(256, 0x5A)};
                  })
        << top << "edid" << unknown << ""
        << "is not an EDID";

    // The input itself.
    QTest::newRow("no signal") << source(hdr,
                                         [](chain::Input& in) {
                                             in.vic = in.statusCode = 0, in.formatName = "";
                                         })
                               << top << "input" << wontShow << ""
                               << "No signal comes in on input A";
    QTest::newRow("no signal: no format checks")
        << source(hdr, [](chain::Input& in) { in.vic = in.statusCode = 0, in.formatName = ""; })
        << bot << "format" << -1 << ""
        << "";

    // Where the other display takes it and automix could keep to what both take.
    QTest::newRow("automix top-priority: min-mixed")
        << setting(on(hdr, bot, {{"name", "PJ"}, {"add-vic", "16"}, {"max-tmds", "300"}}),
                   settings::kEdidAlgorithm, 2)
        << bot << "format" << wontShow << "edid-algorithm=min-mixed"
        << "PJ does not list";
    QTest::newRow("min-mixed already")
        << on(hdr, bot, {{"name", "PJ"}, {"add-vic", "16"}, {"max-tmds", "300"}}) << bot
        << "bandwidth" << wontShow << ""
        << "more than the 300 MHz PJ takes";
    QTest::newRow("fixed EDID: no automix advice")
        << setting(setting(on(hdr, bot, {{"name", "PJ"}, {"add-vic", "16"}}),
                           settings::kEdidAlgorithm, 2),
                   settings::kEdidMode, 2)
        << bot << "format" << wontShow << ""
        << "PJ does not list";
    QTest::newRow("specific advice wins over min-mixed")
        << setting(on(hdr, bot, {{"name", "PJ"}, {"add-vic", "16,97"}, {"max-tmds", "600"}}),
                   settings::kEdidAlgorithm, 2)
        << bot << "hdr" << degraded << "hdr=off"
        << "PJ does not take SMPTE ST 2084";
}

void ChainTest::checks() {
    QFETCH(chain::ChainData, data);
    QFETCH(int, output);
    QFETCH(QString, check);
    QFETCH(int, verdict);
    QFETCH(QString, advice);
    QFETCH(QString, says);
    const chain::ChainReport report = chain::checkChain(data);
    const chain::Finding* f = findingOf(report.outputs[output], check.toStdString());
    if (verdict < 0) {
        QVERIFY2(!f, f ? f->sentence.c_str() : "");
        return;
    }
    QVERIFY2(f, qPrintable("no " + check + " finding"));
    QVERIFY2(int(f->verdict) == verdict,
             qPrintable(QString(chain::verdictText(f->verdict)) + ": " + f->sentence.c_str()));
    QCOMPARE(QString::fromStdString(f->setting.empty() ? "" : f->setting + "=" + f->value), advice);
    QVERIFY2(QString::fromStdString(f->sentence).contains(says), f->sentence.c_str());
}

void ChainTest::outputVerdicts_data() {
    QTest::addColumn<chain::ChainData>("data");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("bot");
    QTest::addColumn<bool>("fine");
    const chain::ChainData hdr = hdrSource();
    QTest::newRow("both fine") << hdr << int(Verdict::Fine) << int(Verdict::Fine) << true;
    QTest::newRow("the worst finding counts")
        << withDisplay(hdr, 1, {{"name", "PJ"}, {"add-vic", "16"}}) << int(Verdict::Fine)
        << int(Verdict::WontShow) << false;
    QTest::newRow("degraded") << withDisplay(hdr, 0, with(tv(), {{"max-luminance", "600"}}))
                              << int(Verdict::Degraded) << int(Verdict::Fine) << false;
    QTest::newRow("no display") << change(hdr,
                                          [](chain::ChainData& d) {
                                              d.displays[1] = {chain::DisplayState::NoDisplay, {}};
                                              d.input.txB = false;
                                          })
                                << int(Verdict::Fine) << int(Verdict::NoDisplay) << false;
    QTest::newRow("unknown does not count")
        << change(hdr, [](chain::ChainData& d) { setSetting(d, settings::kActiveInput, 3); })
        << int(Verdict::Fine) << int(Verdict::Unknown) << true;
}

void ChainTest::outputVerdicts() {
    QFETCH(chain::ChainData, data);
    const chain::ChainReport report = chain::checkChain(data);
    QTEST(int(report.outputs[0].verdict), "top");
    QTEST(int(report.outputs[1].verdict), "bot");
    QTEST(chain::chainFine(report), "fine");
}

void ChainTest::adviceOnlyWhereTheDataSupportsIt() {
    // A setting the device already holds at the value to try is not advised.
    chain::ChainData d = withDisplay(hdrSource(), 1, {{"name", "PJ"}, {"add-vic", "97"}});
    const auto advised = [](const chain::ChainData& data) {
        std::vector<std::string> out;
        for (const chain::Finding& f : chain::checkChain(data).outputs[1].findings)
            if (!f.setting.empty())
                out.push_back(f.setting + "=" + f.value);
        return out;
    };
    QCOMPARE(advised(d), (std::vector<std::string>{"ycbcr=off", "bt2020=off", "hdr=off"}));
    setSetting(d, settings::kHdr, 0);
    setSetting(d, settings::kBt2020, 0);
    setSetting(d, settings::kYcbcr, 0);
    QVERIFY(advised(d).empty());
    // Every finding names a setting the command line knows, with a value it accepts.
    d = withDisplay(hdrSource(), 0, {{"name", "X"}, {"add-vic", "16"}, {"y420-only", "97"}});
    setSetting(d, settings::kEdidAlgorithm, 2);
    for (const chain::OutputReport& o : chain::checkChain(d).outputs)
        for (const chain::Finding& f : o.findings)
            if (!f.setting.empty()) {
                const settings::Setting* s = settings::byName(f.setting);
                QVERIFY2(s, f.setting.c_str());
                int value = 0;
                QVERIFY2(settings::parseValue(*s, f.value, &value), f.value.c_str());
            }
}

void ChainTest::adviceSaysWhatElseItChanges_data() {
    QTest::addColumn<chain::ChainData>("data");
    QTest::addColumn<int>("output");
    QTest::addColumn<QString>("check");
    QTest::addColumn<QString>("advice");
    QTest::addColumn<QString>("also");
    const chain::ChainData hdr = hdrSource();
    // 4K at 600 MHz, without YCbCr, BT.2020 or HDR.
    const Options pj = {{"name", "PJ"}, {"add-vic", "16,97"}, {"max-tmds", "600"}};
    QTest::newRow("hdr=off takes HDR from TOP") << withDisplay(hdr, 1, pj) << 1 << "hdr"
                                                << "hdr=off"
                                                << "also takes HDR from TOP's TV";
    QTest::newRow("TOP has no HDR to lose")
        << withDisplay(withDisplay(hdr, 1, pj), 0, with(pj, {{"name", "PJ2"}})) << 1 << "hdr"
        << "hdr=off"
        << "";
    QTest::newRow("TOP is not active")
        << change(withDisplay(hdr, 1, pj), [](chain::ChainData& d) { d.input.txA = false; }) << 1
        << "hdr"
        << "hdr=off"
        << "";
    QTest::newRow("bt2020=off takes BT.2020 from TOP")
        << withDisplay(hdr, 1, pj) << 1 << "colorimetry"
        << "bt2020=off"
        << "also takes BT.2020 colour from TOP's TV";
    QTest::newRow("ycbcr=off sends RGB to TOP") << withDisplay(hdr, 1, pj) << 1 << "colour"
                                                << "ycbcr=off"
                                                << "also makes the source send RGB to TOP's TV";
    QTest::newRow("ycbcr=off for TOP, BOT lacks YCbCr too")
        << withDisplay(withDisplay(hdr, 1, pj), 0, with(pj, {{"name", "PJ2"}})) << 0 << "colour"
        << "ycbcr=off"
        << "";
    QTest::newRow("min-mixed keeps TOP to what both take")
        << change(withDisplay(hdr, 1, {{"name", "PJ"}, {"add-vic", "16"}}),
                  [](chain::ChainData& d) { setSetting(d, settings::kEdidAlgorithm, 2); })
        << 1 << "format"
        << "edid-algorithm=min-mixed"
        << "also keeps TOP's TV to what both displays take";
    QTest::newRow("out-420 is TOP's alone")
        << withDisplay(hdr, 0, with(tv(), {{"y420-only", "97"}})) << 0 << "format"
        << "out-420=on"
        << "";
}

void ChainTest::adviceSaysWhatElseItChanges() {
    QFETCH(chain::ChainData, data);
    QFETCH(int, output);
    QFETCH(QString, check);
    const chain::ChainReport report = chain::checkChain(data);
    const chain::Finding* f = findingOf(report.outputs[output], check.toStdString());
    QVERIFY2(f, qPrintable("no " + check + " finding"));
    QTEST(QString::fromStdString(f->setting + "=" + f->value), "advice");
    QTEST(QString::fromStdString(f->also), "also");
    const QJsonObject json = chain::chainJson(report);
    for (const QJsonValue& g : json["outputs"][output]["findings"].toArray())
        if (g["check"].toString() == check)
            QTEST(g["also"].toString(), "also");
}

void ChainTest::matrixModes_data() {
    QTest::addColumn<int>("input");
    QTest::addColumn<bool>("txA");
    QTest::addColumn<QString>("ports");       // TOP's and BOT's
    QTest::addColumn<int>("described");       // the output the status speaks for
    QTest::addColumn<QString>("unknownSays"); // the other output's format finding
    QTest::newRow("A to both") << 1 << true << "AA" << -1 << "";
    QTest::newRow("B to both") << 2 << true << "BB" << -1 << "";
    QTest::newRow("thru, TX A on") << 3 << true << "AB" << 0
                                   << "BOT is fed by input B, whose signal the device does not "
                                      "report: it reports only input A, the one on TOP.";
    QTest::newRow("thru, TX A off") << 3 << false << "AB" << 1
                                    << "TOP is fed by input A, whose signal the device does not "
                                       "report: it reports only input B, the one on BOT.";
    QTest::newRow("swap, TX A on") << 4 << true << "BA" << 0
                                   << "BOT is fed by input A, whose signal the device does not "
                                      "report: it reports only input B, the one on TOP.";
}

void ChainTest::matrixModes() {
    QFETCH(int, input);
    QFETCH(bool, txA);
    QFETCH(QString, ports);
    QFETCH(int, described);
    QFETCH(QString, unknownSays);
    chain::ChainData d = hdrSource();
    setSetting(d, settings::kActiveInput, input);
    d.input.txA = txA;
    // BOT's display would not take the input: in a matrix mode that must not show.
    d = withDisplay(d, 1, {{"name", "PJ"}, {"add-vic", "16"}});
    const chain::ChainReport r = chain::checkChain(d);
    QCOMPARE(QString(QChar(r.outputs[0].port)) + QChar(r.outputs[1].port), ports);
    for (int o : {0, 1}) {
        const bool speaksFor = described < 0 || described == o;
        QCOMPARE(r.outputs[o].described, speaksFor);
        const chain::Finding* format = findingOf(r.outputs[o], "format");
        QVERIFY(format);
        if (!speaksFor) {
            QCOMPARE(int(format->verdict), int(Verdict::Unknown));
            QCOMPARE(QString::fromStdString(format->sentence), unknownSays);
            // Only the output and display findings beside it: nothing is guessed.
            QCOMPARE(r.outputs[o].findings.size(), std::size_t(3));
        } else {
            QCOMPARE(int(format->verdict), int(o == 1 ? Verdict::WontShow : Verdict::Fine));
        }
    }
    // The input findings name the port the status speaks for.
    const char expectedPort = described < 0 ? ports[0].toLatin1() : ports[described].toLatin1();
    QVERIFY(QString::fromStdString(r.inputFindings.front().sentence)
                .contains(QString("input ") + expectedPort));
}

void ChainTest::cutEdid() {
    // The base block announces three extensions; the device hands over one.
    chain::ChainData d = hdrSource();
    Bytes cut = display({{"name", "BIG"}, {"add-vic", "16"}, {"max-tmds", "300"}});
    cut[126] = 3;
    cut[127] = static_cast<std::uint8_t>(cut[127] - 2); // checksum kept right
    d.displays[1] = {chain::DisplayState::Read, cut};
    const chain::ChainReport r = chain::checkChain(d);
    const chain::OutputReport& bot = r.outputs[1];
    QCOMPARE(bot.display, std::string("BIG"));
    const chain::Finding* shown = findingOf(bot, "display");
    QVERIFY(shown && QString::fromStdString(shown->sentence).contains("2 blocks were not seen"));
    // Not in what was seen: unknown, never "won't show".
    const chain::Finding* format = findingOf(bot, "format");
    QCOMPARE(int(format->verdict), int(Verdict::Unknown));
    QVERIFY(QString::fromStdString(format->sentence).contains("not seen"));
    const chain::Finding* hdr = findingOf(bot, "hdr");
    QCOMPARE(int(hdr->verdict), int(Verdict::Unknown));
    // A limit it did give stands: 594 MHz over its 300 MHz is decided.
    QCOMPARE(int(findingOf(bot, "bandwidth")->verdict), int(Verdict::WontShow));
    // What was seen decides what it lists.
    d.input.vic = d.input.statusCode = 16;
    d.input.formatName = "1920x1080p60";
    d.input.linkMode = 0;
    QCOMPARE(int(findingOf(chain::checkChain(d).outputs[1], "format")->verdict),
             int(Verdict::Fine));
    // Extension count 0: whatever fills the second half is not read as a block.
    Bytes single = display({{"name", "MON"}, {"preferred", "16"}});
    std::fill(single.begin() + 128, single.end(), 0);
    single[128] = 0x02; // would parse as a CTA block announcing nothing
    single[126] = 0;
    d.displays[0] = {chain::DisplayState::Read, single};
    const chain::ChainReport one = chain::checkChain(d);
    QCOMPARE(int(findingOf(one.outputs[0], "format")->verdict), int(Verdict::Fine));
    QCOMPARE(int(findingOf(one.outputs[0], "display")->verdict), int(Verdict::Fine));
}

void ChainTest::dviSource() {
    // DVI with AVI bytes left over from an HDMI source: YCbCr 4:4:4, BT.2020.
    Replies r;
    const QByteArray bytes = QByteArray::fromHex("1000006000000000"
                                                 "40c060"
                                                 "0000");
    std::copy(bytes.begin(), bytes.end(), r.input + 2);
    r.input[3] = 0x10; // the same bytes from an HDMI source would be YCbCr
    QCOMPARE(int(chain::inputFromStatus(r.input, r.product, r.hdr).encoding),
             int(chain::Encoding::Ycc444));
    r.input[3] = 0x00;
    chain::ChainData d = hdrSource();
    d.input = chain::inputFromStatus(r.input, r.product, r.hdr);
    // A monitor that declares neither YCbCr nor BT.2020 nor HDR.
    d.displays[0] = {chain::DisplayState::Read, display({{"name", "MON"}, {"preferred", "16"}})};
    const chain::ChainReport report = chain::checkChain(d);
    QCOMPARE(report.inputFindings.size(), std::size_t(2));
    QVERIFY(QString::fromStdString(report.inputFindings[0].sentence).contains("over DVI in RGB"));
    QVERIFY(QString::fromStdString(report.inputFindings[1].sentence).contains("no audio"));
    QCOMPARE(int(report.outputs[0].verdict), int(Verdict::Fine));
    QCOMPARE(int(findingOf(report.outputs[0], "colour")->verdict), int(Verdict::Fine));
    QCOMPARE(int(findingOf(report.outputs[0], "hdr")->verdict), int(Verdict::Fine));
    QVERIFY(chain::chainFine(report));
}

void ChainTest::jsonKeepsEveryKeyOneType() {
    // Reports as different as they come: each key keeps one type in all of them.
    std::map<QString, QJsonValue::Type> types;
    const std::function<void(const QJsonValue&, const QString&)> walk = [&](const QJsonValue& v,
                                                                            const QString& path) {
        if (v.isObject()) {
            const QJsonObject o = v.toObject();
            for (auto it = o.begin(); it != o.end(); ++it)
                walk(it.value(), path + "." + it.key());
        }
        const QJsonArray a = v.toArray();
        if (v.isArray())
            for (const QJsonValue& item : a)
                walk(item, path + "[]");
        const auto [at, added] = types.emplace(path, v.type());
        QVERIFY2(at->second == v.type(), qPrintable(path));
    };
    chain::ChainData matrix = hdrSource();
    setSetting(matrix, settings::kActiveInput, 4);
    chain::ChainData none = sdrSource();
    none.settingsKnown = false;
    none.input.hdmi = false;
    none.displays[0] = {chain::DisplayState::NoDisplay, {}};
    none.displays[1] = {chain::DisplayState::NotRead, {}};
    for (const chain::ChainData& d : {hdrSource(), matrix, none}) {
        const QJsonObject json = chain::chainJson(chain::checkChain(d));
        walk(json, "");
        QCOMPARE(json["outputs"].toArray().size(), 2);
    }
    const QJsonObject json = chain::chainJson(chain::checkChain(matrix));
    QCOMPARE(json["outputs"][0]["port"].toString(), QString("B"));
    QCOMPARE(json["outputs"][1]["verdict"].toString(), QString("unknown"));
    QCOMPARE(json["input"]["encoding"].toString(), QString("444"));
    QCOMPARE(json["input"]["colorimetry"].toString(), QString("bt2020ycc"));
    QCOMPARE(json["input"]["eotf"].toString(), QString("pq"));
    QCOMPARE(json["input"]["linkMode"].toString(), QString("600MHz"));
}

void ChainTest::linesNameFormatsAndSettings() {
    chain::ChainData d = withDisplay(hdrSource(), 1, {{"name", "PJ"}, {"add-vic", "16"}});
    const chain::ChainReport r = chain::checkChain(d);
    const std::vector<std::string> lines = chain::chainLines(r);
    const auto has = [&](const std::string& text) {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l == text; });
    };
    QVERIFY(has("TOP (TX A, input A): TV: fine"));
    QVERIFY(has("BOT (TX B, input A): PJ: won't show"));
    QVERIFY(has("  won't show PJ does not list 3840x2160p60."));
    QVERIFY(has("             try: korvanta set hdr=off, which also takes HDR from TOP's TV"));
    QCOMPARE(chain::chainSummaryLines(r),
             (std::vector<std::string>{"Chain TOP: fine, TV", "Chain BOT: won't show, PJ"}));
}

void ChainTest::readsFromTheDevice() {
    TestPlatform p;
    p.openDirectly();
    SilentReporter reporter;
    // A display that is not there, and one whose EDID says more follows.
    p.device().displayConnected[1] = false;
    EdidImage cut = p.device().displayEdid[0];
    cut[126] = 2;
    cut[127] = static_cast<std::uint8_t>(cut[127] - 1);
    p.device().displayEdid[0] = cut;
    chain::ChainData d;
    QCOMPARE(session::readChainData(reporter, &d, true), session::ChainRead::Ok);
    QVERIFY(d.settingsKnown);
    QCOMPARE(int(d.settings[0]), 1); // input A
    QCOMPARE(d.input.vic, 97);
    QCOMPARE(int(d.displays[0].state), int(chain::DisplayState::Read));
    QCOMPARE(d.displays[0].edid, Bytes(cut.begin(), cut.end()));
    QCOMPARE(int(d.displays[1].state), int(chain::DisplayState::NoDisplay));
    QVERIFY(reporter.said.empty());
    const chain::ChainReport r = chain::checkChain(d);
    QCOMPARE(int(r.outputs[1].verdict), int(Verdict::NoDisplay));
    QVERIFY(QString::fromStdString(findingOf(r.outputs[0], "display")->sentence)
                .contains("1 block was not seen"));

    // The status-only refresh keeps the displays as they were.
    const std::size_t before = p.requests().size();
    p.device().sources[0].videoFormat = 16;
    QCOMPARE(session::readChainData(reporter, &d, false), session::ChainRead::Ok);
    QCOMPARE(d.input.vic, 16);
    QCOMPARE(int(d.displays[0].state), int(chain::DisplayState::Read));
    QCOMPARE(int(d.displays[1].state), int(chain::DisplayState::NoDisplay));
    for (std::size_t i = before; i < p.requests().size(); ++i)
        QVERIFY(p.requests()[i].size() < 3 ||
                (p.requests()[i][2] != 0xB5 && p.requests()[i][2] != 0xB6));
}

void ChainTest::failingDevice_data() {
    QTest::addColumn<QString>("faults");
    QTest::addColumn<int>("read");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("bot");
    const int ok = int(session::ChainRead::Ok), failed = int(session::ChainRead::Failed);
    const int read = int(chain::DisplayState::Read), notRead = int(chain::DisplayState::NotRead),
              readFailed = int(chain::DisplayState::ReadFailed);
    QTest::newRow("silent") << "silent" << failed << notRead << notRead;
    QTest::newRow("BOT's staging refused: TOP still read")
        << "refuse=B6" << ok << read << readFailed;
    QTest::newRow("chunks refused: both fail") << "refuse=B0" << ok << readFailed << readFailed;
    QTest::newRow("silent after the status and settings")
        << "silent,after=7" << ok << readFailed << readFailed;
}

void ChainTest::failingDevice() {
    QFETCH(QString, faults);
    TestPlatform p;
    SimFaults f;
    std::string complaint;
    QVERIFY(parseSimFaults(faults.toStdString(), &f, &complaint));
    applySimFaults(f, &p.usb);
    p.openDirectly();
    SilentReporter reporter;
    chain::ChainData d;
    QTEST(int(session::readChainData(reporter, &d, true)), "read");
    QTEST(int(d.displays[0].state), "top");
    QTEST(int(d.displays[1].state), "bot");
    QVERIFY(!reporter.said.empty());
    // A display the device failed to hand over is never taken for a missing one.
    const chain::ChainReport r = chain::checkChain(d);
    for (const chain::OutputReport& o : r.outputs)
        QVERIFY(o.verdict != Verdict::NoDisplay);
}

QTEST_GUILESS_MAIN(ChainTest)
#include "tst_core_chain.moc"
