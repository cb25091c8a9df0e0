#pragma once

#include <string>

// The secret a browser or a control system shows to use the service beyond
// loopback: 256 random bits as hex, kept in a file only its owner may read.
namespace http {

// $XDG_CONFIG_HOME/korvanta/http-token, or ~/.config/korvanta/http-token.
std::string defaultTokenPath();

// Reads the token at `path`, or makes one there (0600, in one step) when
// there is none. Refuses a file others may read or write, and one that does
// not hold a token.
bool loadOrCreateToken(const std::string& path, std::string* token, bool* created,
                       std::string* why);

} // namespace http
