#pragma once

#include "decode/EdidParts.h"

namespace decode {

// A vendor-specific data block at `at` with `length` payload bytes: the HDMI
// and HDMI Forum blocks decoded, others shown by OUI and bytes.
Node vendorBlock(Decoded& d, const EdidBytes& e, int at, int length, Node n);

// The HDMI Forum fields, from the vendor block or (with `sinkCapability`) the
// sink capability block, whose fields sit two bytes further on.
Node hdmiForumBlock(Decoded& d, const EdidBytes& e, int at, int length, Node n,
                    bool sinkCapability);

} // namespace decode
