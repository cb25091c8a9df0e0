#pragma once

#include <string>
#include <string_view>

namespace decode {

// "1 byte", "2 bytes": a count with its noun in the right number.
inline std::string counted(long long n, std::string_view one, std::string_view many) {
    return std::to_string(n) + ' ' + std::string(n == 1 ? one : many);
}

} // namespace decode
