// The service's own cost: a request's round trip through the socket beyond
// the device's time, 10 clients of 100 requests each with none lost, and how
// long a client waits for its first answer while another runs 100 EDID reads.
// The service runs in this process on the simulated device. Not part of the
// test run: build/bench/korvanta_service_bench.
#include "link/AppState.h"
#include "link/Clock.h"
#include "link/Platform.h"
#include "link/UsbLink.h"
#include "service/CommandMethods.h"
#include "service/RpcFrame.h"
#include "service/Server.h"
#include "service/ServiceClient.h"
#include "sim/SimUsbLibrary.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int kRounds = 2000;
constexpr int kClients = 10;
constexpr int kRequestsEach = 100;
const std::uint8_t kValuesRead[] = {0x11, 0x2A, 0xE1};

double directMicroseconds() {
    std::uint8_t reply[kReplyBufferSize];
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < kRounds; ++i)
        transact(reply, kValuesRead, 42, 3);
    return double(t.nsecsElapsed()) / 1000.0 / kRounds;
}

// A raw connection that sends and never reads: a client in a hurry.
int rawConnection(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::copy(path.begin(), path.end(), addr.sun_path);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool answered(service::ServiceClient& client) {
    Forwarder::Reply reply;
    client.transact(kValuesRead, 3, 42, &reply);
    return reply.result && reply.received == 42;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const std::string path = dir.filePath("bench.sock").toStdString();

    SimUsbLibrary sim;
    sim.recordCalls = false;
    sim.device.logRequests = false;
    SystemClock clock;
    platform() = Platform{&sim, &clock, nullptr, nullptr};
    std::uint32_t index = 0;
    if (!findDevice(appState.productString, &index) || !openDevice(index))
        return 1;
    const double device = directMicroseconds();

    service::ServerOptions options;
    options.socketPath = path;
    options.deviceId = "bench";
    options.pollMs = 3'600'000;
    options.openDevice = [] { return true; };
    options.methods = service::makeMethodHandler();
    options.methodNames = service::makeMethodList();
    service::Server server(options);
    std::string complaint;
    if (!server.listen(&complaint)) {
        std::fprintf(stderr, "%s\n", complaint.c_str());
        return 1;
    }
    server.start();

    double through = 0;
    std::atomic<int> lost{0};
    double burstMs = 0, flowMs = 0, waitMs = 0;
    std::thread work([&] {
        service::ServiceClient one;
        std::string why;
        if (one.connect(path, &why) != service::ServiceClient::Connect::Connected) {
            lost = -1;
        } else {
            QElapsedTimer t;
            t.start();
            for (int i = 0; i < kRounds; ++i)
                if (!answered(one))
                    ++lost;
            through = double(t.nsecsElapsed()) / 1000.0 / kRounds;
        }
        QElapsedTimer t;
        t.start();
        std::vector<std::thread> clients;
        for (int c = 0; c < kClients; ++c)
            clients.emplace_back([&] {
                service::ServiceClient client;
                std::string complaint;
                if (client.connect(path, &complaint) !=
                    service::ServiceClient::Connect::Connected) {
                    lost += kRequestsEach;
                    return;
                }
                for (int i = 0; i < kRequestsEach; ++i)
                    if (!answered(client))
                        ++lost;
            });
        for (std::thread& c : clients)
            c.join();
        burstMs = double(t.nsecsElapsed()) / 1e6;

        service::ServiceClient reader;
        if (reader.connect(path, &why) == service::ServiceClient::Connect::Connected) {
            QJsonValue result;
            t.restart();
            if (!reader.call("edid.read", {{"source", "device"}}, &result, &why))
                lost = -1;
            flowMs = double(t.nsecsElapsed()) / 1e6;
        }
        const int hurry = rawConnection(path);
        QByteArray lines;
        for (int i = 1; i <= 100; ++i)
            lines += service::requestLine(i, "edid.read", {{"source", "device"}});
        if (hurry < 0 ||
            ::send(hurry, lines.constData(), std::size_t(lines.size()), 0) != lines.size()) {
            lost = -1;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            service::ServiceClient next;
            t.restart();
            if (next.connect(path, &why) != service::ServiceClient::Connect::Connected ||
                !answered(next))
                ++lost;
            waitMs = double(t.nsecsElapsed()) / 1e6;
        }
        if (hurry >= 0)
            ::close(hurry);
        QTimer::singleShot(0, &app, [] { QCoreApplication::quit(); });
    });
    QCoreApplication::exec();
    work.join();
    server.stop();

    std::printf("values read on the simulated device, in process: %8.1f us\n", device);
    std::printf("the same through the service's socket:            %8.1f us\n", through);
    std::printf("round trip beyond the device's time:              %8.1f us (goal under 2000)\n",
                through - device);
    std::printf("%d clients x %d requests: %.0f ms, %d lost\n", kClients, kRequestsEach, burstMs,
                lost.load());
    std::printf("one EDID read through the service:                %8.0f ms\n", flowMs);
    std::printf("first answer while another client runs 100 EDID reads: %.0f ms "
                "(goal under 300 ms plus the longest single flow)\n",
                waitMs);
    return lost == 0 ? 0 : 1;
}
