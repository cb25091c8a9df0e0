#pragma once

#include <QByteArray>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// HTTP/1.1 requests read within fixed bounds, and responses written. Nothing
// here touches a socket: bytes in, a request or a refusal out.
namespace http {

struct Limits {
    std::size_t requestLine = 8 * 1024;
    std::size_t headerBytes = 16 * 1024;
    int headerFields = 64;
    std::size_t body = 64 * 1024;
};

struct Request {
    std::string method;
    std::string target;                                       // as sent: path and query
    std::string path;                                         // percent-decoded, without the query
    std::string query;                                        // raw, after '?'
    std::vector<std::pair<std::string, std::string>> headers; // names lower-case
    QByteArray body;
    bool keepAlive = true;

    // The first header of that (lower-case) name, or empty.
    std::string header(const std::string& name) const;
    bool hasHeader(const std::string& name) const;
};

// Feeds bytes in as they come; a request is complete once its body is in.
// A refusal carries the status to answer with, after which the connection
// closes: the rest of the stream can no longer be trusted to frame.
class RequestReader {
public:
    enum class State { NeedMore, Complete, Refused };

    explicit RequestReader(Limits limits = {}) : limits_(limits) {}

    // Takes what it needs from `bytes` (the rest stays there for the next
    // request on the connection).
    State feed(QByteArray& bytes);
    const Request& request() const { return request_; }
    int refusalStatus() const { return refusal_; }
    const std::string& refusalReason() const { return reason_; }
    // Ready for the connection's next request.
    void reset();

private:
    State refuse(int status, std::string reason);
    State parseHead(const QByteArray& head);

    Limits limits_;
    Request request_;
    bool headDone_ = false;
    std::size_t bodyLength_ = 0;
    int refusal_ = 0;
    std::string reason_;
};

struct Response {
    int status = 200;
    std::string contentType = "application/json";
    QByteArray body;
    std::vector<std::pair<std::string, std::string>> headers;
    bool close = false;
};

const char* reasonPhrase(int status);
// The whole response as bytes, with the headers every answer carries.
QByteArray serialize(const Response& response);
// A JSON body {"error": message} with that status.
Response errorResponse(int status, const std::string& message);

std::string percentDecode(const std::string& text, bool plusIsSpace, bool* ok);
// name=value pairs of a query string, decoded; a pair that does not decode
// is left out.
std::vector<std::pair<std::string, std::string>> queryPairs(const std::string& query);
std::string lowered(std::string text);
// For logs: printable ASCII only, cut to `max` characters.
std::string escapedForLog(const std::string& text, std::size_t max = 120);

} // namespace http
