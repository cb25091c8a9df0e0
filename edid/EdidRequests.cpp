#include "edid/EdidRequests.h"

#include "link/Protocol.h"

std::array<std::uint8_t, 3> edidPrepareReadRequest(std::uint8_t command) {
    return {proto::kDirWrite, 0x01, command};
}

std::array<std::uint8_t, 4> edidReadChunkRequest(int chunk) {
    return {proto::kDirRead, kEdidReadChunkSize, proto::kCmdEdidChunk,
            static_cast<std::uint8_t>(chunk * kEdidReadChunkSize)};
}

std::array<std::uint8_t, 12> edidWriteChunkRequest(const EdidImage& image, int chunk) {
    const int offset = chunk * kEdidWriteChunkSize;
    std::array<std::uint8_t, 12> request = {proto::kDirWrite, kEdidWriteChunkSize,
                                            proto::kCmdEdidChunk,
                                            static_cast<std::uint8_t>(offset)};
    for (int i = 0; i < kEdidWriteChunkSize; ++i)
        request[static_cast<std::size_t>(4 + i)] = image[static_cast<std::size_t>(offset + i)];
    return request;
}

std::array<std::uint8_t, 3> edidCommitRequest() {
    return {proto::kDirWrite, kEdidWriteChunkSize, proto::kCmdEdidCommit};
}

bool edidDeviceBusy(const std::uint8_t* valuesReply) {
    return (valuesReply[1] & proto::kStatusBusyBit) != 0;
}
