#pragma once

#include "decode/CecOpcodes.h"
#include "decode/NodeBuild.h"

namespace decode {

// The operands of one message as fields under `operands`; `firstByte` is the
// typed byte number of the first operand.
void decodeCecOperands(Decoded& d, Node& operands, CecOperandKind kind, Bytes bytes, int firstByte);

} // namespace decode
