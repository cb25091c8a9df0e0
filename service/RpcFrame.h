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
constexpr qsizetype kMaxLineBytes = qsizetype(1) << 20;

// JSON-RPC's own codes, and ours above -32000.
enum ErrorCode : int {
    kParseError = -32700,
    kInvalidRequest = -32600,
    kMethodNotFound = -32601,
    kInvalidParams = -32602,
    kInternalError = -32603,
    kRequestTooLarge = -32001,
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
    qsizetype pending() const { return pending_.size(); }

private:
    QByteArray pending_;
    bool discarding_ = false;
};

struct Request {
    bool valid = false;
    bool notification = false; // no id: no reply, not even an error
    QJsonValue id;             // null when unknown
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
QByteArray resultLine(const QJsonValue& id, const QJsonValue& result);
QByteArray errorLine(const QJsonValue& id, int code, const std::string& message);
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
