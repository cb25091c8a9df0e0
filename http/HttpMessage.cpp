#include "http/HttpMessage.h"

#include <algorithm>
#include <cctype>

namespace http {

namespace {

std::string trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

bool isToken(const std::string& s) {
    static const std::string extra = "!#$%&'*+-.^_`|~";
    return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) {
        return std::isalnum(c) || extra.find(char(c)) != std::string::npos;
    });
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::string Request::header(const std::string& name) const {
    for (const auto& [n, v] : headers)
        if (n == name)
            return v;
    return {};
}

bool Request::hasHeader(const std::string& name) const {
    return std::any_of(headers.begin(), headers.end(),
                       [&name](const auto& h) { return h.first == name; });
}

void RequestReader::reset() {
    request_ = {};
    headDone_ = false;
    bodyLength_ = 0;
    refusal_ = 0;
    reason_.clear();
}

RequestReader::State RequestReader::refuse(int status, std::string reason) {
    refusal_ = status;
    reason_ = std::move(reason);
    return State::Refused;
}

RequestReader::State RequestReader::feed(QByteArray& bytes) {
    if (refusal_)
        return State::Refused;
    if (!headDone_) {
        // Blank lines before a request are allowed, and skipped.
        while (bytes.startsWith("\r\n"))
            bytes.remove(0, 2);
        const qsizetype end = bytes.indexOf("\r\n\r\n");
        const qsizetype lineEnd = bytes.indexOf("\r\n");
        if (std::size_t(lineEnd < 0 ? bytes.size() : lineEnd) > limits_.requestLine)
            return refuse(414, "the request line is longer than " +
                                   std::to_string(limits_.requestLine) + " bytes");
        if (end < 0) {
            if (lineEnd >= 0 && std::size_t(bytes.size() - lineEnd) > limits_.headerBytes + 2)
                return refuse(431, "the headers are longer than " +
                                       std::to_string(limits_.headerBytes) + " bytes");
            return State::NeedMore;
        }
        if (std::size_t(end - lineEnd) > limits_.headerBytes + 2)
            return refuse(431, "the headers are longer than " +
                                   std::to_string(limits_.headerBytes) + " bytes");
        const QByteArray head = bytes.left(end);
        bytes.remove(0, end + 4);
        if (const State s = parseHead(head); s == State::Refused)
            return s;
        headDone_ = true;
    }
    if (std::size_t(bytes.size()) < bodyLength_)
        return State::NeedMore;
    request_.body = bytes.left(qsizetype(bodyLength_));
    bytes.remove(0, qsizetype(bodyLength_));
    return State::Complete;
}

RequestReader::State RequestReader::parseHead(const QByteArray& head) {
    const std::string text = head.toStdString();
    std::size_t lineEnd = text.find("\r\n");
    const std::string line = text.substr(0, lineEnd);
    const auto sp1 = line.find(' ');
    const auto sp2 = sp1 == std::string::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == std::string::npos || line.find(' ', sp2 + 1) != std::string::npos)
        return refuse(400, "the request line is not METHOD TARGET VERSION");
    request_.method = line.substr(0, sp1);
    request_.target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    const std::string version = line.substr(sp2 + 1);
    if (!isToken(request_.method))
        return refuse(400, "the method is not a word");
    if (version != "HTTP/1.1" && version != "HTTP/1.0")
        return refuse(505, "only HTTP/1.1 and HTTP/1.0 are spoken here");
    if (request_.target.empty() || request_.target[0] != '/')
        return refuse(400, "the target is not a path");
    const auto q = request_.target.find('?');
    bool ok = true;
    request_.path = percentDecode(request_.target.substr(0, q), false, &ok);
    if (!ok || request_.path.find('\0') != std::string::npos)
        return refuse(400, "the path does not decode");
    if (q != std::string::npos)
        request_.query = request_.target.substr(q + 1);

    int fields = 0;
    while (lineEnd != std::string::npos) {
        const std::size_t start = lineEnd + 2;
        lineEnd = text.find("\r\n", start);
        const std::string field =
            text.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
        if (++fields > limits_.headerFields)
            return refuse(431, "more than " + std::to_string(limits_.headerFields) + " headers");
        const auto colon = field.find(':');
        // Folded lines and names with spaces are how requests get smuggled.
        if (colon == std::string::npos || !isToken(field.substr(0, colon)))
            return refuse(400, "a header line is not NAME: VALUE");
        const std::string value = trimmed(field.substr(colon + 1));
        if (std::any_of(value.begin(), value.end(),
                        [](unsigned char c) { return (c < 0x20 && c != '\t') || c == 0x7f; }))
            return refuse(400, "a header holds control characters");
        request_.headers.emplace_back(lowered(field.substr(0, colon)), value);
    }

    if (request_.hasHeader("transfer-encoding"))
        return refuse(501, "chunked or encoded bodies are not taken; send Content-Length");
    int lengths = 0;
    for (const auto& [n, v] : request_.headers) {
        if (n != "content-length")
            continue;
        if (++lengths > 1 || v.empty() || v.size() > 12 ||
            !std::all_of(v.begin(), v.end(), [](unsigned char c) { return std::isdigit(c); }))
            return refuse(400, "Content-Length is not one number");
        bodyLength_ = std::stoull(v);
    }
    if (bodyLength_ > limits_.body)
        return refuse(413,
                      "the body is larger than " + std::to_string(limits_.body / 1024) + " KiB");
    if (!lengths && (request_.method == "POST" || request_.method == "PUT"))
        return refuse(411, "a " + request_.method + " needs Content-Length");
    const std::string connection = lowered(request_.header("connection"));
    request_.keepAlive = version == "HTTP/1.1" ? connection.find("close") == std::string::npos
                                               : connection.find("keep-alive") != std::string::npos;
    return State::NeedMore;
}

const char* reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 303:
        return "See Other";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 409:
        return "Conflict";
    case 411:
        return "Length Required";
    case 413:
        return "Content Too Large";
    case 414:
        return "URI Too Long";
    case 415:
        return "Unsupported Media Type";
    case 422:
        return "Unprocessable Content";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Unknown";
    }
}

QByteArray serialize(const Response& r) {
    QByteArray out =
        "HTTP/1.1 " + QByteArray::number(r.status) + ' ' + reasonPhrase(r.status) + "\r\n";
    const auto add = [&out](const std::string& name, const std::string& value) {
        out += QByteArray::fromStdString(name) + ": " + QByteArray::fromStdString(value) + "\r\n";
    };
    if (!r.contentType.empty())
        add("Content-Type", r.contentType);
    add("Content-Length", std::to_string(r.body.size()));
    // The page loads nothing from elsewhere, and nobody frames it.
    add("Content-Security-Policy", "default-src 'self'; img-src 'self' data:; "
                                   "frame-ancestors 'none'; base-uri 'none'; form-action 'none'");
    add("X-Content-Type-Options", "nosniff");
    add("Referrer-Policy", "no-referrer");
    add("X-Frame-Options", "DENY");
    for (const auto& [n, v] : r.headers)
        add(n, v);
    if (r.close)
        add("Connection", "close");
    out += "\r\n";
    out += r.body;
    return out;
}

Response errorResponse(int status, const std::string& message) {
    Response r;
    r.status = status;
    std::string escaped;
    for (const char c : message) {
        if (c == '"' || c == '\\')
            escaped += '\\';
        if (static_cast<unsigned char>(c) >= 0x20)
            escaped += c;
    }
    r.body = QByteArray::fromStdString("{\"error\":\"" + escaped + "\"}\n");
    r.headers.emplace_back("Cache-Control", "no-store");
    return r;
}

std::string percentDecode(const std::string& text, bool plusIsSpace, bool* ok) {
    std::string out;
    out.reserve(text.size());
    *ok = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%') {
            const bool room = i + 2 < text.size();
            const int hi = room ? hexValue(text[i + 1]) : -1;
            const int lo = room ? hexValue(text[i + 2]) : -1;
            if (hi < 0 || lo < 0) {
                *ok = false;
                return {};
            }
            out += char(hi * 16 + lo);
            i += 2;
        } else if (c == '+' && plusIsSpace)
            out += ' ';
        else
            out += c;
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> queryPairs(const std::string& query) {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::size_t start = 0;
    while (start <= query.size()) {
        auto end = query.find('&', start);
        if (end == std::string::npos)
            end = query.size();
        const std::string part = query.substr(start, end - start);
        if (!part.empty()) {
            const auto eq = part.find('=');
            bool okName = true, okValue = true;
            std::string name = percentDecode(part.substr(0, eq), true, &okName);
            std::string value = eq == std::string::npos
                                    ? std::string()
                                    : percentDecode(part.substr(eq + 1), true, &okValue);
            if (okName && okValue)
                pairs.emplace_back(std::move(name), std::move(value));
        }
        start = end + 1;
    }
    return pairs;
}

std::string lowered(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

std::string escapedForLog(const std::string& text, std::size_t max) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const char ch : text) {
        if (out.size() >= max) {
            out += "…";
            break;
        }
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c < 0x7f && c != '\\')
            out += ch;
        else {
            out += "\\x";
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    return out;
}

} // namespace http
