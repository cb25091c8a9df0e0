#include "service/RpcFrame.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include <cctype>
#include <cstring>

namespace service {

namespace {

constexpr int kMaxRequestBytes = kReplyBufferSize;

QByteArray line(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

bool validId(const QJsonValue& id) {
    return id.isString() || id.isDouble() || id.isNull();
}

Request invalid(const QJsonValue& id, int code, std::string text) {
    Request r;
    r.id = id;
    r.errorCode = code;
    r.error = std::move(text);
    return r;
}

const struct {
    TransactionFault fault;
    const char* name;
} kFaults[] = {
    {TransactionFault::None, "none"},
    {TransactionFault::NoDevice, "noDevice"},
    {TransactionFault::WriteFailed, "writeFailed"},
    {TransactionFault::QueueFailed, "queueFailed"},
    {TransactionFault::NoAnswer, "noAnswer"},
    {TransactionFault::ServiceGone, "serviceGone"},
    {TransactionFault::ReadFailed, "readFailed"},
    {TransactionFault::ShortReply, "shortReply"},
};

bool hexBytes(const QJsonValue& value, std::vector<std::uint8_t>* bytes, int maxBytes) {
    if (!value.isString())
        return false;
    const QByteArray text = value.toString().toLatin1();
    if (text.size() % 2 != 0 || text.size() > 2 * maxBytes)
        return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    const QByteArray raw = QByteArray::fromHex(text);
    bytes->assign(raw.begin(), raw.end());
    return true;
}

QString hexText(const std::uint8_t* bytes, std::size_t size) {
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(bytes), qsizetype(size)).toHex().toUpper());
}

} // namespace

bool LineSplitter::finish(Line* line) {
    const bool any = !discarding_ && !pending_.isEmpty();
    if (any)
        *line = Line{false, pending_};
    pending_.clear();
    discarding_ = false;
    return any;
}

void LineSplitter::feed(const char* data, qsizetype size, std::vector<Line>* lines) {
    qsizetype start = 0;
    while (start < size) {
        const char* newline =
            static_cast<const char*>(std::memchr(data + start, '\n', size - start));
        const qsizetype end = newline ? newline - data : size;
        const qsizetype piece = end - start;
        if (!discarding_) {
            if (pending_.size() + piece > kMaxLineBytes) {
                // Say so once, at the first byte too many, and keep nothing.
                lines->push_back({true, {}});
                pending_.clear();
                discarding_ = true;
            } else {
                pending_.append(data + start, piece);
            }
        }
        if (!newline)
            return;
        if (!discarding_)
            lines->push_back({false, pending_});
        pending_.clear();
        discarding_ = false;
        start = end + 1;
    }
}

namespace {

// The text of the top-level "id" member's value when it is a number: JSON's
// numbers have no size limit, and a client may compare its id as text.
QByteArray rawNumberId(const QByteArray& text) {
    int depth = 0;
    bool inString = false, escaped = false, key = false;
    qsizetype keyStart = 0;
    QByteArray lastKey;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"') {
                inString = false;
                if (key)
                    lastKey = text.mid(keyStart, i - keyStart);
            }
            continue;
        }
        if (c == '"') {
            inString = true;
            keyStart = i + 1;
            // A string at depth 1 right after '{' or ',' is a member's name.
            qsizetype j = i - 1;
            while (j >= 0 &&
                   (text[j] == ' ' || text[j] == '\t' || text[j] == '\r' || text[j] == '\n'))
                --j;
            key = depth == 1 && j >= 0 && (text[j] == '{' || text[j] == ',');
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            --depth;
        } else if (c == ':' && depth == 1 && lastKey == "id") {
            qsizetype start = i + 1, end = start;
            while (start < text.size() && (text[start] == ' ' || text[start] == '\t'))
                ++start;
            end = start;
            while (end < text.size() &&
                   (std::isdigit(static_cast<unsigned char>(text[end])) || text[end] == '-' ||
                    text[end] == '+' || text[end] == '.' || text[end] == 'e' || text[end] == 'E'))
                ++end;
            return text.mid(start, end - start);
        } else if (c == ',' && depth == 1) {
            lastKey.clear();
        }
    }
    return {};
}

// Writes `rawId` where the id stands; the line was built with a null id, and
// "id" is the first member of every result line and, after the error
// object (whose strings cannot hold an unescaped quote), of every error line.
QByteArray withRawId(QByteArray line, const QByteArray& rawId) {
    if (rawId.isEmpty())
        return line;
    const QByteArray placeholder = "\"id\":null";
    if (const qsizetype at = line.indexOf(placeholder); at >= 0)
        line.replace(at, placeholder.size(), "\"id\":" + rawId);
    return line;
}

} // namespace

Request parseRequest(const QByteArray& text) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError)
        return invalid(QJsonValue::Null, kParseError,
                       "not JSON: " + error.errorString().toStdString() + " at byte " +
                           std::to_string(error.offset));
    if (!doc.isObject())
        return invalid(QJsonValue::Null, kInvalidRequest,
                       "a request is one JSON object (batches are not taken)");
    const QJsonObject o = doc.object();
    const bool hasId = o.contains("id");
    const QJsonValue id = hasId ? o.value("id") : QJsonValue::Null;
    if (!validId(id))
        return invalid(QJsonValue::Null, kInvalidRequest,
                       "\"id\" must be a string, number or null");
    if (o.value("jsonrpc") != QJsonValue("2.0"))
        return invalid(id, kInvalidRequest, "\"jsonrpc\" must be \"2.0\"");
    if (!o.value("method").isString() || o.value("method").toString().isEmpty())
        return invalid(id, kInvalidRequest, "\"method\" must be a non-empty string");
    const QJsonValue params = o.value("params");
    if (!params.isUndefined() && !params.isObject())
        return invalid(id, kInvalidParams, "\"params\" must be an object");
    Request r;
    r.valid = true;
    r.notification = !hasId;
    r.id = id;
    if (id.isDouble())
        r.rawId = rawNumberId(text);
    r.method = o.value("method").toString().toStdString();
    r.params = params.toObject();
    return r;
}

Message parseMessage(const QByteArray& text) {
    Message m;
    const QJsonDocument doc = QJsonDocument::fromJson(text);
    if (!doc.isObject())
        return m;
    const QJsonObject o = doc.object();
    if (o.value("jsonrpc") != QJsonValue("2.0"))
        return m;
    if (o.value("method").isString() && !o.contains("id")) {
        m.kind = Message::Notification;
        m.method = o.value("method").toString().toStdString();
        m.params = o.value("params").toObject();
        return m;
    }
    m.id = o.value("id");
    if (o.contains("result")) {
        m.kind = Message::Result;
        m.result = o.value("result");
    } else if (o.value("error").isObject()) {
        const QJsonObject e = o.value("error").toObject();
        m.kind = Message::Error;
        m.errorCode = e.value("code").toInt();
        m.error = e.value("message").toString().toStdString();
    }
    return m;
}

QByteArray requestLine(const QJsonValue& id, const std::string& method, const QJsonObject& params) {
    return line({{"jsonrpc", "2.0"},
                 {"id", id},
                 {"method", QString::fromStdString(method)},
                 {"params", params}});
}

QByteArray resultLine(const QJsonValue& id, const QJsonValue& result, const QByteArray& rawId) {
    return withRawId(
        line({{"jsonrpc", "2.0"}, {"id", rawId.isEmpty() ? id : QJsonValue()}, {"result", result}}),
        rawId);
}

QByteArray errorLine(const QJsonValue& id, int code, const std::string& message,
                     const QByteArray& rawId) {
    return withRawId(line({{"jsonrpc", "2.0"},
                           {"id", rawId.isEmpty() ? id : QJsonValue()},
                           {"error", QJsonObject{{"code", code},
                                                 {"message", QString::fromStdString(message)}}}}),
                     rawId);
}

QByteArray notificationLine(const std::string& method, const QJsonObject& params) {
    return line(
        {{"jsonrpc", "2.0"}, {"method", QString::fromStdString(method)}, {"params", params}});
}

bool parseTransactParams(const QJsonObject& params, TransactParams* out, std::string* complaint) {
    TransactParams p;
    if (!hexBytes(params.value("request"), &p.request, kMaxRequestBytes) || p.request.empty()) {
        *complaint =
            "\"request\" must be 1 to " + std::to_string(kMaxRequestBytes) + " bytes as hex digits";
        return false;
    }
    const QJsonValue expected = params.value("expected");
    const double n = expected.toDouble(-1);
    if (!expected.isDouble() || n != int(n) || n < 0 || n > kReplyBufferSize) {
        *complaint =
            "\"expected\" must be a whole number from 0 to " + std::to_string(kReplyBufferSize);
        return false;
    }
    p.expected = int(n);
    *out = std::move(p);
    return true;
}

QJsonObject transactParams(const std::uint8_t* request, int length, int expected) {
    return {{"request", hexText(request, std::size_t(length))}, {"expected", expected}};
}

QJsonObject transactAnswerJson(const TransactAnswer& a) {
    return {{"result", a.result},
            {"reply", hexText(a.reply.data(), a.reply.size())},
            {"received", int(a.reply.size())},
            {"fault", faultName(a.fault)}};
}

bool parseTransactAnswer(const QJsonValue& value, TransactAnswer* out) {
    const QJsonObject o = value.toObject();
    TransactAnswer a;
    if (!o.value("result").isBool() || !hexBytes(o.value("reply"), &a.reply, kReplyBufferSize) ||
        !faultFromName(o.value("fault").toString(), &a.fault))
        return false;
    a.result = o.value("result").toBool();
    *out = std::move(a);
    return true;
}

const char* faultName(TransactionFault fault) {
    for (const auto& f : kFaults)
        if (f.fault == fault)
            return f.name;
    return "noAnswer";
}

bool faultFromName(const QString& name, TransactionFault* fault) {
    for (const auto& f : kFaults)
        if (name == QLatin1String(f.name)) {
            *fault = f.fault;
            return true;
        }
    return false;
}

} // namespace service
