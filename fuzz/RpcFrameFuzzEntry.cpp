#include "fuzz/RpcFrameFuzzEntry.h"

#include "service/RpcFrame.h"

#include <algorithm>
#include <cstdlib>

int rpcFrameFuzzOne(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::size_t step = std::size_t(data[0]) + 1;
    const char* text = reinterpret_cast<const char*>(data + 1);
    const std::size_t length = size - 1;

    service::LineSplitter splitter;
    std::vector<service::LineSplitter::Line> lines;
    for (std::size_t at = 0; at < length; at += step)
        splitter.feed(text + at, qsizetype(std::min(step, length - at)), &lines);
    if (splitter.pending() > service::kMaxLineBytes)
        std::abort();
    for (const auto& line : lines) {
        if (line.text.size() > service::kMaxLineBytes || (line.oversized && !line.text.isEmpty()) ||
            line.text.contains('\n'))
            std::abort();
        const service::Request r = service::parseRequest(line.text);
        if (r.valid != r.error.empty() || (r.valid && r.method.empty()))
            std::abort();
        if (!r.valid && r.errorCode == 0)
            std::abort();
        service::TransactParams p;
        std::string complaint;
        if (service::parseTransactParams(r.params, &p, &complaint) &&
            (p.request.empty() || p.request.size() > 64 || p.expected < 0 || p.expected > 64))
            std::abort();
        (void)service::parseMessage(line.text);
    }
    return 0;
}
