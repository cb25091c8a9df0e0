#include "fuzz/DecodeFuzzEntry.h"

#include "decode/CecDecode.h"
#include "decode/EdidDecode.h"
#include "decode/InfoFrameDecode.h"

#include <QJsonArray>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>
#include <string_view>

namespace {

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "decode invariant broken: %s\n", what);
        std::abort();
    }
}

// Exactly `size` bytes on the heap, so that the sanitizer sees a read one past the end.
std::unique_ptr<std::uint8_t[]> exactCopy(const std::uint8_t* data, std::size_t size) {
    auto copy = std::make_unique<std::uint8_t[]>(size ? size : 1);
    std::copy_n(data, size, copy.get());
    return copy;
}

int countMarked(const std::vector<decode::Node>& nodes) {
    int marked = 0;
    for (const decode::Node& n : nodes) {
        require(n.label.find('\n') == std::string::npos, "line break in a label");
        require(n.text.find('\n') == std::string::npos, "line break in a text");
        marked += (n.problem ? 1 : 0) + countMarked(n.children);
    }
    return marked;
}

void check(const decode::Decoded& d) {
    const int marked = countMarked(d.nodes);
    require(marked <= int(d.problems.size()), "a marked node without its problem");
    require(d.problems.empty() == (marked == 0), "a problem without a marked node");
    for (const std::string& p : d.problems)
        require(!p.empty() && p.find('\n') == std::string::npos, "problem text");
    require(d.ok() == d.problems.empty(), "ok()");
    const std::string text = decode::renderText(d);
    require(text.rfind(d.title + '\n', 0) == 0, "text starts with the title");
    const QJsonObject json = decode::renderJson(d);
    require(json.value("fields").isObject(), "JSON fields");
    require(json.value("problems").toArray().size() == qsizetype(d.problems.size()),
            "JSON problems");
}

std::string_view asText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

} // namespace

int decodeEdidFuzzOne(const std::uint8_t* data, std::size_t size) {
    const auto copy = exactCopy(data, size);
    const std::span<const std::uint8_t> bytes(copy.get(), size);
    check(decode::decodeEdid(bytes));
    const std::size_t half = size / 2;
    const decode::Decoded compared =
        decode::compareEdids(bytes.first(half), bytes.subspan(half), "A", "B");
    decode::renderText(compared);
    decode::renderJson(compared);
    return 0;
}

int decodeCecFuzzOne(const std::uint8_t* data, std::size_t size) {
    const auto copy = exactCopy(data, size);
    check(decode::decodeCecText(asText(copy.get(), size)));
    check(decode::decodeCecBytes(std::span<const std::uint8_t>(copy.get(), size)));
    return 0;
}

int decodeInfoFrameFuzzOne(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const auto copy = exactCopy(data + 1, size - 1);
    const std::span<const std::uint8_t> bytes(copy.get(), size - 1);
    const std::string_view text = asText(copy.get(), size - 1);
    switch (data[0] % 5) {
    case 0:
        check(decode::decodeHdrInfoFrameText(text));
        break;
    case 1:
        check(decode::decodeHdrInfoFrameTyped(bytes));
        break;
    case 2:
        check(decode::decodeHdrInfoFrameBytes(bytes));
        break;
    case 3:
        check(decode::decodeAviText(text));
        break;
    default:
        check(decode::decodeAviBytes(bytes));
        break;
    }
    return 0;
}
