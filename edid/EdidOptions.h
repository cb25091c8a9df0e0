#pragma once

#include "edid/EdidEdits.h"

#include <string_view>

// The edits by their option names, so a command line, a preset file and a
// window share one spelling: applyOption(m, "add-vic", "97,96") is
// `--add-vic 97,96`.
//
//   manufacturer KVT            product 0x1234        serial 1234
//   date 12/2026                name TEXT             serial-text TEXT
//   add-vic 97,96               remove-vic 4          native 16
//   preferred 16                y420 97               y420-only 97
//   physical-address 1.0.0.0    max-tmds 600          deep-color 30,36,y444
//   deep-color-420 30,36        scdc on|off           colorimetry bt2020rgb,...
//   quantization rgb,ycc        ycc 444,422           hdr sdr,pq,hlg
//   max-luminance 1000          avg-luminance 400 (or max-fall 400)  min-luminance 0.05
//   audio-add truehd:8:atmos    audio-remove dts      speakers FL/FR,LFE,FC
namespace edid {

EditResult applyOption(Model& m, std::string_view name, std::string_view value);

// A base block with nothing but the header, sRGB colours, 640x480, range
// limits up to 600 MHz and unused descriptors, ready for the edits above.
Model blankEdid();

} // namespace edid
