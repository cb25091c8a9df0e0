#include "edid/EdidEdits.h"

#include "edid/VicTimings.h"

#include <algorithm>
#include <charconv>

namespace edid {
namespace {

constexpr int kFirstDescriptor = 54;
constexpr int kDescriptorCount = 4;
constexpr std::uint8_t kTagName = 0xFC, kTagSerialText = 0xFF, kTagDummy = 0x10;
constexpr int kTextLength = 13;
constexpr int kYearBase = 1990;

std::size_t at(int i) {
    return static_cast<std::size_t>(i);
}

bool isTiming(const Block& b, int offset) {
    return b[at(offset)] != 0 || b[at(offset) + 1] != 0;
}

// The descriptor with this tag, else an unused one; -1 when all four are taken.
int descriptorSlot(const Block& b, std::uint8_t tag) {
    int free = -1;
    for (int i = 0; i < kDescriptorCount; ++i) {
        const int off = kFirstDescriptor + i * kTimingSize;
        if (isTiming(b, off))
            continue;
        if (b[at(off) + 3] == tag)
            return off;
        if (b[at(off) + 3] == kTagDummy && free < 0)
            free = off;
    }
    return free;
}

EditResult setText(Model& m, std::uint8_t tag, std::string_view text, const char* what) {
    if (text.size() > kTextLength)
        return fail(std::string(what) + " takes at most 13 characters");
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
            return fail(std::string(what) + " takes printable ASCII only");
    const int off = descriptorSlot(m.base, tag);
    if (off < 0)
        return fail("no free descriptor in the base block for the " + std::string(what));
    std::fill_n(m.base.begin() + off, kTimingSize, 0);
    m.base[at(off) + 3] = tag;
    for (int i = 0; i < kTextLength; ++i) {
        const std::size_t p = at(off + 5 + i);
        if (i < static_cast<int>(text.size()))
            m.base[p] = static_cast<std::uint8_t>(text[at(i)]);
        else
            m.base[p] = i == static_cast<int>(text.size()) ? 0x0A : 0x20;
    }
    markEdited(m, 0);
    return {};
}

std::string readText(const Block& b, std::uint8_t tag) {
    for (int i = 0; i < kDescriptorCount; ++i) {
        const int off = kFirstDescriptor + i * kTimingSize;
        if (isTiming(b, off) || b[at(off) + 3] != tag)
            continue;
        std::string s;
        for (int k = 0; k < kTextLength && b[at(off + 5 + k)] != 0x0A; ++k)
            s += static_cast<char>(b[at(off + 5 + k)]);
        while (!s.empty() && s.back() == ' ')
            s.pop_back();
        return s;
    }
    return {};
}

Timing timingOf(const VicTiming& v, int widthMm, int heightMm) {
    const int hBlank = v.hFront + v.hSync + v.hBack, vBlank = v.vFront + v.vSync + v.vBack;
    const int clock = v.pixelKhz / 10;
    auto lo = [](int x) { return static_cast<std::uint8_t>(x & 0xFF); };
    auto hi = [](int a, int b) { return static_cast<std::uint8_t>(((a >> 8) << 4) | (b >> 8)); };
    return {
        lo(clock),
        lo(clock >> 8),
        lo(v.hActive),
        lo(hBlank),
        hi(v.hActive, hBlank),
        lo(v.vActive),
        lo(vBlank),
        hi(v.vActive, vBlank),
        lo(v.hFront),
        lo(v.hSync),
        static_cast<std::uint8_t>(((v.vFront & 0x0F) << 4) | (v.vSync & 0x0F)),
        static_cast<std::uint8_t>(((v.hFront >> 8) << 6) | ((v.hSync >> 8) << 4) |
                                  ((v.vFront >> 4) << 2) | (v.vSync >> 4)),
        lo(widthMm),
        lo(heightMm),
        hi(widthMm, heightMm),
        0,
        0,
        static_cast<std::uint8_t>((v.interlaced ? 0x80 : 0) | 0x18 | (v.positiveSync ? 0x06 : 0))};
}

} // namespace

EditResult fail(std::string message) {
    return {false, std::move(message)};
}

EditResult checkRoom(const Model& m) {
    for (std::size_t i = 0; i < m.extensions.size(); ++i)
        if (m.extensions[i].isCta && ctaFreeBytes(m.extensions[i].cta) < 0)
            return fail("no room left in CTA extension block " + std::to_string(i + 1));
    return {};
}

Extension* ctaOf(Model& m, const DataBlock* block) {
    for (Extension& e : m.extensions)
        for (const DataBlock& db : e.cta.dataBlocks)
            if (&db == block)
                return &e;
    return nullptr;
}

void markCta(Model& m, const DataBlock* block) {
    for (std::size_t i = 0; i < m.extensions.size(); ++i)
        if (ctaOf(m, block) == &m.extensions[i])
            markEdited(m, static_cast<int>(i + 1));
}

DataBlock* findOrAdd(Model& m, BlockKind kind, std::string& why) {
    std::vector<DataBlock*> found = blocksOf(m, kind);
    if (!found.empty())
        return found.front();
    Extension* e = editableCta(m, true);
    if (!e) {
        why = "no CTA extension that can be edited";
        return nullptr;
    }
    // The Forum block goes right after the HDMI vendor block, as sinks expect.
    auto pos = e->cta.dataBlocks.end();
    if (kind == BlockKind::HdmiForum)
        for (auto it = e->cta.dataBlocks.begin(); it != e->cta.dataBlocks.end(); ++it)
            if (kindOf(*it) == BlockKind::HdmiVendor)
                pos = it + 1;
    return &*e->cta.dataBlocks.insert(pos, makeDataBlock(kind));
}

EditResult editCopy(Model& m, const std::function<EditResult(Model&)>& change) {
    Model next = m;
    EditResult r = change(next);
    if (EditResult room = r.ok ? checkRoom(next) : EditResult{}; !room.ok)
        r = room;
    if (r.ok) {
        markEdited(next, 0); // even an edit that changed nothing writes a whole, valid EDID
        m = std::move(next);
    }
    return r;
}

Identity identityOf(const Model& m) {
    Identity id;
    const int maker = (m.base[8] << 8) | m.base[9];
    for (int shift : {10, 5, 0})
        id.manufacturer += static_cast<char>('@' + ((maker >> shift) & 0x1F));
    id.productCode = m.base[10] | (m.base[11] << 8);
    id.serial = m.base[12] | (m.base[13] << 8) | (m.base[14] << 16) |
                (static_cast<std::uint32_t>(m.base[15]) << 24);
    id.week = m.base[16];
    id.year = kYearBase + m.base[17];
    id.name = readText(m.base, kTagName);
    id.serialText = readText(m.base, kTagSerialText);
    return id;
}

EditResult setManufacturer(Model& m, std::string_view letters) {
    if (letters.size() != 3 ||
        !std::all_of(letters.begin(), letters.end(), [](char c) { return c >= 'A' && c <= 'Z'; }))
        return fail("a manufacturer is three capital letters A-Z");
    const int v = ((letters[0] - '@') << 10) | ((letters[1] - '@') << 5) | (letters[2] - '@');
    m.base[8] = static_cast<std::uint8_t>(v >> 8);
    m.base[9] = static_cast<std::uint8_t>(v & 0xFF);
    markEdited(m, 0);
    return {};
}

EditResult setProductCode(Model& m, int code) {
    if (code < 0 || code > 0xFFFF)
        return fail("a product code is 0 to 65535");
    m.base[10] = static_cast<std::uint8_t>(code & 0xFF);
    m.base[11] = static_cast<std::uint8_t>(code >> 8);
    markEdited(m, 0);
    return {};
}

EditResult setSerialNumber(Model& m, std::uint32_t serial) {
    for (int i = 0; i < 4; ++i)
        m.base[at(12 + i)] = static_cast<std::uint8_t>(serial >> (8 * i));
    markEdited(m, 0);
    return {};
}

EditResult setManufactureDate(Model& m, int week, int year) {
    if (!(week >= 0 && week <= 54) && week != 255)
        return fail("the week is 0 to 54, or 255 for a model year");
    if (year < kYearBase || year > kYearBase + 255)
        return fail("the year is 1990 to 2245");
    m.base[16] = static_cast<std::uint8_t>(week);
    m.base[17] = static_cast<std::uint8_t>(year - kYearBase);
    markEdited(m, 0);
    return {};
}

EditResult setDisplayName(Model& m, std::string_view text) {
    return setText(m, kTagName, text, "display name");
}

EditResult setSerialText(Model& m, std::string_view text) {
    return setText(m, kTagSerialText, text, "serial text");
}

EditResult setPreferredVic(Model& m, int vic) {
    const std::optional<VicTiming> t = vicTiming(vic);
    if (!t)
        return fail("no timing known for VIC " + std::to_string(vic));
    if (const std::string why = dtdProblem(*t); !why.empty())
        return fail(why);
    Block& b = m.base;
    if (!isTiming(b, kFirstDescriptor) && b[kFirstDescriptor + 3] != kTagDummy) {
        // Move the descriptor in the way to a free slot.
        const int free = descriptorSlot(b, kTagDummy);
        if (free < 0 || free == kFirstDescriptor)
            return fail("no free descriptor for the preferred timing");
        std::copy_n(b.begin() + kFirstDescriptor, kTimingSize, b.begin() + free);
    }
    const int wmm = b[21] * 10, hmm = b[22] * 10;
    const Timing timing = timingOf(*t, wmm, hmm);
    std::copy(timing.begin(), timing.end(), b.begin() + kFirstDescriptor);
    b[24] |= 0x02; // the first detailed timing is the preferred one
    markEdited(m, 0);
    return {};
}
} // namespace edid
