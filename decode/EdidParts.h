#pragma once

#include "decode/NodeBuild.h"
#include "edid/EdidModel.h"

// The pieces of the EDID decoder, shared between its files.
namespace decode {

constexpr int kEdidBlock = 128;
constexpr int kDescriptorLength = 18;
constexpr int kChecksumInBlock = 127;

// The whole EDID with byte numbers for problems.
struct EdidBytes {
    Bytes all;

    bool has(int offset, int count = 1) const {
        return offset >= 0 && count >= 0 && offset + count <= int(all.size());
    }
    std::uint8_t at(int offset) const { return all[static_cast<std::size_t>(offset)]; }
    Bytes span(int offset, int count) const {
        return all.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(count));
    }
    static std::string where(int offset) { return "byte " + std::to_string(offset); }
};

// An 18-byte detailed timing (its pixel clock is not 0).
Node detailedTiming(Bytes dtd, std::string key, std::string label);
// An 18-byte display descriptor (a name, a serial, range limits); `at` is
// its first byte in the EDID, for problems.
Node displayDescriptor(Decoded& d, Bytes slot, int at);
// Short words of a detailed timing: "1920x1080 @ 60 Hz, 148.50 MHz".
std::string detailedTimingSummary(Bytes dtd);
bool isDetailedTiming(const EdidBytes& e, int offset);

Node establishedTimings(const EdidBytes& e);
Node standardTimings(const EdidBytes& e, int version, int revision);

// The checksum byte of the block starting at `block`, checked.
Node blockChecksum(Decoded& d, const EdidBytes& e, int block);

void decodeBaseBlock(Decoded& d, const EdidBytes& e);
// Block `index` (1 on), read by the model as `x`, as one node; a CTA-861
// block is decoded, others are named.
Node decodeExtensionBlock(Decoded& d, const EdidBytes& e, int index, const edid::Extension& x);

// CTA-861 data blocks read from the EDID block at `block`, which end at
// byte `end` (a CTA block's detailed timing offset, or the end of a
// DisplayID data block); one that runs past it is named a fault.
Node ctaDataBlocks(Decoded& d, const EdidBytes& e, int block, const edid::DataBlockList& list,
                   int end, const std::string& endName = "the detailed timings");
// A DisplayID extension block at `block`, read as `s`, into its heading `n`.
Node displayIdBlock(Decoded& d, const EdidBytes& e, int block, const edid::DisplayIdSection& s,
                    Node n);
// An EDID manufacturer ID as edid-decode shows it: letter 0 is "@".
std::string manufacturerLetters(int id);

// A CTA-861 data block of the EDID block at `block`; `vics` are the video
// codes of its video data blocks (for the 4:2:0 map and the HDMI 3D mask).
Node ctaDataBlock(Decoded& d, const edid::DataBlock& db, int block, const std::vector<int>& vics);
// True, with a problem on `n`, when the data block at `at` has fewer than
// `needed` of its `length` bytes.
bool dataBlockTooShort(Decoded& d, Node& n, int at, int length, int needed);

// A CTA video code list entry: "VIC 16: 1920x1080p60".
Node videoCodeEntry(int vic, bool native);

} // namespace decode
