#include "fuzz/EdidModelFuzzEntry.h"

#include "edid/EdidAudio.h"
#include "edid/EdidCheck.h"
#include "edid/EdidEdits.h"
#include "edid/EdidMerge.h"
#include "edid/EdidModel.h"

#include <cstdlib>
#include <functional>
#include <span>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void require(bool condition) {
    if (!condition)
        std::abort();
}

bool checksumsGood(const Bytes& b) {
    for (std::size_t at = 0; at + edid::kBlockSize <= b.size(); at += edid::kBlockSize) {
        unsigned sum = 0;
        for (std::size_t i = 0; i < edid::kBlockSize; ++i)
            sum += b[at + i];
        if (sum % 256)
            return false;
    }
    return true;
}

// An edited EDID is whole blocks with good checksums and the right count,
// reads back, and writes back the same.
void requireConsistent(edid::Model& m) {
    const Bytes out = edid::write(m);
    require(out.size() % edid::kBlockSize == 0);
    require(checksumsGood(out));
    require(out[126] == m.extensions.size());
    edid::Model again;
    require(edid::parse(out, again).ok);
    require(edid::write(again) == out);
    edid::checkEdid(out);
}

} // namespace

int edidModelFuzzOne(const std::uint8_t* data, std::size_t size) {
    const Bytes in(data, data + std::min<std::size_t>(size, edid::kBlockSize * edid::kMaxBlocks));
    edid::Model m;
    if (!edid::parse(in, m).ok)
        return 0;
    require(edid::write(m) == in);
    edid::checkEdid(in, {true});

    const int vics[] = {97, 16, 4};
    const std::function<edid::EditResult(edid::Model&)> edits[] = {
        [](edid::Model& x) { return edid::setDisplayName(x, "FUZZ"); },
        [&](edid::Model& x) { return edid::addVics(x, vics); },
        [&](edid::Model& x) { return edid::removeVics(x, std::span(vics).subspan(1)); },
        [&](edid::Model& x) { return edid::addY420(x, vics); },
        [&](edid::Model& x) { return edid::makeY420Only(x, std::span(vics).first(1)); },
        [](edid::Model& x) { return edid::setNativeVic(x, 16); },
        [](edid::Model& x) { return edid::setPreferredVic(x, 16); },
        [](edid::Model& x) { return edid::setMaxTmds(x, 600); },
        [](edid::Model& x) { return edid::setMaxTmds(x, 300); },
        [](edid::Model& x) { return edid::setPhysicalAddress(x, "1.2.0.0"); },
        [](edid::Model& x) { return edid::setLuminance(x, edid::Luminance::Min, 0.05); },
        [](edid::Model& x) { return edid::setHdrEotfs(x, edid::kEotfSdr | edid::kEotfHlg); },
        [](edid::Model& x) { return edid::addAudio(x, *edid::parseAudioFormat("truehd:8:atmos")); },
        [](edid::Model& x) { return edid::removeAudio(x, edid::kAudioLpcm); },
        [](edid::Model& x) { return edid::setSpeakers(x, 0x07); },
    };
    for (const auto& edit : edits) {
        edid::Model x = m;
        const Bytes before = edid::write(x);
        if (edit(x).ok)
            requireConsistent(x);
        else
            require(edid::write(x) == before); // a refused edit leaves nothing behind
    }
    edid::MergeResult both = edid::commonSubset(m, "a", m, "b");
    if (both.ok)
        requireConsistent(both.model);
    edid::MergeResult merged = edid::mergeVideoAudio(m, "a", m, "b");
    if (merged.ok)
        requireConsistent(merged.model);
    return 0;
}
