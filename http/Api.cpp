#include "http/Api.h"

#include "decode/CecDecode.h"
#include "decode/EdidDecode.h"
#include "edid/EdidPresets.h"
#include "settings/SettingsMap.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace http {

namespace {

constexpr const char* kApi = "/api/v1";

const std::vector<std::string> kReading = {"get",        "status", "chain",     "edid.read",
                                           "edid.check", "backup", "scene.list"};
// Query words that stand for more than a string.
const std::vector<std::string> kFlags = {"chain", "forDevice", "dryRun", "force", "custom", "yes"};

Response json(int status, const QJsonObject& body) {
    Response r;
    r.status = status;
    r.body = QJsonDocument(body).toJson(QJsonDocument::Compact) + '\n';
    r.headers.emplace_back("Cache-Control", "no-store");
    return r;
}

Routed answer(Response r) {
    Routed routed;
    routed.answer = std::move(r);
    return routed;
}

struct PageFile {
    const char* path;
    const char* resource;
    const char* type;
};
const PageFile kPage[] = {
    {"/", ":/page/index.html", "text/html; charset=utf-8"},
    {"/index.html", ":/page/index.html", "text/html; charset=utf-8"},
    {"/app.js", ":/page/app.js", "text/javascript; charset=utf-8"},
    {"/style.css", ":/page/style.css", "text/css; charset=utf-8"},
    {"/icon.svg", ":/page/icon.svg", "image/svg+xml"},
};

Routed pageFile(const Request& request) {
    for (const PageFile& f : kPage) {
        if (request.path != f.path)
            continue;
        if (request.method != "GET" && request.method != "HEAD")
            return answer(errorResponse(405, "the page is read with GET"));
        QFile file(f.resource);
        if (!file.open(QIODevice::ReadOnly))
            return answer(errorResponse(500, std::string("the page's ") + f.path + " is missing"));
        Response r;
        r.contentType = f.type;
        r.body = file.readAll();
        r.headers.emplace_back("Cache-Control", "no-cache");
        return answer(std::move(r));
    }
    return answer(errorResponse(404, "nothing here; the page is at /, the API at /api/v1"));
}

bool parseBody(const Request& request, QJsonObject* params, Routed* refused) {
    if (request.body.trimmed().isEmpty())
        return true;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(request.body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        *refused =
            answer(errorResponse(400, "the body is not a JSON object" +
                                          (error.error != QJsonParseError::NoError
                                               ? ": " + error.errorString().toStdString() +
                                                     " at byte " + std::to_string(error.offset)
                                               : std::string())));
        return false;
    }
    *params = doc.object();
    return true;
}

QJsonObject queryParams(const Request& request) {
    QJsonObject params;
    for (const auto& [name, value] : queryPairs(request.query)) {
        const QString key = QString::fromStdString(name);
        if (name == "names") {
            QJsonArray names;
            for (const QString& n : QString::fromStdString(value).split(',', Qt::SkipEmptyParts))
                names.append(n.trimmed());
            params[key] = names;
        } else if (std::find(kFlags.begin(), kFlags.end(), name) != kFlags.end() &&
                   (value == "true" || value == "false" || value.empty()))
            params[key] = value != "false";
        else
            params[key] = QString::fromStdString(value);
    }
    return params;
}

QJsonObject settingsTable() {
    QJsonArray list;
    for (const settings::Setting& s : settings::allSettings()) {
        if (!s.name)
            continue;
        QJsonArray words;
        for (const settings::ValueName& v : s.valueNames)
            words.append(QJsonObject{{"value", v.value}, {"word", v.name}});
        const bool onOff = s.valueNames.empty() && s.kind != settings::Kind::List;
        list.append(
            QJsonObject{{"name", s.name},
                        {"summary", s.summary ? s.summary : ""},
                        {"values", onOff ? QJsonArray{QJsonObject{{"value", 1}, {"word", "on"}},
                                                      QJsonObject{{"value", 0}, {"word", "off"}}}
                                         : words}});
    }
    return {{"settings", list}};
}

QJsonObject presetList() {
    QJsonArray list;
    for (const edid::PresetInfo& p : edid::listPresets())
        list.append(QJsonObject{
            {"id", p.id}, {"name", p.name}, {"description", p.description}, {"user", p.user}});
    return {{"presets", list}};
}

// Colon-hex or plain hex digits, as the socket's methods take them.
bool hexBytes(const QString& text, std::vector<std::uint8_t>* bytes) {
    QString digits = text;
    digits.remove(':').remove(' ').remove('\n').remove('\r').remove('\t');
    if (digits.isEmpty() || digits.size() % 2 ||
        !std::all_of(digits.begin(), digits.end(), [](QChar c) { return isxdigit(c.unicode()); }))
        return false;
    const QByteArray raw = QByteArray::fromHex(digits.toLatin1());
    bytes->assign(raw.begin(), raw.end());
    return true;
}

Routed decoded(const std::string& what, const QJsonObject& params) {
    const QString hex = params.value("hex").toString();
    if (what == "cec") {
        if (hex.isEmpty())
            return answer(errorResponse(400, "decode/cec needs \"hex\", the message as colon-hex"));
        const decode::Decoded d = decode::decodeCecText(hex.toStdString());
        return answer(json(200, {{"text", QString::fromStdString(decode::renderText(d))},
                                 {"decoded", decode::renderJson(d)}}));
    }
    std::vector<std::uint8_t> bytes;
    if (!hexBytes(hex, &bytes) || bytes.size() > 512)
        return answer(
            errorResponse(400, "decode/edid needs \"hex\", the EDID's bytes as hex digits"));
    const decode::Decoded d = decode::decodeEdid(bytes);
    return answer(json(200, {{"text", QString::fromStdString(decode::renderText(d))},
                             {"decoded", decode::renderJson(d)}}));
}

} // namespace

bool readsOnly(const std::string& method, const QJsonObject& params) {
    if (std::find(kReading.begin(), kReading.end(), method) != kReading.end())
        return true;
    return (method == "restore" || method == "scene.recall") &&
           params.value("dryRun").toBool(false);
}

Routed route(const Request& request, const ApiContext& context) {
    const std::string& path = request.path;
    if (path.rfind(kApi, 0) != 0 || (path.size() > 7 && path[7] != '/'))
        return pageFile(request);
    const std::string rest = path.size() > 8 ? path.substr(8) : std::string();
    const bool get = request.method == "GET" || request.method == "HEAD";
    const bool post = request.method == "POST";
    if (!get && !post)
        return answer(errorResponse(405, "the API takes GET and POST"));

    if (rest.empty()) {
        QJsonObject hello = context.hello;
        hello["readOnly"] = context.readOnly;
        QJsonArray methods;
        for (const std::string& m : context.methods)
            methods.append(QString::fromStdString(m));
        hello["methods"] = methods;
        return answer(json(200, hello));
    }
    if (rest == "state")
        return answer(json(200, context.state));
    if (rest == "events") {
        if (request.method != "GET")
            return answer(errorResponse(405, "the event stream is read with GET"));
        Routed r;
        r.kind = Routed::Kind::Events;
        return r;
    }
    if (rest == "settings/table")
        return answer(json(200, settingsTable()));
    if (rest == "edid/presets")
        return answer(json(200, presetList()));

    QJsonObject params;
    Routed refused;
    if (post && !parseBody(request, &params, &refused))
        return refused;
    if (get)
        params = queryParams(request);
    if (rest == "decode/edid" || rest == "decode/cec")
        return decoded(rest.substr(7), params);

    if (std::find(context.methods.begin(), context.methods.end(), rest) == context.methods.end())
        return answer(errorResponse(404, "no method \"" + rest + "\"; GET /api/v1 lists them"));
    const bool reading = readsOnly(rest, params);
    if (get && !reading)
        return answer(errorResponse(405, rest + " changes the device: send it as a POST"));
    if (context.readOnly && !reading)
        return answer(errorResponse(403, "this service is read-only (--http-read-only)"));
    Routed r;
    r.kind = Routed::Kind::Method;
    r.method = rest;
    r.params = params;
    return r;
}

Response methodResponse(const service::MethodResult& result) {
    if (!result.known)
        return errorResponse(404, "no such method");
    QJsonObject body{{"exitCode", result.exitCode}, {"output", result.output}};
    if (!result.message.empty())
        body["message"] = QString::fromStdString(result.message);
    // 0 done and 3 findings are answers; 2 is the request's fault, 1 the device's.
    const int status = result.exitCode == 2 ? 400 : result.exitCode == 1 ? 502 : 200;
    return json(status, body);
}

} // namespace http
