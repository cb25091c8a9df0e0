#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Text that came from outside (a network payload, a topic, a client's
// request) on its way into a log line: control bytes and backslashes
// escaped, so nobody can start a line of their own or steer a terminal, and
// cut at `limit` bytes with the full length said.
constexpr std::size_t kLogTextLimit = 120;

std::string logText(std::string_view outside, std::size_t limit = kLogTextLimit);
