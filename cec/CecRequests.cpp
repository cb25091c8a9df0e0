#include "cec/CecRequests.h"

#include "cec/ColonHex.h"
#include "link/Protocol.h"

#include <algorithm>

namespace {

constexpr int kHeaderLength = 3; // direction, length byte, command code
constexpr std::string_view kStorePrefix = "CEC ";

DeviceRequest withParsedBytes(std::uint8_t command, std::string_view field, std::uint8_t count,
                              bool withLength) {
    ColonHexBytes parsed{};
    const int n = parseColonHex(field, parsed, count, withLength);
    DeviceRequest r;
    r.bytes[0] = proto::kDirWrite;
    r.bytes[1] = static_cast<std::uint8_t>(n);
    r.bytes[2] = command;
    std::copy_n(parsed.begin(), n, r.bytes.begin() + kHeaderLength);
    r.length = n + kHeaderLength;
    return r;
}

} // namespace

DeviceRequest cecSendRequest(std::string_view field, std::uint8_t count) {
    return withParsedBytes(proto::kCmdCecSend, field, count, true);
}

bool cecStoreRequest(std::uint8_t command, std::string_view characters, DeviceRequest* request) {
    const int dataLength = static_cast<int>(kStorePrefix.size() + characters.size());
    if (kHeaderLength + dataLength > kMaxDeviceRequest)
        return false;
    DeviceRequest r;
    r.bytes[0] = proto::kDirWrite;
    r.bytes[1] = static_cast<std::uint8_t>(dataLength);
    r.bytes[2] = command;
    auto out = std::copy(kStorePrefix.begin(), kStorePrefix.end(), r.bytes.begin() + kHeaderLength);
    std::copy(characters.begin(), characters.end(), out);
    r.length = kHeaderLength + dataLength;
    *request = r;
    return true;
}

DeviceRequest infoFrameRequest(std::uint8_t command, std::string_view field, std::uint8_t count) {
    return withParsedBytes(command, field, count, false);
}

DeviceRequest populateRequest(std::uint8_t lengthByte, std::uint8_t selector) {
    DeviceRequest r;
    r.bytes[0] = proto::kDirWrite;
    r.bytes[1] = lengthByte;
    r.bytes[2] = proto::kCmdPopulate;
    r.bytes[3] = selector;
    r.length = 4;
    return r;
}
