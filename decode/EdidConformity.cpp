#include "decode/EdidConformity.h"

#include <QProcess>
#include <QStandardPaths>

namespace decode {

ConformityCheck runConformityProgram(const QString& program, const QStringList& arguments,
                                     std::span<const std::uint8_t> bytes, int timeoutMs) {
    ConformityCheck check;
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty()) {
        check.installHint = kEdidDecodeInstallHint;
        check.output = program.toStdString() + " is not installed";
        return check;
    }
    check.available = true;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(path, arguments);
    if (!process.waitForStarted(timeoutMs)) {
        check.output =
            program.toStdString() + " did not start: " + process.errorString().toStdString();
        return check;
    }
    process.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(timeoutMs);
        check.output = program.toStdString() + " did not finish within " +
                       QString::number(timeoutMs / 1000.0).toStdString() + " s";
        return check;
    }
    check.ran = process.exitStatus() == QProcess::NormalExit;
    check.output = process.readAll().toStdString();
    return check;
}

ConformityCheck runEdidDecodeCheck(std::span<const std::uint8_t> bytes) {
    return runConformityProgram("edid-decode", {"--check", "-"}, bytes, kConformityTimeoutMs);
}

std::string conformityFindings(const std::string& output) {
    std::size_t start = std::string::npos;
    for (const char* heading : {"\nWarnings:", "\nFailures:", "\nEDID conformity:"})
        start = std::min(start, output.find(heading));
    return start == std::string::npos ? std::string() : output.substr(start + 1);
}

} // namespace decode
