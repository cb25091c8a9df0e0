#pragma once

#include <cstdint>

// Tick counter and sleep, so that tests can run on virtual time.
class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds, wrapping like a 32-bit system tick counter.
    virtual std::uint32_t tickCount() = 0;
    virtual void sleepMs(std::uint32_t ms) = 0;
};

class SystemClock : public Clock {
public:
    std::uint32_t tickCount() override;
    void sleepMs(std::uint32_t ms) override;
};

// Time moves only when the code looks at it or sleeps: every tickCount() call
// advances it by `pollStepMs`, every sleep by its length.
class VirtualClock : public Clock {
public:
    explicit VirtualClock(std::uint32_t start = 0, std::uint32_t pollStepMs = 1)
        : now_(start), pollStepMs_(pollStepMs) {}
    std::uint32_t tickCount() override;
    void sleepMs(std::uint32_t ms) override { now_ += ms; totalSlept_ += ms; }
    void advance(std::uint32_t ms) { now_ += ms; }
    std::uint32_t now() const { return now_; }
    std::uint64_t totalSlept() const { return totalSlept_; }
    void setPollStep(std::uint32_t ms) { pollStepMs_ = ms; }

private:
    std::uint32_t now_;
    std::uint32_t pollStepMs_;
    std::uint64_t totalSlept_ = 0;
};
