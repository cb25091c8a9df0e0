// The service's own cost: a request's round trip through the socket beyond
// the device's time, and 10 clients of 100 requests each with none lost. The
// service runs in this process on the simulated device. Not part of the test
// run: build/bench/korvanta_service_bench.
#include "link/AppState.h"
#include "link/Clock.h"
#include "link/Platform.h"
#include "link/UsbLink.h"
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
    service::Server server(options);
    std::string complaint;
    if (!server.listen(&complaint)) {
        std::fprintf(stderr, "%s\n", complaint.c_str());
        return 1;
    }
    server.start();

    double through = 0;
    std::atomic<int> lost{0};
    double burstMs = 0;
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
    return lost == 0 ? 0 : 1;
}
