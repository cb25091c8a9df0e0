#pragma once

#include "edid/FormatNeeds.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// What an EDID promises against what a link can carry: every video format in
// every pixel encoding and colour depth it claims, measured as TMDS character
// rate against HDMI 2.0's 600 MHz and the EDID's own maximum, plus the
// structure (checksums, block lengths, extension count), the preferred timing,
// the detailed timings' own numbers and SCDC above 340 MHz.
namespace edid {

enum class FindingKind { Failure, Note };

struct Finding {
    FindingKind kind;
    std::string text;
    int vic = 0; // the video format it measures; 0: not one format's
};

struct CheckOptions {
    bool forDevice = false; // the switch stores 256 bytes: longer is a failure
};

std::vector<Finding> checkEdid(std::span<const std::uint8_t> bytes, CheckOptions options = {});

bool hasFailure(const std::vector<Finding>& findings);

// edid-decode --check, when installed: its own findings, one a line, kept
// apart from ours and never counted as failures.
struct ReferenceCheck {
    bool available = false;
    bool ran = false;
    std::vector<std::string> findings;
    std::string output;
};
ReferenceCheck referenceCheck(std::span<const std::uint8_t> bytes);

} // namespace edid
