#pragma once

#include "link/UsbLink.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>

#include <cstdint>
#include <string>
#include <vector>

// The service's wire format: newline-delimited JSON-RPC 2.0. Pure: no
// sockets, so that the parser can be fuzzed and tested on its own.
namespace service {

constexpr int kProtocolVersion = 1;
// The longest request a client may send: room for the largest EDID a check
// takes (32 KiB as spaced hex), and low enough that the most clients the
// service takes, each with an unfinished line, cost little.
constexpr qsizetype kMaxLineBytes = qsizetype(256) << 10;

// JSON-RPC's own codes, and ours above -32000.
enum ErrorCode : int {
    kParseError = -32700,
    kInvalidRequest = -32600,
    kMethodNotFound = -32601,
    kInvalidParams = -32602,
    kInternalError = -32603,
    kRequestTooLarge = -32001,
    kTooManyClients = -32002,
};

// Cuts a byte stream into lines. A line longer than kMaxLineBytes is dropped
// up to its newline and comes out once as oversized, with no bytes.
class LineSplitter {
public:
    struct Line {
        bool oversized = false;
        QByteArray text;
    };
    void feed(const char* data, qsizetype size, std::vector<Line>* lines);
    // At the end of the stream: what is left without its newline, as a line.
    bool finish(Line* line);
    qsizetype pending() const { return pending_.size(); }

private:
    QByteArray pending_;
    bool discarding_ = false;
};

struct Request {
    bool valid = false;
    bool notification = false; // no id: no reply, not even an error
    QJsonValue id;             // null when unknown
    QByteArray rawId;          // a number id as it was written, to echo it exactly
    std::string method;
    QJsonObject params;
    int errorCode = 0;
    std::string error;
};

// One line as a request; a line that is not one says why (code and text).
Request parseRequest(const QByteArray& line);

// What a peer sent us: a reply to one of our requests, or a notification.
struct Message {
    enum Kind { Invalid, Result, Error, Notification } kind = Invalid;
    QJsonValue id;
    QJsonValue result;
    int errorCode = 0;
    std::string error;
    std::string method;
    QJsonObject params;
};
Message parseMessage(const QByteArray& line);

// Each ends in '\n'.
QByteArray requestLine(const QJsonValue& id, const std::string& method, const QJsonObject& params);
// `rawId`, when given, is written as the id instead of `id`: a number comes
// back exactly as the client wrote it, however long.
QByteArray resultLine(const QJsonValue& id, const QJsonValue& result, const QByteArray& rawId = {});
QByteArray errorLine(const QJsonValue& id, int code, const std::string& message,
                     const QByteArray& rawId = {});
QByteArray notificationLine(const std::string& method, const QJsonObject& params);

// "transact": {"request": "1004E009", "expected": 2}.
struct TransactParams {
    std::vector<std::uint8_t> request;
    int expected = 0;
};
bool parseTransactParams(const QJsonObject& params, TransactParams* out, std::string* complaint);
QJsonObject transactParams(const std::uint8_t* request, int length, int expected);

// The answer: {"result": bool, "reply": "hex", "received": n, "fault": "noAnswer"}.
struct TransactAnswer {
    bool result = false;
    std::vector<std::uint8_t> reply;
    TransactionFault fault = TransactionFault::NoAnswer;
};
QJsonObject transactAnswerJson(const TransactAnswer& answer);
bool parseTransactAnswer(const QJsonValue& value, TransactAnswer* out);

const char* faultName(TransactionFault fault);
bool faultFromName(const QString& name, TransactionFault* fault);

} // namespace service
