#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// An E-EDID as blocks the program can edit by meaning and write back.
//
// Every block keeps the bytes it was read from; only a block an edit touched
// is written anew, so an EDID nobody edited comes back byte for byte, with
// its reserved bits, padding and even wrong checksums. Once any block is
// edited the whole EDID is made consistent: lengths, the timing offset, the
// extension count and every checksum (each such repair is noted).
namespace edid {

constexpr int kBlockSize = 128;
constexpr int kMaxBlocks = 256;
constexpr int kTimingSize = 18;
constexpr std::uint8_t kCtaTag = 0x02;

using Block = std::array<std::uint8_t, kBlockSize>;
using Timing = std::array<std::uint8_t, kTimingSize>;

// CTA-861 data block kinds the edits know; every other block is kept as it is.
enum class BlockKind {
    Audio,
    Video,
    HdmiVendor,
    HdmiForum,
    SpeakerAllocation,
    Colorimetry,
    VideoCapability,
    HdrStatic,
    Y420Video,
    Y420CapabilityMap,
    HdmiForumSink, // the sink capability block: the HDMI Forum fields without an OUI
    Other
};

constexpr std::uint8_t kTagAudio = 1, kTagVideo = 2, kTagVendor = 3, kTagSpeakers = 4,
                       kTagExtended = 7;
constexpr std::uint8_t kExtVideoCapability = 0x00, kExtColorimetry = 0x05, kExtHdrStatic = 0x06,
                       kExtY420Video = 0x0E, kExtY420Map = 0x0F, kExtHdmiForumSink = 0x79;
constexpr std::uint32_t kOuiHdmi = 0x000C03, kOuiHdmiForum = 0xC45DD8;

// One data block: its tag and the bytes after its header byte (an extended
// block's payload starts with its extended tag). `source` says where a merge
// took it from.
struct DataBlock {
    std::uint8_t tag = 0;
    std::vector<std::uint8_t> payload;
    std::string source;
    int offset = -1; // its header byte within the block it was read from; -1: made by an edit
};

BlockKind kindOf(const DataBlock& b);
std::uint32_t ouiOf(const DataBlock& b); // a vendor block's IEEE OUI, 0 when too short

// Data blocks from `start` up to `end` of a block's bytes. Displays ship
// blocks that run past `end`; such a block is still read while it ends
// before `limit`, and the first that does not is left out at `cutAt`.
struct DataBlockList {
    std::vector<DataBlock> blocks;
    int cutAt = -1;
};
DataBlockList readDataBlocks(std::span<const std::uint8_t> bytes, int start, int end, int limit);
DataBlock makeDataBlock(BlockKind kind); // an empty block of that kind, header bytes set

// A CTA-861 extension read into its parts. Bytes past the last timing are
// padding and are zero once the block is written anew.
struct CtaExtension {
    std::uint8_t revision = 3;
    std::uint8_t flags = 0; // byte 3: underscan, basic audio, 4:4:4, 4:2:2, native count
    std::vector<DataBlock> dataBlocks;
    std::vector<Timing> timings;
    // Display descriptors (a name, a serial) after the timings, as read. The
    // block written anew leaves them out, as it always has.
    std::vector<Timing> descriptors;
};

constexpr std::uint8_t kCtaUnderscan = 0x80, kCtaBasicAudio = 0x40, kCtaYcc444 = 0x20,
                       kCtaYcc422 = 0x10;

constexpr std::uint8_t kDisplayIdTag = 0x70;
constexpr std::uint8_t kDisplayIdCta = 0x81; // a DisplayID data block of CTA-861 data blocks

// A DisplayID data block: tag, revision, and the bytes after its 3-byte header.
struct DisplayIdBlock {
    std::uint8_t tag = 0;
    std::uint8_t revision = 0;
    int offset = 0; // its tag byte within the extension block
    std::vector<std::uint8_t> payload;
    DataBlockList cta; // tag 0x81: the CTA-861 data blocks it carries
};

// The DisplayID section of an extension block (read only; it is written back as read).
struct DisplayIdSection {
    std::uint8_t version = 0; // 0x12 is 1.2, 0x20 is 2.0
    int length = 0;           // bytes of data blocks, from byte 5
    std::uint8_t productType = 0, extensionCount = 0;
    bool fits = false; // the section and its checksum end before the block's checksum
    std::vector<DisplayIdBlock> blocks;
    int cutAt = -1; // a data block that runs past the section
};
DisplayIdSection readDisplayId(const Block& b);

// The detailed timings and the display descriptors after them, from byte
// `from` of a CTA-861 block, into `cta` (also for a block whose data blocks
// cannot be read).
void readCtaSlots(const Block& b, int from, CtaExtension& cta);

struct Extension {
    Block original{};
    bool dirty = false;
    bool isCta = false;     // read as CTA-861: its parts below are valid and editable
    std::string unreadable; // why a CTA block could not be read into parts
    CtaExtension cta;
    std::string source;
    bool isDisplayId = false;
    DisplayIdSection displayId;
};

// One extension block read as parse reads it.
Extension readExtension(const Block& b);

struct Model {
    Block base{}; // edited in place; identity accessors read it
    bool baseDirty = false;
    std::vector<Extension> extensions;
    // Blocks after the last extension that repeat the EDID from its header,
    // as dumps of a wrapping memory have; kept until an edit drops them.
    std::vector<std::uint8_t> trailing;
    std::vector<std::string> repairs; // "repaired: ..." notes of the last write
    std::string source;
};

struct ParseResult {
    bool ok = false;
    std::string error;
};

// Takes 1 to 256 whole blocks starting with the EDID header; a block that
// starts with the header again ends the extensions. Garbage gives
// ok = false and an empty model, never a crash.
ParseResult parse(std::span<const std::uint8_t> bytes, Model& model);

// The bytes: untouched blocks as read, edited ones written anew with their
// dependants. Fills model.repairs when an edit also fixed a broken count or
// checksum.
std::vector<std::uint8_t> write(Model& model);

// Room left in a CTA extension for data blocks and timings, in bytes; below
// zero when an edit overfilled it.
int ctaFreeBytes(const CtaExtension& cta);

// The first CTA extension that can be edited; adds one when there is none
// (nullptr when the EDID already has 255 extensions or an unreadable CTA one).
Extension* editableCta(Model& model, bool create);

// Marks a block edited (index 0: the base block, n: extension n).
void markEdited(Model& model, int block);

// The extension's 4:2:0 capability map (nullptr when it has none), and
// whether it marks the video data block's entry at `position` (an empty map
// marks them all).
const DataBlock* y420Map(const CtaExtension& cta);
bool y420Mapped(const DataBlock* map, int position);

// All data blocks of one kind over the readable CTA extensions.
std::vector<DataBlock*> blocksOf(Model& model, BlockKind kind);
std::vector<const DataBlock*> blocksOf(const Model& model, BlockKind kind);
// The same, with the CTA-861 data blocks DisplayID extensions carry (HDR
// and colorimetry of DisplayID 2.0 displays), in block order.
std::vector<const DataBlock*> allBlocksOf(const Model& model, BlockKind kind);

// Decoded video codes of a video or 4:2:0 video block (native flags dropped).
int vicOf(std::uint8_t svd);
bool nativeSvd(std::uint8_t svd);

} // namespace edid
