#include "edid/EdidModel.h"

#include <algorithm>

namespace edid {
namespace {

constexpr std::array<std::uint8_t, 8> kHeader = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr int kExtensionCountByte = 126;
constexpr int kChecksumByte = 127;
constexpr int kCtaDataStart = 4;
constexpr int kMaxPayload = 31;

std::uint8_t checksumOf(const Block& b) {
    unsigned sum = 0;
    for (int i = 0; i < kChecksumByte; ++i)
        sum += b[static_cast<std::size_t>(i)];
    return static_cast<std::uint8_t>((256 - (sum & 0xFF)) & 0xFF);
}

bool checksumGood(const Block& b) {
    return checksumOf(b) == b[kChecksumByte];
}

// The data block collection and the timings after it; false with the reason
// when the block's own offsets contradict each other.
bool readCta(const Block& b, CtaExtension& cta, std::string& why) {
    cta = CtaExtension{};
    cta.revision = b[1];
    cta.flags = b[3];
    const int d = b[2];
    if (d == 0)
        return true; // no data blocks and no timings
    if (d < kCtaDataStart || d > kChecksumByte) {
        why = "timing offset " + std::to_string(d) + " is outside the block";
        return false;
    }
    DataBlockList list = readDataBlocks(b, kCtaDataStart, d, d);
    if (list.cutAt >= 0) {
        why = "data block at byte " + std::to_string(list.cutAt) + " runs past the timing offset";
        return false;
    }
    cta.dataBlocks = std::move(list.blocks);
    readCtaSlots(b, d, cta);
    return true;
}

constexpr int kDisplayIdHeader = 5; // tag, version, length, product type, extension count
constexpr int kDisplayIdBlockHeader = 3;

int dataBytes(const CtaExtension& cta) {
    int n = 0;
    for (const DataBlock& db : cta.dataBlocks)
        n += 1 + static_cast<int>(db.payload.size());
    return n;
}

Block writeCta(const CtaExtension& cta) {
    Block b{};
    b[0] = kCtaTag;
    b[1] = cta.revision;
    const int data = dataBytes(cta);
    b[2] = static_cast<std::uint8_t>(
        (data == 0 && cta.timings.empty()) ? 0 : std::min(kCtaDataStart + data, kChecksumByte));
    b[3] = cta.flags;
    std::size_t at = kCtaDataStart;
    for (const DataBlock& db : cta.dataBlocks) {
        const std::size_t len = std::min<std::size_t>(db.payload.size(), kMaxPayload);
        if (at + 1 + len > kChecksumByte)
            break; // edits refuse to overfill; this only guards the array
        b[at] = static_cast<std::uint8_t>((db.tag << 5) | len);
        std::copy_n(db.payload.begin(), len, b.begin() + static_cast<std::ptrdiff_t>(at) + 1);
        at += 1 + len;
    }
    for (const Timing& t : cta.timings) {
        if (at + kTimingSize > kChecksumByte)
            break;
        std::copy(t.begin(), t.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
        at += kTimingSize;
    }
    b[kChecksumByte] = checksumOf(b);
    return b;
}

} // namespace

void readCtaSlots(const Block& b, int from, CtaExtension& cta) {
    const auto slot = [&b](int at) {
        Timing t{};
        std::copy_n(b.begin() + at, kTimingSize, t.begin());
        return t;
    };
    int at = std::max(from, kCtaDataStart);
    for (; at + kTimingSize <= kChecksumByte; at += kTimingSize) {
        if (b[static_cast<std::size_t>(at)] == 0 && b[static_cast<std::size_t>(at) + 1] == 0)
            break;
        cta.timings.push_back(slot(at));
    }
    // A descriptor has a zero clock and a zero byte 2; its tag comes next.
    for (; at + kTimingSize <= kChecksumByte; at += kTimingSize) {
        const Timing t = slot(at);
        if (t[0] || t[1] || t[2] || !t[3])
            break;
        cta.descriptors.push_back(t);
    }
}

std::uint32_t ouiOf(const DataBlock& b) {
    if (b.payload.size() < 3)
        return 0;
    return b.payload[0] | (b.payload[1] << 8) | (static_cast<std::uint32_t>(b.payload[2]) << 16);
}

DataBlockList readDataBlocks(std::span<const std::uint8_t> bytes, int start, int end, int limit) {
    DataBlockList out;
    limit = std::min(limit, static_cast<int>(bytes.size()));
    end = std::min(end, limit);
    for (int at = start; at >= 0 && at < end;) {
        const int len = bytes[static_cast<std::size_t>(at)] & 0x1F;
        if (at + 1 + len > limit) {
            out.cutAt = at;
            break;
        }
        DataBlock db;
        db.tag = static_cast<std::uint8_t>(bytes[static_cast<std::size_t>(at)] >> 5);
        db.payload.assign(bytes.begin() + at + 1, bytes.begin() + at + 1 + len);
        db.offset = at;
        out.blocks.push_back(std::move(db));
        at += 1 + len;
    }
    return out;
}

DisplayIdSection readDisplayId(const Block& b) {
    DisplayIdSection s;
    s.version = b[1];
    s.length = b[2];
    s.productType = b[3];
    s.extensionCount = b[4];
    const int end = kDisplayIdHeader + s.length;
    s.fits = end < kChecksumByte;
    if (!s.fits)
        return s;
    for (int at = kDisplayIdHeader; at + kDisplayIdBlockHeader <= end;) {
        const auto i = static_cast<std::size_t>(at);
        const int size = b[i + 2];
        if (b[i] == 0 && b[i + 1] == 0 && size == 0)
            break; // padding
        if (at + kDisplayIdBlockHeader + size > end) {
            s.cutAt = at;
            break;
        }
        DisplayIdBlock db;
        db.tag = b[i];
        db.revision = b[i + 1];
        db.offset = at;
        const int first = at + kDisplayIdBlockHeader;
        db.payload.assign(b.begin() + first, b.begin() + first + size);
        if (db.tag == kDisplayIdCta)
            db.cta = readDataBlocks(b, first, first + size, first + size);
        s.blocks.push_back(std::move(db));
        at = first + size;
    }
    return s;
}

Extension readExtension(const Block& b) {
    Extension e;
    e.original = b;
    if (b[0] == kCtaTag) {
        std::string why;
        e.isCta = readCta(b, e.cta, why);
        if (!e.isCta)
            e.unreadable = why;
    } else if (b[0] == kDisplayIdTag) {
        e.isDisplayId = true;
        e.displayId = readDisplayId(b);
    }
    return e;
}

BlockKind kindOf(const DataBlock& b) {
    switch (b.tag) {
    case kTagAudio:
        return BlockKind::Audio;
    case kTagVideo:
        return BlockKind::Video;
    case kTagSpeakers:
        return BlockKind::SpeakerAllocation;
    case kTagVendor:
        if (ouiOf(b) == kOuiHdmi)
            return BlockKind::HdmiVendor;
        if (ouiOf(b) == kOuiHdmiForum)
            return BlockKind::HdmiForum;
        return BlockKind::Other;
    case kTagExtended:
        if (b.payload.empty())
            return BlockKind::Other;
        switch (b.payload[0]) {
        case kExtVideoCapability:
            return BlockKind::VideoCapability;
        case kExtColorimetry:
            return BlockKind::Colorimetry;
        case kExtHdrStatic:
            return BlockKind::HdrStatic;
        case kExtY420Video:
            return BlockKind::Y420Video;
        case kExtY420Map:
            return BlockKind::Y420CapabilityMap;
        case kExtHdmiForumSink:
            return BlockKind::HdmiForumSink;
        default:
            return BlockKind::Other;
        }
    default:
        return BlockKind::Other;
    }
}

DataBlock makeDataBlock(BlockKind kind) {
    DataBlock b;
    switch (kind) {
    case BlockKind::Audio:
        b.tag = kTagAudio;
        break;
    case BlockKind::Video:
        b.tag = kTagVideo;
        break;
    case BlockKind::SpeakerAllocation:
        b.tag = kTagSpeakers;
        b.payload = {0, 0, 0};
        break;
    case BlockKind::HdmiVendor: // physical address unknown until set
        b.tag = kTagVendor;
        b.payload = {0x03, 0x0C, 0x00, 0xFF, 0xFF};
        break;
    case BlockKind::HdmiForum: // version 1, no rate, no flags
        b.tag = kTagVendor;
        b.payload = {0xD8, 0x5D, 0xC4, 0x01, 0x00, 0x00, 0x00};
        break;
    case BlockKind::VideoCapability:
        b.tag = kTagExtended;
        b.payload = {kExtVideoCapability, 0x0B}; // IT underscanned, CE either way
        break;
    case BlockKind::Colorimetry:
        b.tag = kTagExtended;
        b.payload = {kExtColorimetry, 0x00, 0x00};
        break;
    case BlockKind::HdrStatic: // static metadata type 1
        b.tag = kTagExtended;
        b.payload = {kExtHdrStatic, 0x00, 0x01};
        break;
    case BlockKind::Y420Video:
        b.tag = kTagExtended;
        b.payload = {kExtY420Video};
        break;
    case BlockKind::Y420CapabilityMap:
        b.tag = kTagExtended;
        b.payload = {kExtY420Map};
        break;
    case BlockKind::HdmiForumSink: // version 1, no rate, no flags
        b.tag = kTagExtended;
        b.payload = {kExtHdmiForumSink, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00};
        break;
    case BlockKind::Other:
        break;
    }
    return b;
}

ParseResult parse(std::span<const std::uint8_t> bytes, Model& model) {
    model = Model{};
    if (bytes.empty() || bytes.size() % kBlockSize != 0)
        return {false, "an EDID is whole blocks of 128 bytes; this is " +
                           std::to_string(bytes.size()) + " bytes"};
    if (bytes.size() > static_cast<std::size_t>(kBlockSize) * kMaxBlocks)
        return {false, "more than 256 blocks"};
    if (!std::equal(kHeader.begin(), kHeader.end(), bytes.begin()))
        return {false, "the EDID header 00 FF FF FF FF FF FF 00 is missing"};
    std::copy_n(bytes.begin(), kBlockSize, model.base.begin());
    for (std::size_t at = kBlockSize; at < bytes.size(); at += kBlockSize) {
        if (std::equal(kHeader.begin(), kHeader.end(),
                       bytes.begin() + static_cast<std::ptrdiff_t>(at))) {
            model.trailing.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end());
            break;
        }
        Block b{};
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), kBlockSize, b.begin());
        model.extensions.push_back(readExtension(b));
    }
    return {true, {}};
}

void markEdited(Model& model, int block) {
    if (block == 0)
        model.baseDirty = true;
    else if (block > 0 && block <= static_cast<int>(model.extensions.size()))
        model.extensions[static_cast<std::size_t>(block - 1)].dirty = true;
}

std::vector<std::uint8_t> write(Model& model) {
    model.repairs.clear();
    bool edited = model.baseDirty;
    for (const Extension& e : model.extensions)
        edited = edited || e.dirty;

    std::vector<std::uint8_t> out;
    out.reserve((1 + model.extensions.size()) * kBlockSize);
    Block base = model.base;
    if (edited) {
        const auto count = static_cast<std::uint8_t>(
            std::min<std::size_t>(model.extensions.size(), kMaxBlocks - 1));
        if (base[kExtensionCountByte] != count)
            model.repairs.push_back("repaired: extension count " +
                                    std::to_string(base[kExtensionCountByte]) + " is now " +
                                    std::to_string(count));
        base[kExtensionCountByte] = count;
        if (!model.baseDirty && !checksumGood(base))
            model.repairs.push_back("repaired: checksum of block 0");
        base[kChecksumByte] = checksumOf(base);
    }
    out.insert(out.end(), base.begin(), base.end());
    for (std::size_t i = 0; i < model.extensions.size(); ++i) {
        const Extension& e = model.extensions[i];
        Block b = e.original;
        if (e.dirty && e.isCta) {
            b = writeCta(e.cta);
        } else if (edited && !checksumGood(b)) {
            model.repairs.push_back("repaired: checksum of block " + std::to_string(i + 1));
            b[kChecksumByte] = checksumOf(b);
        } else if (e.dirty) {
            b[kChecksumByte] = checksumOf(b);
        }
        out.insert(out.end(), b.begin(), b.end());
    }
    if (edited && !model.trailing.empty()) {
        model.repairs.push_back("repaired: dropped " + std::to_string(model.trailing.size()) +
                                " bytes that repeat the EDID after its last extension");
        model.trailing.clear();
    }
    out.insert(out.end(), model.trailing.begin(), model.trailing.end());
    return out;
}

int ctaFreeBytes(const CtaExtension& cta) {
    return kChecksumByte - kCtaDataStart - dataBytes(cta) -
           kTimingSize * static_cast<int>(cta.timings.size());
}

Extension* editableCta(Model& model, bool create) {
    for (Extension& e : model.extensions) {
        if (e.isCta)
            return &e;
        if (e.original[0] == kCtaTag)
            return nullptr; // unreadable: adding a second one would hide the fault
    }
    if (!create || model.extensions.size() >= kMaxBlocks - 1)
        return nullptr;
    Extension e;
    e.isCta = true;
    e.dirty = true;
    e.original[0] = kCtaTag;
    e.original[1] = 3;
    // Underscanned IT formats and the base block's preferred timing as native,
    // as sinks normally say.
    e.cta.flags = kCtaUnderscan | 1;
    model.extensions.push_back(std::move(e));
    model.baseDirty = true; // the extension count changes
    return &model.extensions.back();
}

std::vector<DataBlock*> blocksOf(Model& model, BlockKind kind) {
    std::vector<DataBlock*> out;
    for (Extension& e : model.extensions)
        if (e.isCta)
            for (DataBlock& db : e.cta.dataBlocks)
                if (kindOf(db) == kind)
                    out.push_back(&db);
    return out;
}

std::vector<const DataBlock*> blocksOf(const Model& model, BlockKind kind) {
    std::vector<const DataBlock*> out;
    for (const Extension& e : model.extensions)
        if (e.isCta)
            for (const DataBlock& db : e.cta.dataBlocks)
                if (kindOf(db) == kind)
                    out.push_back(&db);
    return out;
}

std::vector<const DataBlock*> allBlocksOf(const Model& model, BlockKind kind) {
    std::vector<const DataBlock*> out;
    const auto add = [&](const std::vector<DataBlock>& blocks) {
        for (const DataBlock& db : blocks)
            if (kindOf(db) == kind)
                out.push_back(&db);
    };
    for (const Extension& e : model.extensions) {
        if (e.isCta)
            add(e.cta.dataBlocks);
        if (e.isDisplayId)
            for (const DisplayIdBlock& b : e.displayId.blocks)
                add(b.cta.blocks);
    }
    return out;
}

int vicOf(std::uint8_t svd) {
    return nativeSvd(svd) ? svd & 0x7F : svd;
}

bool nativeSvd(std::uint8_t svd) {
    return svd >= 129 && svd <= 192;
}

const DataBlock* y420Map(const CtaExtension& cta) {
    const DataBlock* map = nullptr;
    for (const DataBlock& db : cta.dataBlocks)
        if (kindOf(db) == BlockKind::Y420CapabilityMap)
            map = &db;
    return map;
}

bool y420Mapped(const DataBlock* map, int position) {
    if (!map)
        return false;
    const std::size_t byte = 1 + static_cast<std::size_t>(position / 8);
    return map->payload.size() <= 1 ||
           (byte < map->payload.size() && ((map->payload[byte] >> (position % 8)) & 1));
}

} // namespace edid
