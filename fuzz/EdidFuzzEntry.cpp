#include "fuzz/EdidFuzzEntry.h"

#include "edid/EdidFile.h"
#include "edid/EdidText.h"

#include <QBuffer>
#include <QString>

#include <algorithm>
#include <cstdlib>

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

// Whatever the image, the program's own text of it must parse back to it.
void requireRoundTrip(const EdidImage& image) {
    EdidImage again{};
    require(parseEdidText(edidHexText(image), again) == kEdidSize);
    require(again == image);
}

} // namespace

int edidFuzzOne(const std::uint8_t* data, std::size_t size) {
    // Files may be larger than what the program reads; a little larger is enough.
    QByteArray contents(reinterpret_cast<const char*>(data),
                        static_cast<int>(std::min<std::size_t>(size, 2 * kEdidFileBufferSize)));
    QBuffer file(&contents);
    file.open(QIODevice::ReadOnly);
    QByteArray buffer;
    require(readEdidFileBuffer(file, buffer));
    require(buffer.size() == kEdidFileBufferSize);

    EdidImage image{};
    if (isBinaryEdidFile(buffer)) {
        image = edidImageFromFile(buffer);
    } else {
        const QByteArray text = convertEdidDumpLineEnds(buffer);
        require(text.size() <= buffer.size());
        const int groups = parseEdidText(QString::fromLatin1(text), image);
        require(groups >= -1 && groups <= kEdidParseLimit / 3 + 1);
    }
    requireRoundTrip(image);

    EdidImage fixed = image;
    setEdidChecksums(fixed);
    require(edidChecksumsCorrect(fixed));
    return 0;
}
