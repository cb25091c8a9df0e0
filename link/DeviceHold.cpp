#include "link/DeviceHold.h"

#include "link/Forwarder.h"
#include "link/Platform.h"

namespace {

int depth = 0;
Forwarder* holder = nullptr;

} // namespace

DeviceHold::DeviceHold() {
    if (depth++ > 0)
        return;
    holder = platform().forwarder;
    // A refused hold costs nothing more: the flow's requests fail on their own.
    if (holder && !holder->hold())
        holder = nullptr;
}

DeviceHold::~DeviceHold() {
    if (--depth > 0)
        return;
    if (holder)
        holder->release();
    holder = nullptr;
}
