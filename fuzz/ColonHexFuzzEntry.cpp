#include "fuzz/ColonHexFuzzEntry.h"

#include "cec/ColonHex.h"

#include <QString>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace {

void fail(const char* what) {
    std::fprintf(stderr, "colon-hex invariant broken: %s\n", what);
    std::abort();
}

// Exactly `size` bytes on the heap, so that the sanitizer sees a read one
// past the end.
std::unique_ptr<char[]> exactCopy(const std::uint8_t* data, std::size_t size) {
    auto copy = std::make_unique<char[]>(size ? size : 1);
    for (std::size_t i = 0; i < size; ++i)
        copy[i] = static_cast<char>(data[i]);
    return copy;
}

int parseChecked(std::string_view text, std::uint8_t count, bool withLength, ColonHexBytes& out) {
    const int r = parseColonHex(text, out, count, withLength);
    if (r < 1 || r > kColonHexMaxBytes)
        fail("result outside the output buffer");
    if (withLength && r >= 2 && out[1] != static_cast<std::uint8_t>(r - 2))
        fail("length byte");
    return r;
}

// Bytes shown as text must parse back to the same bytes.
void roundTrip(const ColonHexBytes& bytes, int n) {
    if (n < 2 || 3 * n > 255)
        return;
    const std::string text = formatColonHex(bytes.data(), n) + '\r';
    ColonHexBytes again{};
    const int r = parseChecked(text, static_cast<std::uint8_t>(text.size()), false, again);
    if (r != n)
        fail("round trip length");
    for (int i = 0; i < n; ++i)
        if (again[static_cast<std::size_t>(i)] != bytes[static_cast<std::size_t>(i)])
            fail("round trip bytes");
}

} // namespace

int colonHexFuzzOne(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::uint8_t control = data[0];
    const std::uint8_t* text = data + 1;
    const std::size_t length = size - 1;

    // The parser straight on the raw bytes, with a count that may run far
    // past them.
    const auto raw = exactCopy(text, length);
    ColonHexBytes out{};
    for (bool withLength : {false, true}) {
        const int r = parseChecked(std::string_view(raw.get(), length), control, withLength, out);
        roundTrip(out, r);
    }

    // The senders' path: field text into a fixed buffer, then the parser.
    static constexpr int kMaxCounts[] = {93, 60, 39, 255};
    const int maxCount = kMaxCounts[control & 3];
    const std::size_t capacity = (control & 4) ? 100 : 200;
    const QString field = (control & 8) ? QString::fromUtf8(raw.get(), qsizetype(length))
                                        : QString::fromLatin1(raw.get(), qsizetype(length));
    auto buffer = std::make_unique<char[]>(capacity);
    std::uint8_t count = 0;
    if (!readHexField(field, std::span<char>(buffer.get(), capacity), maxCount, &count))
        return 0;
    if (count < 6 || count > maxCount || count > capacity || buffer[count - 1u] != '\r')
        fail("field count");
    for (bool withLength : {false, true})
        parseChecked(std::string_view(buffer.get(), capacity), count, withLength, out);
    return 0;
}
