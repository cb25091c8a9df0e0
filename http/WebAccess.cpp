#include "http/WebAccess.h"

#include <algorithm>
#include <cctype>

namespace http {

namespace {

// "127.0.0.1:8080" → ("127.0.0.1", "8080"); "[::1]:80" → ("[::1]", "80").
void splitHost(const std::string& host, std::string* name, std::string* port) {
    const auto close = host.rfind(']');
    const auto colon = host.rfind(':');
    if (colon != std::string::npos && (close == std::string::npos || colon > close)) {
        *name = host.substr(0, colon);
        *port = host.substr(colon + 1);
    } else {
        *name = host;
        port->clear();
    }
}

std::string bracketed(const std::string& address) {
    return address.find(':') != std::string::npos && address.front() != '[' ? "[" + address + "]"
                                                                            : address;
}

} // namespace

bool hostAllowed(const std::string& host, const std::string& localAddress, bool loopbackConnection,
                 const AccessRules& rules) {
    std::string name, port;
    splitHost(lowered(host), &name, &port);
    if (name.empty())
        return false;
    if (port.empty() ? rules.port != 80 : port != std::to_string(rules.port))
        return false;
    if (name == bracketed(lowered(localAddress)))
        return true;
    if (loopbackConnection &&
        (name == "localhost" || name == "127.0.0.1" || name == "[::1]" || name == "localhost."))
        return true;
    return std::any_of(rules.hostNames.begin(), rules.hostNames.end(),
                       [&name](const std::string& n) { return lowered(n) == name; });
}

std::string writeRefusal(const Request& request, const std::string& scheme) {
    if (request.method != "POST")
        return "a change is made with POST";
    std::string type = lowered(request.header("content-type"));
    if (const auto semi = type.find(';'); semi != std::string::npos)
        type = type.substr(0, semi);
    type.erase(std::remove(type.begin(), type.end(), ' '), type.end());
    if (type != "application/json")
        return "a change is sent as Content-Type: application/json";
    if (request.hasHeader("origin")) {
        const std::string origin = lowered(request.header("origin"));
        if (origin != scheme + "://" + lowered(request.header("host")))
            return "a change from another site's page is refused";
    }
    return {};
}

std::string presentedToken(const Request& request, TokenSource* source) {
    *source = TokenSource::None;
    const std::string auth = request.header("authorization");
    if (lowered(auth.substr(0, 7)) == "bearer ") {
        *source = TokenSource::Bearer;
        return auth.substr(7);
    }
    for (const auto& [n, v] : request.headers) {
        if (n != "cookie")
            continue;
        std::size_t start = 0;
        while (start < v.size()) {
            auto end = v.find(';', start);
            if (end == std::string::npos)
                end = v.size();
            std::string part = v.substr(start, end - start);
            part.erase(0, part.find_first_not_of(' '));
            const std::string prefix = std::string(kTokenCookie) + "=";
            if (part.rfind(prefix, 0) == 0) {
                *source = TokenSource::Cookie;
                return part.substr(prefix.size());
            }
            start = end + 1;
        }
    }
    for (const auto& [n, v] : queryPairs(request.query))
        if (n == "token") {
            *source = TokenSource::Query;
            return v;
        }
    return {};
}

bool sameSecret(const std::string& a, const std::string& b) {
    unsigned diff = unsigned(a.size() ^ b.size());
    const std::size_t n = std::max(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = i < a.size() ? a[i] : 0;
        const unsigned char y = i < b.size() ? b[i] : 0;
        diff |= unsigned(x ^ y);
    }
    return diff == 0;
}

std::string tokenCookie(const std::string& token) {
    return std::string(kTokenCookie) + "=" + token +
           "; Path=/; HttpOnly; SameSite=Strict; Max-Age=31536000";
}

void FailureLimiter::failed(const std::string& address, std::int64_t nowMs) {
    constexpr std::size_t kRemembered = 1024;
    auto it = entries_.find(address);
    if (it == entries_.end()) {
        if (entries_.size() >= kRemembered) {
            const auto oldest = std::min_element(
                entries_.begin(), entries_.end(),
                [](const auto& x, const auto& y) { return x.second.since < y.second.since; });
            entries_.erase(oldest);
        }
        it = entries_.emplace(address, Entry{nowMs, 0}).first;
    }
    if (nowMs - it->second.since >= windowMs_)
        it->second = Entry{nowMs, 0};
    ++it->second.count;
}

bool FailureLimiter::blocked(const std::string& address, std::int64_t nowMs) const {
    const auto it = entries_.find(address);
    return it != entries_.end() && nowMs - it->second.since < windowMs_ && it->second.count >= max_;
}

} // namespace http
