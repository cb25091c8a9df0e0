#pragma once

#include "http/HttpMessage.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Who may use the page and the API, decided from a request alone: the Host
// that defeats DNS rebinding, the rules that keep other sites from writing,
// the token beyond loopback, and the brake on guessing it.
namespace http {

struct AccessRules {
    int port = 0;
    bool loopbackOnly = true;
    // Names a request's Host may carry besides the address it came in on
    // (the machine's name, NAME.local).
    std::vector<std::string> hostNames;
    std::string token; // empty: none asked for
};

// The Host header names this server: the address the connection came in on,
// one of the allowed names, or on a loopback connection localhost, each with
// the port (which may be left out only when it is 80).
bool hostAllowed(const std::string& host, const std::string& localAddress, bool loopbackConnection,
                 const AccessRules& rules);

// Empty when a request that changes something may go on; else why not.
// Such a request is a POST with a JSON body, and when the browser names the
// page it came from, that page is ours.
std::string writeRefusal(const Request& request, const std::string& scheme);

enum class TokenSource { None, Bearer, Cookie, Query };
// The token a request carries, and where: Authorization: Bearer, the
// korvanta_token cookie, or ?token= (only the page's first visit).
std::string presentedToken(const Request& request, TokenSource* source);
// Compares in time that depends on the lengths only.
bool sameSecret(const std::string& a, const std::string& b);

inline constexpr const char* kTokenCookie = "korvanta_token";
std::string tokenCookie(const std::string& token);

// Wrong tokens per address: after `maxFailures` in `windowMs` the address is
// turned away until the window has passed. Remembers a bounded number of
// addresses, forgetting the oldest.
class FailureLimiter {
public:
    FailureLimiter(int maxFailures = 10, std::int64_t windowMs = 60000)
        : max_(maxFailures), windowMs_(windowMs) {}
    void failed(const std::string& address, std::int64_t nowMs);
    bool blocked(const std::string& address, std::int64_t nowMs) const;

private:
    struct Entry {
        std::int64_t since = 0;
        int count = 0;
    };
    int max_;
    std::int64_t windowMs_;
    std::map<std::string, Entry> entries_;
};

} // namespace http
