#pragma once

#include <QJsonObject>

#include <functional>
#include <string>
#include <vector>

// What the service answers for the requests that do what `korvanta` does
// (get, set, status, chain, EDID, CEC, InfoFrames, backup, restore). The
// server only frames, queues and serialises; the table in CommandMethods runs
// the operations korvanta runs and renders them as `korvanta --json` prints.
namespace service {

struct MethodResult {
    bool known = true;   // false: no such method
    int exitCode = 0;    // korvanta's exit status: 0 done, 1 device, 2 usage, 3 findings
    QJsonObject output;  // the document `korvanta --json` prints
    std::string message; // what korvanta prints on stderr when it fails
};

// Runs on the service's thread, with the device held for the whole call.
using MethodHandler =
    std::function<MethodResult(const std::string& method, const QJsonObject& params)>;

// The method names the handler answers, for the version exchange.
using MethodList = std::function<std::vector<std::string>()>;

} // namespace service
