#include "decode/EdidDecode.h"

#include "decode/EdidParts.h"

#include <algorithm>

namespace decode {
namespace {

// Extension `index` as the model read it; a block the model does not hold
// (an EDID it refused, blocks after a repeat of the header) read the same way.
edid::Extension extensionAt(const edid::Model& model, bool parsed, const EdidBytes& e, int index) {
    if (parsed && index <= static_cast<int>(model.extensions.size()))
        return model.extensions[static_cast<std::size_t>(index - 1)];
    edid::Block b{};
    const Bytes bytes = e.span(index * kEdidBlock, kEdidBlock);
    std::copy(bytes.begin(), bytes.end(), b.begin());
    return edid::readExtension(b);
}

} // namespace

Decoded decodeEdid(std::span<const std::uint8_t> bytes) {
    Decoded d;
    d.title = "EDID";
    const EdidBytes e{bytes};
    const int size = static_cast<int>(bytes.size());
    Node sizeNode = field("size", "Size", std::to_string(size) + " bytes", size);
    const int announced = e.has(126) ? e.at(126) : 0;
    const int expected = kEdidBlock * (1 + announced);
    if (size < kEdidBlock)
        addProblem(d, sizeNode,
                   "byte " + std::to_string(size) + ": the EDID ends after " +
                       std::to_string(size) + " bytes, its base block has 128");
    else if (size < expected)
        addProblem(d, sizeNode,
                   "byte " + std::to_string(size) + ": the EDID ends after " +
                       std::to_string(size) + " bytes; byte 126 announces " +
                       std::to_string(announced) + " extension blocks, " +
                       std::to_string(expected) + " bytes in all");
    else if (size % kEdidBlock)
        addProblem(d, sizeNode,
                   "byte " + std::to_string(size - size % kEdidBlock) + ": " +
                       std::to_string(size % kEdidBlock) + " bytes past the last whole block");
    d.nodes.push_back(std::move(sizeNode));
    decodeBaseBlock(d, e);
    edid::Model model;
    const bool parsed = edid::parse(bytes, model).ok;
    for (int index = 1; index < size / kEdidBlock; ++index)
        d.nodes.push_back(decodeExtensionBlock(d, e, index, extensionAt(model, parsed, e, index)));
    return d;
}

} // namespace decode
