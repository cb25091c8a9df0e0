// The report as JSON and as lines of text.
#include "chain/SignalChain.h"

#include <QJsonArray>

namespace chain {

namespace {

// JSON words, the same as the simulated device's staging keys use.
const char* encodingKey(Encoding e) {
    switch (e) {
    case Encoding::Ycc422:
        return "422";
    case Encoding::Ycc444:
        return "444";
    case Encoding::Ycc420:
        return "420";
    default:
        return "rgb";
    }
}

const char* colorimetryKey(Colorimetry c) {
    switch (c) {
    case Colorimetry::None:
        return "none";
    case Colorimetry::Bt601:
        return "bt601";
    case Colorimetry::Bt709:
        return "bt709";
    case Colorimetry::Bt2020Rgb:
        return "bt2020rgb";
    case Colorimetry::Bt2020Ycc:
        return "bt2020ycc";
    case Colorimetry::Bt2020cYcc:
        return "bt2020cycc";
    case Colorimetry::XvYcc601:
        return "xvycc601";
    case Colorimetry::XvYcc709:
        return "xvycc709";
    case Colorimetry::SYcc601:
        return "sycc601";
    case Colorimetry::OpYcc601:
        return "opycc601";
    case Colorimetry::OpRgb:
        return "oprgb";
    case Colorimetry::Other:
        return "reserved";
    }
    return "";
}

const char* eotfKey(Eotf e) {
    switch (e) {
    case Eotf::None:
        return "none";
    case Eotf::Sdr:
        return "sdr";
    case Eotf::HdrGamma:
        return "hdr";
    case Eotf::Pq:
        return "pq";
    case Eotf::Hlg:
        return "hlg";
    }
    return "";
}

const char* linkModeKey(int mode) {
    switch (mode) {
    case 1:
        return "420-10bit";
    case 2:
        return "600MHz";
    default:
        return "none";
    }
}

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QJsonArray findingsJson(const std::vector<Finding>& findings) {
    QJsonArray out;
    for (const Finding& f : findings)
        out.append(QJsonObject{{"check", qs(f.check)},
                               {"verdict", verdictKey(f.verdict)},
                               {"sentence", qs(f.sentence)},
                               {"setting", qs(f.setting)},
                               {"value", qs(f.value)},
                               {"also", qs(f.also)}});
    return out;
}

std::string padded(const char* word, std::size_t width) {
    std::string s = word;
    s.resize(std::max(width, s.size()), ' ');
    return s;
}

std::string outputHeading(const OutputReport& o) {
    std::string s = o.name + " (" + o.link;
    if (o.port)
        s += std::string(", input ") + o.port;
    s += ")";
    if (!o.display.empty())
        s += ": " + o.display;
    return s;
}

} // namespace

QJsonObject chainJson(const ChainReport& report) {
    const Input& in = report.input;
    QJsonObject input{{"code", in.statusCode},
                      {"vic", in.vic},
                      {"format", qs(in.formatName)},
                      {"hdmi", in.hdmi},
                      {"linkMode", linkModeKey(in.linkMode)},
                      {"encoding", encodingKey(in.encoding)},
                      {"colorimetry", colorimetryKey(in.colorimetry)},
                      {"eotf", eotfKey(in.eotf)},
                      {"maxCll", in.maxCll},
                      {"maxFall", in.maxFall},
                      {"vendor", qs(in.vendor)},
                      {"product", qs(in.product)},
                      {"findings", findingsJson(report.inputFindings)}};
    QJsonArray outputs;
    for (const OutputReport& o : report.outputs)
        outputs.append(QJsonObject{{"name", qs(o.name)},
                                   {"link", qs(o.link)},
                                   {"active", o.active},
                                   {"port", o.port ? QString(QChar(o.port)) : QString()},
                                   {"described", o.described},
                                   {"to420", o.to420},
                                   {"display", qs(o.display)},
                                   {"verdict", verdictKey(o.verdict)},
                                   {"findings", findingsJson(o.findings)}});
    return QJsonObject{{"fine", chainFine(report)}, {"input", input}, {"outputs", outputs}};
}

std::vector<std::string> chainLines(const ChainReport& report) {
    constexpr std::size_t kVerdictWidth = 11;
    std::vector<std::string> lines;
    auto findingLines = [&](const std::vector<Finding>& findings) {
        for (const Finding& f : findings) {
            lines.push_back("  " + padded(verdictText(f.verdict), kVerdictWidth) + f.sentence);
            if (!f.setting.empty())
                lines.push_back("  " + padded("", kVerdictWidth) + "try: korvanta set " +
                                f.setting + "=" + f.value +
                                (f.also.empty() ? "" : ", which " + f.also));
        }
    };
    lines.push_back("Input:");
    findingLines(report.inputFindings);
    for (const OutputReport& o : report.outputs) {
        lines.push_back(outputHeading(o) + ": " + verdictText(o.verdict));
        findingLines(o.findings);
    }
    return lines;
}

std::vector<std::string> chainSummaryLines(const ChainReport& report) {
    std::vector<std::string> lines;
    for (const OutputReport& o : report.outputs)
        lines.push_back("Chain " + o.name + ": " + verdictText(o.verdict) +
                        (o.display.empty() ? "" : ", " + o.display));
    return lines;
}

} // namespace chain
