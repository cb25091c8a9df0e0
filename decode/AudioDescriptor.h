#pragma once

#include "decode/NodeBuild.h"

namespace decode {

constexpr int kShortAudioDescriptorSize = 3;

// A CTA-861 short audio descriptor (3 bytes) as a list entry: the format as
// its label, channels, sample rates and bit depths or bit rate as its text.
// `where` names its first byte for problems ("byte 136").
Node shortAudioDescriptor(Decoded& d, Bytes sad, const std::string& where);

} // namespace decode
