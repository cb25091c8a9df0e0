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

// What both displays accept: the first's identity and timings; video codes,
// 4:2:0, audio (fewest channels, common rates and sizes, lower bit rate),
// speakers, TMDS clock, deep colour, HDR, colorimetry and quantization that
// both list.
MergeResult commonSubset(const Model& a, const std::string& labelA, const Model& b,
                         const std::string& labelB);

} // namespace edid
