#pragma once

#include "decode/EdidParts.h"

namespace decode {

// A vendor-specific data block whose header byte is byte `at` of the EDID:
// the HDMI and HDMI Forum blocks decoded, others shown by OUI and bytes.
// `vics` are the video codes the HDMI block's 3D fields point into.
Node vendorBlock(Decoded& d, const edid::DataBlock& db, int at, Node n,
                 const std::vector<int>& vics);

// The HDMI Forum fields, from the vendor block or (with `sinkCapability`) the
// sink capability block.
Node hdmiForumBlock(Decoded& d, const edid::DataBlock& db, int at, Node n, bool sinkCapability);

} // namespace decode
