#include "service/ServiceClient.h"

// Windows has no service to reach yet (korvanta serve runs on POSIX systems
// only), so a client there always opens the device itself.
namespace service {

ServiceClient::~ServiceClient() = default;

void ServiceClient::disconnect() {
    fd_ = -1;
    input_.clear();
}

ServiceClient::Connect ServiceClient::connect(const std::string&, std::string*, bool) {
    return Connect::NoService;
}

bool ServiceClient::readLine(QByteArray*, std::string* error) {
    *error = "there is no service on Windows";
    return false;
}

bool ServiceClient::call(const std::string&, const QJsonObject&, QJsonValue*, std::string* error) {
    *error = "there is no service on Windows";
    return false;
}

void ServiceClient::transact(const std::uint8_t*, int, int, Reply* reply) {
    *reply = Reply{};
    reply->fault = TransactionFault::ServiceGone;
}

bool ServiceClient::hold() {
    return false;
}

void ServiceClient::release() {}

Forwarder::Owner ServiceClient::owner() const {
    return Owner::Serving;
}

bool ServiceClient::reconnect() {
    return false;
}

ServiceClient::Connect connectToService(ServiceClient*, const std::string&, std::string*) {
    return ServiceClient::Connect::NoService;
}

} // namespace service
