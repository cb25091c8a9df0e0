#include "cli/EdidSources.h"

#include "edid/EdidFile.h"
#include "ops/EdidOps.h"

#include <QSaveFile>

namespace cli {

namespace {

bool loadBlocks(const std::string& path, EdidBlocks* bytes) {
    QString error;
    if (loadEdidBlocks(QString::fromStdString(path), bytes, &error))
        return true;
    complain(error.simplified().toStdString() +
             " (an EDID file is whole 128-byte blocks of binary, or their hex text)");
    return false;
}

bool loadPreset(const std::string& id, EdidBlocks* bytes) {
    ConsoleReporter said;
    return !ops::presetEdid(id, said, bytes);
}

} // namespace

bool EdidSources::loadFiles(const std::vector<std::string>& names,
                            std::vector<EdidBlocks>* images) {
    images->resize(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        if (ops::isEdidSourceName(name))
            continue;
        const bool ok =
            name.starts_with(kPresetPrefix)
                ? loadPreset(name.substr(std::string(kPresetPrefix).size()), &(*images)[i])
                : loadBlocks(name, &(*images)[i]);
        if (!ok)
            return false;
    }
    return true;
}

int EdidSources::openDevice() {
    if (session_)
        return kDone;
    session_ = std::make_unique<DeviceSession>(options_);
    return session_->open();
}

int EdidSources::readDevice(const std::vector<std::string>& names,
                            std::vector<EdidBlocks>* images) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!ops::isEdidSourceName(names[i]))
            continue;
        if (const int code = openDevice())
            return code;
        EdidImage image{};
        if (ops::readEdidFrom(ops::edidSourceNamed(names[i]), session_->reporter, &image))
            return kDeviceFailed;
        (*images)[i].assign(image.begin(), image.end());
    }
    return kDone;
}

int EdidSources::load(const std::vector<std::string>& names, std::vector<EdidBlocks>* images) {
    if (!loadFiles(names, images))
        return kUsage;
    return readDevice(names, images);
}

std::string edidHexLines(const EdidBlocks& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
        text += (i % 16 == 15 || i + 1 == bytes.size()) ? '\n' : ' ';
    }
    return text;
}

bool saveEdidBytes(const std::string& path, const EdidBlocks& bytes, const std::string& format,
                   bool* binary) {
    const QString name = QString::fromStdString(path);
    *binary = format.empty() ? name.endsWith(".bin", Qt::CaseInsensitive) : format == "bin";
    const QByteArray data =
        *binary ? QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()))
                : QByteArray::fromStdString(edidHexLines(bytes));
    QSaveFile file(name);
    if (file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.commit())
        return true;
    complain("cannot write " + path + ": " + file.errorString().toStdString());
    return false;
}

} // namespace cli
