#include "service/CommandMethods.h"

#include "edid/EdidFile.h"
#include "ops/OpsJson.h"
#include "ops/SceneOps.h"
#include "settings/SettingsMap.h"

#include <QJsonArray>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <initializer_list>

namespace service {

namespace {

constexpr const char* kRestoredName = "the backup document";
constexpr const char* kPresetPrefix = "preset:";
constexpr int kUsage = ops::kExitUsage;
constexpr int kFindings = ops::kExitFindings;

using EdidBlocks = std::vector<std::uint8_t>;

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

// A method's params, read as strictly as the command line reads its words: a
// param the method does not take or of the wrong JSON type is a usage error,
// said before anything is sent.
class Params {
public:
    Params(const std::string& method, const QJsonObject& params, ops::Reporter& reporter)
        : method_(method), params_(params), reporter_(reporter) {}

    bool only(std::initializer_list<const char*> names) const {
        for (auto it = params_.begin(); it != params_.end(); ++it) {
            const std::string key = it.key().toStdString();
            if (std::none_of(names.begin(), names.end(), [&](const char* n) { return key == n; })) {
                std::string taken;
                for (const char* n : names)
                    taken += std::string(taken.empty() ? "" : ", ") + n;
                return fail("takes no param \"" + key + "\"" +
                            (taken.empty() ? "; it takes none" : "; it takes " + taken));
            }
        }
        return true;
    }

    bool has(const char* name) const { return params_.contains(name); }

    bool text(const char* name, std::string* value, bool required = true) const {
        const QJsonValue v = params_.value(name);
        if (v.isUndefined())
            return !required || fail("needs \"" + std::string(name) + "\"");
        if (!v.isString())
            return fail("\"" + std::string(name) + "\" must be a string");
        *value = v.toString().toStdString();
        return true;
    }

    // One word of `words`, in any letter case; it comes back in lower case,
    // as the command line's own check gives it.
    bool word(const char* name, std::initializer_list<const char*> words, std::string* value,
              bool required = true) const {
        if (!text(name, value, required))
            return false;
        if (value->empty() && !has(name))
            return true;
        *value = lowered(*value);
        std::string listed;
        for (const char* w : words) {
            if (*value == w)
                return true;
            listed += std::string(listed.empty() ? "" : ", ") + w;
        }
        return fail("\"" + std::string(name) + "\" is \"" +
                    params_.value(name).toString().toStdString() + "\"; it is one of " + listed);
    }

    bool flag(const char* name, bool* value) const {
        const QJsonValue v = params_.value(name);
        if (v.isUndefined())
            return true;
        if (!v.isBool())
            return fail("\"" + std::string(name) + "\" must be true or false");
        *value = v.toBool();
        return true;
    }

    bool texts(const char* name, std::vector<std::string>* values) const {
        const QJsonValue v = params_.value(name);
        if (v.isUndefined())
            return true;
        if (!v.isArray() || !allStrings(v.toArray()))
            return fail("\"" + std::string(name) + "\" must be a list of strings");
        for (const QJsonValue& item : v.toArray())
            values->push_back(item.toString().toStdString());
        return true;
    }

    // Exactly one of two params.
    bool oneOf(const char* a, const char* b) const {
        if (has(a) != has(b))
            return true;
        return fail("takes \"" + std::string(a) + "\" or \"" + b + "\"" +
                    (has(a) ? ", not both" : ""));
    }

    bool fail(const std::string& what) const {
        reporter_.complain(method_ + ": " + what);
        return false;
    }

    const QJsonObject& raw() const { return params_; }

private:
    static bool allStrings(const QJsonArray& array) {
        return std::all_of(array.begin(), array.end(),
                           [](const QJsonValue& v) { return v.isString(); });
    }

    std::string method_;
    const QJsonObject& params_;
    ops::Reporter& reporter_;
};

// EDID bytes as a client sends them: two hex digits a byte, white space
// allowed between bytes, so both `edid read`'s "edid" and its 16-a-line text
// come back as they went out. Whole 128-byte blocks, as files must be.
bool edidFromHex(const Params& p, const std::string& text, EdidBlocks* bytes) {
    std::string digits;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (std::isspace(c)) {
            if (digits.size() % 2)
                return p.fail("\"hex\" has a byte of one digit before character " +
                              std::to_string(i + 1));
            continue;
        }
        if (!std::isxdigit(c))
            return p.fail("\"hex\" is not hex: character " + std::to_string(i + 1) +
                          " is not a hex digit; give two hex digits a byte");
        digits += char(c);
    }
    if (digits.size() % 2)
        return p.fail("\"hex\" ends in a byte of one digit");
    const std::size_t size = digits.size() / 2;
    if (size == 0 || size % kEdidBlockSize || size > std::size_t(kEdidMaxFileSize))
        return p.fail("\"hex\" holds " + std::to_string(size) +
                      " bytes, not a whole number of 128-byte blocks up to 32 KiB");
    const QByteArray read = QByteArray::fromHex(QByteArray::fromStdString(digits));
    bytes->assign(read.begin(), read.end());
    return true;
}

// `source` names an EDID the service can reach itself; a path would name a
// file of the service's user, never the client's.
bool reachableSource(const Params& p, const std::string& source) {
    if (ops::isEdidSourceName(source) || source.starts_with(kPresetPrefix))
        return true;
    return p.fail("\"source\" is \"" + source +
                  "\"; the service reads no files: give device, top, bot or preset:NAME, or the "
                  "EDID itself as \"hex\"");
}

// A setting's value as `set` takes it: text, or a whole number for its code.
bool valueText(const Params& p, const QString& name, const QJsonValue& v, std::string* text) {
    if (v.isString()) {
        *text = v.toString().toStdString();
        return true;
    }
    if (v.isDouble() && std::trunc(v.toDouble()) == v.toDouble()) {
        *text = std::to_string(v.toInteger());
        return true;
    }
    return p.fail("the value of \"" + name.toStdString() +
                  "\" must be a string (or a whole "
                  "number for its code)");
}

// {"input": "b"} or ["input=b"]. An object has no order, so its pairs go in
// the settings table's order, as restore writes them: the EDID mode before
// its preset.
bool settingPairs(const Params& p, std::vector<std::string>* pairs) {
    const QJsonValue v = p.raw().value("values");
    if (v.isUndefined())
        return p.fail("needs \"values\"");
    if (v.isArray()) {
        if (!p.texts("values", pairs))
            return false;
    } else if (v.isObject()) {
        const QJsonObject values = v.toObject();
        std::vector<std::pair<std::ptrdiff_t, std::string>> ordered;
        const auto table = settings::allSettings();
        for (auto it = values.begin(); it != values.end(); ++it) {
            std::string text;
            if (!valueText(p, it.key(), it.value(), &text))
                return false;
            const settings::Setting* s = settings::byName(it.key().toStdString());
            // Unknown names first: the command's own check names them.
            const std::ptrdiff_t at = s ? s - table.data() : -1;
            ordered.emplace_back(at, it.key().toStdString() + "=" + text);
        }
        std::stable_sort(ordered.begin(), ordered.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (auto& [at, pair] : ordered)
            pairs->push_back(std::move(pair));
    } else {
        return p.fail("\"values\" must be an object of NAME: VALUE or a list of \"NAME=VALUE\"");
    }
    return !pairs->empty() || p.fail("\"values\" names no setting");
}

template <typename Result> int rendered(const Result& r, QJsonObject* body) {
    *body = ops::toJson(r);
    return ops::exitCode(r.error);
}

int get(const Params& p, ops::Device& device, ops::Reporter& reporter, QJsonObject* body) {
    ops::GetParams params;
    if (!p.only({"names"}) || !p.texts("names", &params.names))
        return kUsage;
    return rendered(ops::get(params, device, reporter), body);
}

int set(const Params& p, ops::Device& device, ops::Reporter& reporter, QJsonObject* body) {
    ops::SetParams params;
    if (!p.only({"values"}) || !settingPairs(p, &params.pairs))
        return kUsage;
    return rendered(ops::set(params, device, reporter), body);
}

int reset(const Params& p, ops::Device& device, ops::Reporter& reporter, QJsonObject* body) {
    ops::ResetParams params;
    if (!p.only({"what", "yes"}) || !p.word("what", {"settings", "edid", "all"}, &params.what) ||
        !p.flag("yes", &params.yes))
        return kUsage;
    return rendered(ops::reset(params, device, reporter), body);
}

int status(const Params& p, ops::Device& device, ops::Reporter& reporter, QJsonObject* body) {
    ops::StatusParams params;
    if (!p.only({"chain"}) || !p.flag("chain", &params.chain))
        return kUsage;
    return rendered(ops::status(params, device, reporter), body);
}

int chainCheck(const Params& p, ops::Device& device, ops::Reporter& reporter, QJsonObject* body) {
    if (!p.only({}))
        return kUsage;
    const ops::ChainResult r = ops::chainCheck(device, reporter);
    *body = ops::toJson(r);
    return r.findings() ? kFindings : ops::exitCode(r.error);
}

int edidRead(const Params& p, ops::Device& device, ops::Reporter& reporter, QJsonObject* body) {
    ops::EdidReadParams params;
    if (!p.only({"source"}) || !p.word("source", {"device", "top", "bot"}, &params.source))
        return kUsage;
    return rendered(ops::readEdid(params, device, reporter), body);
}

int edidWrite(const Params& p, ops::Device& device, ops::Reporter& reporter, QJsonObject* body) {
    ops::EdidWriteParams params;
    if (!p.only({"hex", "preset", "custom", "force"}) || !p.oneOf("hex", "preset") ||
        !p.flag("custom", &params.custom) || !p.flag("force", &params.force))
        return kUsage;
    std::string text;
    EdidBlocks blocks;
    if (p.has("hex")) {
        if (!p.text("hex", &text) || !edidFromHex(p, text, &blocks))
            return kUsage;
    } else if (!p.text("preset", &text) || ops::presetEdid(text, reporter, &blocks)) {
        return kUsage;
    }
    if (ops::edidFitsDevice(blocks.size(), reporter))
        return kUsage;
    std::copy(blocks.begin(), blocks.end(), params.image.begin());
    return rendered(ops::writeEdid(params, device, reporter), body);
}

int edidCheck(const Params& p, ops::Device& device, ops::Reporter& reporter, QJsonObject* body) {
    ops::EdidCheckParams params;
    if (!p.only({"source", "hex", "forDevice"}) || !p.oneOf("source", "hex") ||
        !p.flag("forDevice", &params.forDevice))
        return kUsage;
    std::string text;
    if (p.has("hex")) {
        if (!p.text("hex", &text) || !edidFromHex(p, text, &params.bytes))
            return kUsage;
    } else if (!p.text("source", &text) || !reachableSource(p, text)) {
        return kUsage;
    } else if (!ops::isEdidSourceName(text)) {
        if (ops::presetEdid(text.substr(std::string(kPresetPrefix).size()), reporter,
                            &params.bytes))
            return kUsage;
    } else {
        const ops::EdidReadResult read = ops::readEdid({text}, device, reporter);
        if (read.error)
            return ops::exitCode(read.error);
        params.bytes.assign(read.edid.begin(), read.edid.end());
        params.deviceImage = true;
    }
    const ops::EdidCheckResult r = ops::checkEdid(params);
    *body = ops::toJson(r);
    return r.failed() ? kFindings : ops::kExitDone;
}

int cecSend(const Params& p, ops::Device& device, ops::Reporter& reporter, QJsonObject* body) {
    ops::CecSendParams params;
    if (!p.only({"hex"}) || !p.text("hex", &params.text))
        return kUsage;
    return rendered(ops::cecSend(params, device, reporter), body);
}

int cecStore(const Params& p, ops::Device& device, ops::Reporter& reporter, QJsonObject* body) {
    ops::CecStoreParams params;
    if (!p.only({"button", "hex"}) || !p.word("button", {"sp", "lp"}, &params.button) ||
        !p.text("hex", &params.text))
        return kUsage;
    return rendered(ops::cecStore(params, device, reporter), body);
}

int infoFrameHdr(const Params& p, ops::Device& device, ops::Reporter& reporter, QJsonObject* body) {
    ops::InfoFrameParams params;
    if (!p.only({"hex", "force"}) || !p.text("hex", &params.text) ||
        !p.flag("force", &params.force))
        return kUsage;
    return rendered(ops::infoFrameHdr(params, device, reporter), body);
}

int infoFrameAvi(const Params& p, ops::Device& device, ops::Reporter& reporter, QJsonObject* body) {
    ops::InfoFrameParams params;
    if (!p.only({"hex", "persist", "force"}) || !p.text("hex", &params.text) ||
        !p.word("persist", {"on", "off"}, &params.persist, false) ||
        !p.flag("force", &params.force))
        return kUsage;
    return rendered(ops::infoFrameAvi(params, device, reporter), body);
}

// The document itself where korvanta names the file it saved.
int backup(const Params& p, ops::Device& device, ops::Reporter& reporter, QJsonObject* body) {
    if (!p.only({}))
        return kUsage;
    return rendered(ops::backup(device, reporter), body);
}

int restore(const Params& p, ops::Device& device, ops::Reporter& reporter, QJsonObject* body) {
    ops::RestoreParams params;
    if (!p.only({"backup", "dryRun", "force"}) || !p.flag("dryRun", &params.dryRun) ||
        !p.flag("force", &params.force))
        return kUsage;
    const QJsonValue document = p.raw().value("backup");
    if (!document.isObject()) {
        p.fail(document.isUndefined() ? "needs \"backup\", the document korvanta backup writes"
                                      : "\"backup\" must be an object, the document korvanta "
                                        "backup writes");
        return kUsage;
    }
    if (ops::parseBackup(document.toObject(), kRestoredName, reporter, &params.backup))
        return kUsage;
    const ops::RestoreResult r = ops::restore(params, device, reporter);
    *body = ops::toJson(r);
    return r.findings() ? kFindings : ops::exitCode(r.error);
}

// Scenes are the service user's, named: no path of a client's is opened.
int sceneList(const Params& p, ops::Device&, ops::Reporter& reporter, QJsonObject* body) {
    if (!p.only({}))
        return kUsage;
    int damaged = 0;
    *body = ops::sceneListJson(scene::Store(scene::Store::defaultFolder()), reporter, &damaged);
    return damaged ? ops::kExitDevice : ops::kExitDone;
}

int sceneRecall(const Params& p, ops::Device& device, ops::Reporter& reporter, QJsonObject* body) {
    ops::SceneRecallParams params;
    if (!p.only({"name", "dryRun", "force"}) || !p.text("name", &params.name) ||
        !p.flag("dryRun", &params.dryRun) || !p.flag("force", &params.force))
        return kUsage;
    const ops::SceneRecallResult r =
        ops::recallScene(params, scene::Store(scene::Store::defaultFolder()), device, reporter);
    if (r.error && !r.restore.error)
        return ops::exitCode(r.error);
    *body = ops::toJson(r.restore);
    (*body)["scene"] = QString::fromStdString(r.name);
    return r.findings() ? kFindings : ops::exitCode(r.error);
}

int sceneSave(const Params& p, ops::Device& device, ops::Reporter& reporter, QJsonObject* body) {
    ops::SceneSaveParams params;
    if (!p.only({"name", "only", "withEdid", "when", "replace"}) || !p.text("name", &params.name) ||
        !p.texts("only", &params.only) || !p.flag("withEdid", &params.withEdid) ||
        !p.flag("replace", &params.replace))
        return kUsage;
    const QJsonValue when = p.raw().value("when");
    std::string why;
    if (!when.isUndefined() &&
        (!when.isObject() || !scene::ruleFromJson(when.toObject(), &params.when, &why))) {
        p.fail(when.isObject() ? why : "\"when\" must be an object");
        return kUsage;
    }
    const ops::SceneSaveResult r =
        ops::saveScene(params, scene::Store(scene::Store::defaultFolder()), device, reporter);
    if (r.error)
        return ops::exitCode(r.error);
    *body = {{"scene", QString::fromStdString(params.name)},
             {"file", QString::fromStdString(r.file)}};
    return ops::kExitDone;
}

// A method: params in, the operation on the held device, its rendering out;
// what it says goes to the reporter, never to stderr.
using Run = int (*)(const Params&, ops::Device&, ops::Reporter&, QJsonObject* body);

struct Method {
    const char* name;
    Run run;
};

constexpr Method kMethods[] = {
    {"get", get},
    {"set", set},
    {"reset", reset},
    {"status", status},
    {"chain", chainCheck},
    {"edid.read", edidRead},
    {"edid.write", edidWrite},
    {"edid.check", edidCheck},
    {"cec.send", cecSend},
    {"cec.store", cecStore},
    {"infoframe.hdr", infoFrameHdr},
    {"infoframe.avi", infoFrameAvi},
    {"backup", backup},
    {"restore", restore},
    {"scene.list", sceneList},
    {"scene.recall", sceneRecall},
    {"scene.save", sceneSave},
};

MethodResult call(const std::string& name, const QJsonObject& params) {
    const auto method = std::find_if(std::begin(kMethods), std::end(kMethods),
                                     [&](const Method& m) { return name == m.name; });
    MethodResult result;
    if (method == std::end(kMethods)) {
        result.known = false;
        result.exitCode = kUsage;
        result.message = "korvanta: \"" + name + "\" is not a method\n";
        return result;
    }
    ops::Reporter reporter;
    ops::HeldDevice device(reporter);
    QJsonObject body;
    result.exitCode = method->run(Params(method->name, params, reporter), device, reporter, &body);
    result.output = ops::document(body, result.exitCode, reporter);
    result.message = reporter.stderrText();
    return result;
}

} // namespace

std::vector<std::string> methodNames() {
    std::vector<std::string> names;
    for (const Method& m : kMethods)
        names.emplace_back(m.name);
    return names;
}

MethodHandler makeMethodHandler() {
    return call;
}

MethodList makeMethodList() {
    return methodNames;
}

} // namespace service
