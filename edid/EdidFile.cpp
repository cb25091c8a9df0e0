#include "edid/EdidFile.h"

#include <QFile>
#include <QIODevice>
#include <QSaveFile>

#include <algorithm>

bool readEdidFileBuffer(QIODevice& in, QByteArray& buffer) {
    buffer = QByteArray(kEdidFileBufferSize, '\0');
    qint64 total = 0;
    // A device may hand out less than asked for; keep reading to the limit or the end.
    while (total < kEdidFileBufferSize) {
        const qint64 got = in.read(buffer.data() + total, kEdidFileBufferSize - total);
        if (got < 0)
            return false;
        if (got == 0)
            break;
        total += got;
    }
    return true;
}

bool isBinaryEdidFile(const QByteArray& buffer) {
    return buffer.isEmpty() || buffer.at(0) == '\0';
}

EdidImage edidImageFromFile(const QByteArray& buffer) {
    EdidImage image{};
    const int count = std::min<int>(kEdidSize, static_cast<int>(buffer.size()));
    for (int i = 0; i < count; ++i)
        image[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(buffer.at(i));
    return image;
}

QByteArray convertEdidDumpLineEnds(const QByteArray& buffer) {
    const int size = std::min<int>(kEdidFileBufferSize, static_cast<int>(buffer.size()));
    QByteArray text;
    text.reserve(size);
    int column = 0;
    for (int i = 0; i < size; ++i) {
        const char c = buffer.at(i);
        if (c == '\0')
            break;
        ++column;
        if (column == kEdidDumpLineEndColumn && c == ' ') {
            if (i + 2 < size && buffer.at(i + 1) == '\r' && buffer.at(i + 2) == '\n') {
                text.append('\n');
                column = 0;
                i += 2;
                continue;
            }
            if (i + 1 < size && buffer.at(i + 1) == '\n') {
                text.append('\n');
                column = 0;
                i += 1;
                continue;
            }
        }
        text.append(c);
    }
    return text;
}

bool writeEdidBytes(QIODevice& out, const EdidImage& image) {
    const char* data = reinterpret_cast<const char*>(image.data());
    qint64 written = 0;
    // A full disk may take part of a write; the next attempt then reports why.
    while (written < kEdidSize) {
        const qint64 n = out.write(data + written, kEdidSize - written);
        if (n <= 0)
            return false;
        written += n;
    }
    return true;
}

bool loadEdidFile(const QString& path, EdidImage* image, QString* error) {
    QFile file(path);
    QByteArray buffer;
    if (!file.open(QIODevice::ReadOnly) || !readEdidFileBuffer(file, buffer)) {
        *error = QStringLiteral("Cannot read file %1:\n%2.").arg(path, file.errorString());
        return false;
    }
    if (isBinaryEdidFile(buffer)) {
        *image = edidImageFromFile(buffer);
        return true;
    }
    if (parseEdidText(QString::fromLatin1(convertEdidDumpLineEnds(buffer)), *image) < 0) {
        *error = QStringLiteral("Hex Format Error");
        return false;
    }
    return true;
}

bool saveEdidFile(const QString& path, const EdidImage& image, bool binary, QString* error) {
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    if (ok && binary) {
        ok = writeEdidBytes(file, image);
    } else if (ok) {
        const QByteArray text = edidHexText(image).toLatin1();
        ok = file.write(text) == text.size();
    }
    if (!ok || !file.commit()) {
        *error = QStringLiteral("Cannot write file %1:\n%2.").arg(path, file.errorString());
        return false;
    }
    return true;
}

namespace {

// Hex bytes separated by white space; "0x" prefixes and a trailing checksum
// line of edid-decode's dumps are not special: every token must be one byte.
bool parseHexBytes(const QByteArray& text, std::vector<std::uint8_t>* bytes) {
    for (QByteArray token : text.simplified().split(' ')) {
        if (token.isEmpty())
            continue;
        if (token.startsWith("0x") || token.startsWith("0X"))
            token = token.mid(2);
        bool ok = false;
        const uint value = token.toUInt(&ok, 16);
        if (!ok || token.size() != 2)
            return false;
        bytes->push_back(static_cast<std::uint8_t>(value));
    }
    return true;
}

} // namespace

bool loadEdidBlocks(const QString& path, std::vector<std::uint8_t>* bytes, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Cannot read file %1:\n%2.").arg(path, file.errorString());
        return false;
    }
    // Hex text takes three characters a byte, and a little more for line ends.
    const QByteArray data = file.read(4 * kEdidMaxFileSize + 1);
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("Cannot read file %1:\n%2.").arg(path, file.errorString());
        return false;
    }
    bytes->clear();
    if (isBinaryEdidFile(data)) {
        bytes->assign(data.begin(), data.end());
    } else if (!parseHexBytes(data, bytes)) {
        *error = QStringLiteral("Hex Format Error");
        return false;
    }
    const int size = static_cast<int>(bytes->size());
    if (size == 0 || size % kEdidBlockSize || size > kEdidMaxFileSize) {
        *error = QStringLiteral("%1 holds %2 bytes, not a whole number of 128-byte blocks up to "
                                "32 KiB")
                     .arg(path)
                     .arg(size);
        return false;
    }
    return true;
}
