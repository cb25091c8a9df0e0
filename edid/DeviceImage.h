#pragma once

#include "edid/EdidCheck.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The device keeps a table of 256 bytes whatever the EDID's length; displays
// and sources read the base block and the extensions its count names, and
// nothing after them.
namespace edid {

struct DeviceImage {
    std::span<const std::uint8_t> named; // the blocks that are read
    // One sentence a block that is not read, saying what it holds; empty
    // when the count names every block.
    std::vector<std::string> unread;
    bool unreadZeros = false; // every byte not read is 0 (padding)
};

// A count naming more blocks than there are, or bytes that are not whole
// blocks, give everything as named: the check reports those.
DeviceImage namedBlocks(std::span<const std::uint8_t> image);

// checkEdid on the named blocks, then a note for each block left unread.
std::vector<Finding> checkNamedBlocks(std::span<const std::uint8_t> image,
                                      CheckOptions options = {true});

} // namespace edid
