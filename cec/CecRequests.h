#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// The write requests of CEC messages and InfoFrames, built from the checked
// text of their field (its characters and the closing carriage return).

constexpr int kMaxDeviceRequest = 128;

struct DeviceRequest {
    std::array<std::uint8_t, kMaxDeviceRequest> bytes{};
    int length = 0;

    std::uint8_t lengthByte() const { return bytes[1]; }
    std::uint8_t command() const { return bytes[2]; }
};

// 0x10, N+1, 0xB2, header byte, N-1, the other bytes: a CEC message of N bytes.
DeviceRequest cecSendRequest(std::string_view field, std::uint8_t count);

// 0x10, C+4, the command, "CEC ", then the C characters themselves.
// False when they do not fit a request.
bool cecStoreRequest(std::uint8_t command, std::string_view characters, DeviceRequest* request);

// 0x10, N, the command (HDR or AVI InfoFrame), the N bytes as typed.
DeviceRequest infoFrameRequest(std::uint8_t command, std::string_view field, std::uint8_t count);

// Activates what the request before it sent; its length byte is repeated.
DeviceRequest populateRequest(std::uint8_t lengthByte, std::uint8_t selector);
