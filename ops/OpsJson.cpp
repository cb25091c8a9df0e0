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

constexpr const char* kCecButtonsNote =
    "The device cannot report the CEC messages stored on its SP and LP buttons, so a backup "
    "cannot hold them. Add them here as \"sp\": \"40:04\" and \"lp\": \"...\" (colon-hex) and "
    "restore stores them, as korvanta cec store does.";

QString hex(const std::uint8_t* bytes, int count) {
    return QByteArray(reinterpret_cast<const char*>(bytes), count).toHex().toUpper();
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

QJsonObject backupDocument(const BackupResult& r) {
    QJsonObject named;
    for (const settings::Setting& s : settings::allSettings())
        if (s.name)
            named[s.name] =
                QString::fromStdString(settings::valueWord(s, r.state.block[s.position]));
    QJsonObject doc{
        {"format", kBackupFormatName},
        {"formatVersion", kBackupFormatVersion},
        {"program", QStringLiteral("korvanta " KORVANTA_VERSION)},
        {"date", qs(r.date)},
        {"settings", named},
        {"block", hex(r.state.block.data(), kSettingsBlockSize)},
        {"infoFrames",
         QJsonObject{{"hdr", qs(storedHdrText(r.state))}, {"avi", qs(storedAviText(r.state))}}},
        {"cecButtons", QJsonObject{{"note", kCecButtonsNote}}},
    };
    if (r.edid)
        doc["edid"] = hex(r.edid->data(), kEdidSize);
    return doc;
}

QJsonObject toJson(const BackupResult& r) {
    if (r.error)
        return {};
    return {{"backup", backupDocument(r)}, {"withEdid", r.edid.has_value()}};
}

QJsonObject toJson(const RestoreResult& r) {
    QJsonObject json;
    if (r.settingsDone) {
        QJsonArray changed;
        for (const SettingChange& c : r.changed)
            changed.append(QJsonObject{{"name", c.setting->name},
                                       {"from", qs(settings::valueWord(*c.setting, c.from))},
                                       {"value", qs(settings::valueWord(*c.setting, c.to))}});
        json["changed"] = changed;
    }
    if (r.edid) {
        json["edidWritten"] = r.edid->written;
        if (r.edid->checked) {
            json["edidFailures"] = jsonStrings(r.edid->failures);
            json["edidRefused"] = r.edid->refused;
        }
        addVerify(r.edid->verify, &json);
    }
    if (!r.finished)
        return json;
    json["plan"] = jsonStrings(r.plan);
    if (r.dryRun) {
        QJsonArray requests;
        for (const auto& request : r.requests)
            requests.append(qs(hexBytes(request)));
        json["requests"] = requests;
    }
    return json;
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
