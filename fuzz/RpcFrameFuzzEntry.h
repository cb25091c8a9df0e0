#pragma once

#include <cstddef>
#include <cstdint>

// One input through the service's line splitter and request parser, cut into
// reads where the first byte says. Aborts when a result breaks what the
// service relies on.
int rpcFrameFuzzOne(const std::uint8_t* data, std::size_t size);
