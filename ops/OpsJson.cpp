#include "ops/OpsJson.h"

#include "cec/ColonHex.h"

#include <QJsonArray>

namespace ops {

namespace {

QString qs(const std::string& s) {
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

QJsonValue orNull(const std::string& s) {
    return s.empty() ? QJsonValue() : QJsonValue(qs(s));
}

} // namespace

QJsonObject settingsJson(const std::uint8_t* block) {
    QJsonObject words;
    QJsonObject numbers;
    for (const settings::Setting& s : settings::allSettings()) {
        if (!s.name)
            continue;
        words[s.name] = QString::fromStdString(settings::valueWord(s, block[s.position]));
        numbers[s.name] = block[s.position];
    }
    return {{"settings", words}, {"values", numbers}};
}

QJsonObject statusJson(const StatusReading& s) {
    const StatusFields& f = s.fields;
    const session::StatusHeader& h = s.header;
    QJsonArray outputs;
    for (const std::string& o : f.outputs)
        outputs.append(qs(o));
    QJsonObject json{
        {"lines", QJsonArray{qs(h.videoFormat), qs(h.colour), qs(h.source), qs(h.hdrInput)}},
        {"inputFormat", QJsonObject{{"code", f.formatCode}, {"name", qs(f.formatName)}}},
        {"hdmi", f.hdmi},
        {"linkMode", orNull(f.linkMode)},
        {"outputs", outputs},
        {"colourSpace", qs(f.colourSpace)},
        {"colorimetry", orNull(f.colorimetry)},
        {"source", QJsonObject{{"vendor", qs(f.vendor)}, {"product", qs(f.product)}}},
        {"hdrEotf", orNull(f.hdrEotf)},
        {"hdrInfoFrame", f.hdrInfoFrame.empty() ? QJsonValue()
                                                : qs(formatColonHex(f.hdrInfoFrame.data(),
                                                                    int(f.hdrInfoFrame.size())))},
    };
    if (s.hdrFrame)
        json["hdrInfoFrameDecoded"] = decode::renderJson(*s.hdrFrame);
    return json;
}

QJsonObject toJson(const GetResult& r) {
    if (r.error)
        return {};
    QJsonObject words;
    QJsonObject numbers;
    for (const settings::Setting* s : r.wanted) {
        words[s->name] = QString::fromStdString(settings::valueWord(*s, r.block[s->position]));
        numbers[s->name] = r.block[s->position];
    }
    return {{"settings", words}, {"values", numbers}};
}

QJsonObject toJson(const SetResult& r) {
    if (r.writes.empty())
        return {};
    QJsonArray done;
    for (const SetWrite& w : r.writes)
        done.append(QJsonObject{{"name", w.setting->name},
                                {"value", QString::fromStdString(w.word)},
                                {"sent", w.value},
                                {"accepted", w.accepted}});
    return {{"set", done}};
}

QJsonObject toJson(const ResetResult& r) {
    if (r.error)
        return {};
    return {{"reset", QString::fromStdString(r.what)}, {"sent", r.sent}};
}

QJsonObject toJson(const StatusResult& r) {
    if (r.error)
        return {};
    QJsonObject json{{"status", statusJson(r.status)}};
    if (r.chain)
        json["chain"] = chain::chainJson(*r.chain);
    return json;
}

QJsonObject toJson(const ChainResult& r) {
    if (r.error)
        return {};
    return {{"chain", chain::chainJson(r.report)}};
}

QJsonArray jsonStrings(const std::vector<std::string>& texts) {
    QJsonArray array;
    for (const std::string& t : texts)
        array.append(QString::fromStdString(t));
    return array;
}

QJsonObject toJson(const EdidReadResult& r) {
    if (r.error)
        return {};
    return {{"source", QString::fromStdString(r.source)},
            {"edid", edidHexText(r.edid).remove('\n').remove(' ')}};
}

void addVerify(const std::optional<EdidVerify>& verify, QJsonObject* json) {
    if (!verify)
        return;
    QJsonArray differing;
    for (int offset : verify->differingOffsets)
        differing.append(offset);
    (*json)["verified"] = verify->verified();
    (*json)["differingOffsets"] = differing;
}

QJsonObject toJson(const EdidWriteResult& r) {
    QJsonObject json{{"unreadBlocks", jsonStrings(r.unreadBlocks)}};
    addVerify(r.verify, &json);
    return json;
}

QJsonObject toJson(const EdidCheckResult& r) {
    QJsonArray found;
    for (const edid::Finding& f : r.findings)
        found.append(
            QJsonObject{{"kind", f.kind == edid::FindingKind::Failure ? "failure" : "note"},
                        {"text", QString::fromStdString(f.text)}});
    const edid::ReferenceCheck& ref = r.reference;
    return {{"findings", found},
            {"edidDecode", QJsonObject{{"available", ref.available},
                                       {"ran", ref.ran},
                                       {"findings", jsonStrings(ref.findings)}}},
            {"failed", r.failed()}};
}

QJsonObject toJson(const SentResult& r) {
    if (r.error)
        return {};
    return {{"sent", QString::fromStdString(r.sent)}};
}

QJsonObject document(const QJsonObject& body, int exitCode, const Reporter& reporter) {
    if (exitCode == kExitUsage)
        return {};
    QJsonObject doc = body;
    doc["ok"] = exitCode == kExitDone || exitCode == kExitFindings;
    QJsonArray errors;
    for (const std::string& text : reporter.errorTexts())
        errors.append(QString::fromStdString(text));
    doc["errors"] = errors;
    return doc;
}

} // namespace ops
