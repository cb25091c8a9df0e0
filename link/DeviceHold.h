#pragma once

// Keeps the device to this flow from its first request to its last, so that
// another program sharing it through the service cannot land a request in
// between. Nested holds count as one; without a service nothing happens.
class DeviceHold {
public:
    DeviceHold();
    ~DeviceHold();
    DeviceHold(const DeviceHold&) = delete;
    DeviceHold& operator=(const DeviceHold&) = delete;
};
