#include "edid/EdidText.h"

#include <QByteArray>
#include <QString>

#include <cstdio>

namespace {

int digitValue(unsigned char c) {
    return c <= '9' ? c - 48 : c - 55;
}

bool isGroupEnd(char c) {
    return c == ' ' || c == '\n';
}

} // namespace

int parseEdidText(const QString& text, EdidImage& image) {
    image.fill(0);
    const QByteArray bytes = text.toUpper().toLatin1().left(kEdidParseLimit);
    const int length = static_cast<int>(bytes.size());
    int groups = 0;
    for (int pos = 0; pos < length; pos += 3) {
        // A lone last character has no second digit to pair with.
        if (pos + 1 >= length)
            return -1;
        if (pos + 2 < length && !isGroupEnd(bytes[pos + 2]))
            return -1;
        const int value = digitValue(static_cast<unsigned char>(bytes[pos])) * 16 +
                          digitValue(static_cast<unsigned char>(bytes[pos + 1]));
        if (groups < kEdidSize)
            image[static_cast<std::size_t>(groups)] = static_cast<std::uint8_t>(value & 0xFF);
        ++groups;
    }
    return groups;
}

std::uint8_t edidBlockChecksum(const std::uint8_t* block) {
    unsigned sum = 0;
    for (int i = 0; i < kEdidBlockSize - 1; ++i)
        sum += block[i];
    return static_cast<std::uint8_t>((256 - (sum & 0xFF)) & 0xFF);
}

bool edidChecksumsCorrect(const EdidImage& image) {
    return edidBlockChecksum(image.data()) == image[kEdidBlockSize - 1] &&
           edidBlockChecksum(image.data() + kEdidBlockSize) == image[kEdidSize - 1];
}

void setEdidChecksums(EdidImage& image) {
    image[kEdidBlockSize - 1] = edidBlockChecksum(image.data());
    image[kEdidSize - 1] = edidBlockChecksum(image.data() + kEdidBlockSize);
}

int appendEdidTextLine(char* buffer, int capacity, int used, const std::uint8_t* bytes, int count) {
    if (count <= 0 || used < 0 || used + 3 * count + 1 > capacity)
        return used;
    for (int i = 0; i < count; ++i)
        std::snprintf(buffer + used + 3 * i, 4, "%02X ", bytes[i]);
    used += 3 * count;
    buffer[used - 1] = '\n';
    buffer[used] = '\0';
    return used;
}

QString edidHexText(const EdidImage& image) {
    char text[kEdidTextLength + 1] = {};
    int used = 0;
    for (int line = 0; line < kEdidSize / kEdidBytesPerLine; ++line)
        used = appendEdidTextLine(text, sizeof text, used, image.data() + kEdidBytesPerLine * line,
                                  kEdidBytesPerLine);
    return QString::fromLatin1(text, used);
}
