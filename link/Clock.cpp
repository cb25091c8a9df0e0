#include "link/Clock.h"

#include <chrono>
#include <thread>

std::uint32_t SystemClock::tickCount() {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<std::uint32_t>(ms);
}

void SystemClock::sleepMs(std::uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::uint32_t VirtualClock::tickCount() {
    const std::uint32_t t = now_;
    now_ += pollStepMs_;
    return t;
}
