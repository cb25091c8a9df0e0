#pragma once

#include "edid/EdidText.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

class QIODevice;

// What the program reads of an EDID file: never more than this.
constexpr int kEdidFileBufferSize = 1024;
// A text dump in the layout with a space after the 16th byte of each line
// has that space at this column.
constexpr int kEdidDumpLineEndColumn = 48;

// Reads at most 1024 bytes into a zero-padded buffer of exactly 1024 bytes.
// False when the device reports a read error.
bool readEdidFileBuffer(QIODevice& in, QByteArray& buffer);

// A file whose first byte is 0 (an EDID header starts with one) is a binary
// table; anything else is taken as a hex dump.
bool isBinaryEdidFile(const QByteArray& buffer);

// The first 256 bytes of the buffer; missing bytes are 0.
EdidImage edidImageFromFile(const QByteArray& buffer);

// Turns "XX ... XX \r\n" and "XX ... XX \n" line ends at column 48 into the
// program's "XX ... XX\n", line after line, until a line does not end that
// way; the rest is copied as it stands. The result ends at the first zero
// byte and never looks past the buffer.
QByteArray convertEdidDumpLineEnds(const QByteArray& buffer);

// Writes the 256 bytes raw. False unless every byte went out. Give it an
// unbuffered file: a buffered one drops a partial write without a word.
bool writeEdidBytes(QIODevice& out, const EdidImage& image);

// An EDID file by the window's load rules: a binary table, or a hex dump in
// the editor's layout. False with the reason ("Cannot read file ...",
// "Hex Format Error") when it cannot be read or parsed.
bool loadEdidFile(const QString& path, EdidImage* image, QString* error);

// Saves atomically: binary, or the editor's hex text. False with the reason;
// an existing file is then left as it was.
bool saveEdidFile(const QString& path, const EdidImage& image, bool binary, QString* error);

// The largest EDID: 256 blocks of 128 bytes.
constexpr int kEdidMaxFileSize = 256 * kEdidBlockSize;

// An EDID of any length for the decoder: binary of whole 128-byte blocks up
// to 32 KiB, or hex text of the same (two-digit bytes separated by white
// space; an "0x" before a byte is allowed). False with the reason.
bool loadEdidBlocks(const QString& path, std::vector<std::uint8_t>* bytes, QString* error);
