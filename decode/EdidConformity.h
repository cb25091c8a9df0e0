#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <span>
#include <string>

namespace decode {

// edid-decode as the reference checker of an EDID.
struct ConformityCheck {
    bool available = false;  // the program was found
    bool ran = false;        // it ran to its end within the time allowed
    std::string output;      // what it wrote, verbatim (or why it did not run)
    std::string installHint; // how to get it, when it is not available
};

constexpr int kConformityTimeoutMs = 5000;
constexpr const char* kEdidDecodeInstallHint = "sudo apt-get install edid-decode";

// Runs `edid-decode --check -` on the bytes through its standard input, for
// at most 5 s.
ConformityCheck runEdidDecodeCheck(std::span<const std::uint8_t> bytes);

// The same with any program and arguments, for tests and other checkers.
ConformityCheck runConformityProgram(const QString& program, const QStringList& arguments,
                                     std::span<const std::uint8_t> bytes, int timeoutMs);

// The findings of an edid-decode run: from its "Warnings:" or "Failures:"
// section, or its conformity line, to the end. Empty when it has none.
std::string conformityFindings(const std::string& output);

} // namespace decode
