#include "link/Platform.h"

#include "link/Clock.h"

Platform& platform() {
    static Platform instance;
    return instance;
}

void pauseOnEmptyQueue() {
    if (Clock* clock = platform().clock)
        clock->sleepMs(kEmptyQueuePauseMs);
}
