#pragma once

#include "link/UsbLink.h"

#include <cstdint>

// Another program owns the device and runs our transactions for us: the link
// hands each whole request over and takes back what the device answered.
class Forwarder {
public:
    struct Reply {
        bool result = false;
        int received = 0;
        TransactionFault fault = TransactionFault::NoAnswer;
        std::uint8_t bytes[kReplyBufferSize] = {};
    };

    virtual ~Forwarder() = default;
    // Never blocks past the reply window and a margin; a vanished owner is
    // NoAnswer with nothing received.
    virtual void transact(const std::uint8_t* request, int requestLength, int expectedLength,
                          Reply* reply) = 0;
    // Keeps every other user off the device until release(); false when the
    // owner is gone.
    virtual bool hold() = 0;
    virtual void release() = 0;

    // What the owner last said of itself: serving, lost the device (it says
    // when it has it again), or gone altogether.
    enum class Owner { Serving, DeviceLost, Gone };
    virtual Owner owner() const { return Owner::Serving; }
    // One try at reaching an owner that went; true when it answers again.
    virtual bool reconnect() { return false; }
};
