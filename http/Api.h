#pragma once

#include "http/HttpMessage.h"
#include "service/Methods.h"

#include <QJsonObject>

#include <string>
#include <vector>

// /api/v1: what a request asks for, decided without the device. The
// service's methods answer the same documents as on the socket; the rest
// (the page's files, decoding, the settings table) needs no device at all.
namespace http {

struct ApiContext {
    bool readOnly = false;
    std::vector<std::string> methods; // the service's method names
    QJsonObject hello;                // program, version, device, ...
    QJsonObject state;                // deviceOpen, settings, status as last polled
};

struct Routed {
    enum class Kind { Answer, Method, Events };
    Kind kind = Kind::Answer;
    Response answer;
    std::string method;
    QJsonObject params;
};

Routed route(const Request& request, const ApiContext& context);

// Methods that only read; GET may run them, with their params from the
// query, and read-only mode leaves only them.
bool readsOnly(const std::string& method, const QJsonObject& params);

// A method's result as its HTTP answer: the socket's result object, with a
// status a control system can act on.
Response methodResponse(const service::MethodResult& result);

} // namespace http
