#pragma once

#include <string>

// A QR code of `text` for a terminal: two modules a character with half
// blocks, in explicit black and white so that it scans whatever the
// terminal's colours. Empty when the text does not fit a QR code.
namespace http {

std::string qrForTerminal(const std::string& text);

} // namespace http
