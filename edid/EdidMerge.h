#pragma once

#include "edid/EdidModel.h"

#include <string>

// EDIDs made from two others. Every data block of a result names where it
// came from in DataBlock::source.
namespace edid {

struct MergeResult {
    bool ok = false;
    std::string message;
    Model model;
};

// The video source's identity, timings and video blocks with the audio
// source's audio blocks, speaker allocation and basic-audio flag.
MergeResult mergeVideoAudio(const Model& video, const std::string& videoLabel, const Model& audio,
                            const std::string& audioLabel);

// What both displays accept, the same whichever comes first: timings, video
// codes, 4:2:0, HDMI VICs, audio (fewest channels, common rates and sizes,
// lower bit rate), speakers, TMDS clocks, deep colour, SCDC, HDR, colorimetry,
// quantization and YCbCr flags both take. Identity, the order of lists (so
// the preferred timing), latencies and blocks read by bytes only (kept when
// both have the very same) follow the first.
MergeResult commonSubset(const Model& a, const std::string& labelA, const Model& b,
                         const std::string& labelB);

} // namespace edid
