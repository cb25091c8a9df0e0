#include "edid/VicTimings.h"

#include "status/VideoFormat.h"

#include <array>
#include <cstdio>

namespace edid {
namespace {

// Clock in kHz; horizontal front porch, sync, back porch; the same vertically.
constexpr std::array<VicTiming, 38> kTimings = {{
    {1, 25175, 640, 16, 96, 48, 480, 10, 2, 33, false, false, 4, 3},
    {2, 27000, 720, 16, 62, 60, 480, 9, 6, 30, false, false, 4, 3},
    {3, 27000, 720, 16, 62, 60, 480, 9, 6, 30, false, false, 16, 9},
    {4, 74250, 1280, 110, 40, 220, 720, 5, 5, 20, false, true, 16, 9},
    {5, 74250, 1920, 88, 44, 148, 540, 2, 5, 15, true, true, 16, 9},
    {6, 27000, 1440, 38, 124, 114, 240, 4, 3, 15, true, false, 4, 3},
    {7, 27000, 1440, 38, 124, 114, 240, 4, 3, 15, true, false, 16, 9},
    {16, 148500, 1920, 88, 44, 148, 1080, 4, 5, 36, false, true, 16, 9},
    {17, 27000, 720, 12, 64, 68, 576, 5, 5, 39, false, false, 4, 3},
    {18, 27000, 720, 12, 64, 68, 576, 5, 5, 39, false, false, 16, 9},
    {19, 74250, 1280, 440, 40, 220, 720, 5, 5, 20, false, true, 16, 9},
    {20, 74250, 1920, 528, 44, 148, 540, 2, 5, 15, true, true, 16, 9},
    {21, 27000, 1440, 24, 126, 138, 288, 2, 3, 19, true, false, 4, 3},
    {22, 27000, 1440, 24, 126, 138, 288, 2, 3, 19, true, false, 16, 9},
    {31, 148500, 1920, 528, 44, 148, 1080, 4, 5, 36, false, true, 16, 9},
    {32, 74250, 1920, 638, 44, 148, 1080, 4, 5, 36, false, true, 16, 9},
    {33, 74250, 1920, 528, 44, 148, 1080, 4, 5, 36, false, true, 16, 9},
    {34, 74250, 1920, 88, 44, 148, 1080, 4, 5, 36, false, true, 16, 9},
    {60, 59400, 1280, 1760, 40, 220, 720, 5, 5, 20, false, true, 16, 9},
    {61, 74250, 1280, 2420, 40, 220, 720, 5, 5, 20, false, true, 16, 9},
    {62, 74250, 1280, 1760, 40, 220, 720, 5, 5, 20, false, true, 16, 9},
    {63, 297000, 1920, 88, 44, 148, 1080, 4, 5, 36, false, true, 16, 9},
    {64, 297000, 1920, 528, 44, 148, 1080, 4, 5, 36, false, true, 16, 9},
    {93, 297000, 3840, 1276, 88, 296, 2160, 8, 10, 72, false, true, 16, 9},
    {94, 297000, 3840, 1056, 88, 296, 2160, 8, 10, 72, false, true, 16, 9},
    {95, 297000, 3840, 176, 88, 296, 2160, 8, 10, 72, false, true, 16, 9},
    {96, 594000, 3840, 1056, 88, 296, 2160, 8, 10, 72, false, true, 16, 9},
    {97, 594000, 3840, 176, 88, 296, 2160, 8, 10, 72, false, true, 16, 9},
    {98, 297000, 4096, 1020, 88, 296, 2160, 8, 10, 72, false, true, 256, 135},
    {99, 297000, 4096, 968, 88, 128, 2160, 8, 10, 72, false, true, 256, 135},
    {100, 297000, 4096, 88, 88, 128, 2160, 8, 10, 72, false, true, 256, 135},
    {101, 594000, 4096, 968, 88, 128, 2160, 8, 10, 72, false, true, 256, 135},
    {102, 594000, 4096, 88, 88, 128, 2160, 8, 10, 72, false, true, 256, 135},
    {103, 297000, 3840, 1276, 88, 296, 2160, 8, 10, 72, false, true, 64, 27},
    {104, 297000, 3840, 1056, 88, 296, 2160, 8, 10, 72, false, true, 64, 27},
    {105, 297000, 3840, 176, 88, 296, 2160, 8, 10, 72, false, true, 64, 27},
    {106, 594000, 3840, 1056, 88, 296, 2160, 8, 10, 72, false, true, 64, 27},
    {107, 594000, 3840, 176, 88, 296, 2160, 8, 10, 72, false, true, 64, 27},
}};

static_assert(kLastNamedVic == kVideoFormatCount - 1);

struct Field {
    int value, max;
    const char* what;
};

std::string timingName(const VicTiming& t) {
    if (*vicName(t.vic))
        return vicName(t.vic);
    char name[48];
    std::snprintf(name, sizeof name, "%dx%d%c (VIC %d)", t.hActive,
                  t.vActive * (t.interlaced ? 2 : 1), t.interlaced ? 'i' : 'p', t.vic);
    return name;
}

} // namespace

std::string dtdProblem(const VicTiming& t) {
    const Field fields[] = {
        {t.hActive, 4095, "at most 4095 active pixels"},
        {t.vActive, 4095, "at most 4095 active lines"},
        {t.hFront + t.hSync + t.hBack, 4095, "a horizontal blanking of at most 4095 pixels"},
        {t.vFront + t.vSync + t.vBack, 4095, "a vertical blanking of at most 4095 lines"},
        {t.hFront, 1023, "a horizontal front porch of at most 1023 pixels"},
        {t.hSync, 1023, "a horizontal sync of at most 1023 pixels"},
        {t.vFront, 63, "a vertical front porch of at most 63 lines"},
        {t.vSync, 63, "a vertical sync of at most 63 lines"},
        {t.pixelKhz, 655350, "a pixel clock of at most 655.35 MHz"},
    };
    const std::string prefix = timingName(t) + " cannot be a detailed timing: ";
    if (t.hActive < 1 || t.vActive < 1 || t.pixelKhz < 10 || t.hSync < 1 || t.vSync < 1 ||
        t.hFront < 0 || t.hBack < 0 || t.vFront < 0 || t.vBack < 0)
        return prefix + "it needs active pixels and lines, a sync and a pixel clock";
    for (const Field& f : fields)
        if (f.value > f.max)
            return prefix + "a detailed timing holds " + f.what;
    return {};
}

std::optional<VicTiming> vicTiming(int vic) {
    for (const VicTiming& t : kTimings)
        if (t.vic == vic)
            return t;
    return std::nullopt;
}

const char* vicName(int vic) {
    if (vic > 0 && vic < kVideoFormatCount)
        return videoFormatTable()[static_cast<std::size_t>(vic)].longName;
    return "";
}

} // namespace edid
