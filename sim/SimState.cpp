#include "sim/SimState.h"

#include "sim/SimStage.h"
#include "sim/SimulatedDevice.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <cstdio>

namespace {

constexpr char kFormat[] = "KORVANTA simulated device";
constexpr int kVersion = 1;
// A stored CEC command is one request's arguments: never near this long.
constexpr int kMaxStoredCecBytes = 64;

template <std::size_t N> QString hexOf(const std::array<std::uint8_t, N>& bytes) {
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(N)).toHex());
}

QString hexOf(const std::string& bytes) {
    return QString::fromLatin1(QByteArray::fromStdString(bytes).toHex());
}

// Strict: only pairs of hex digits, and `size` bytes (or at most -size when
// negative).
bool readHex(const QJsonObject& object, const char* key, int size, QByteArray* bytes,
             std::string* complaint) {
    const QByteArray text = object.value(QLatin1String(key)).toString().toLatin1();
    const QByteArray decoded = QByteArray::fromHex(text);
    const bool sizeOk = size >= 0 ? decoded.size() == size : decoded.size() <= -size;
    if (!object.value(QLatin1String(key)).isString() || decoded.toHex() != text.toLower() ||
        !sizeOk) {
        *complaint = std::string("\"") + key + "\" is missing or not " +
                     (size >= 0 ? std::to_string(size) : "at most " + std::to_string(-size)) +
                     " bytes of hex";
        return false;
    }
    *bytes = decoded;
    return true;
}

template <std::size_t N>
bool readArray(const QJsonObject& object, const char* key, std::array<std::uint8_t, N>* out,
               std::string* complaint) {
    QByteArray bytes;
    if (!readHex(object, key, int(N), &bytes, complaint))
        return false;
    std::copy(bytes.begin(), bytes.end(), out->begin());
    return true;
}

bool readCec(const QJsonObject& object, const char* key, std::string* out, std::string* complaint) {
    QByteArray bytes;
    if (!readHex(object, key, -kMaxStoredCecBytes, &bytes, complaint))
        return false;
    *out = bytes.toStdString();
    return true;
}

} // namespace

QByteArray simStateToJson(const SimulatedDevice& device) {
    QJsonObject object;
    object["format"] = QLatin1String(kFormat);
    object["version"] = kVersion;
    object["settings"] = hexOf(device.settings);
    object["ownEdid"] = hexOf(device.ownEdid);
    object["customEdid"] = hexOf(device.customEdid);
    object["hasCustomEdid"] = device.hasCustomEdid;
    object["cecSp"] = hexOf(device.storedCec[0]);
    object["cecLp"] = hexOf(device.storedCec[1]);
    object["hdrInfoFrame"] = hexOf(device.customHdr);
    object["aviInfoFrame"] = hexOf(device.customAvi);
    writeSimStage(device, &object);
    return QJsonDocument(object).toJson();
}

bool simStateFromJson(const QByteArray& json, SimulatedDevice* device, std::string* complaint) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (!document.isObject()) {
        *complaint = error.error != QJsonParseError::NoError
                         ? "not JSON (" + error.errorString().toStdString() + " at byte " +
                               std::to_string(error.offset) + ")"
                         : "not a JSON object";
        return false;
    }
    const QJsonObject object = document.object();
    if (object.value("format").toString() != QLatin1String(kFormat)) {
        *complaint =
            std::string("not a simulated device's state (no \"format\": \"") + kFormat + "\")";
        return false;
    }
    if (object.value("version").toInt(-1) != kVersion) {
        *complaint = "version " + std::to_string(object.value("version").toInt(-1)) +
                     " is not known (this program reads version " + std::to_string(kVersion) + ")";
        return false;
    }
    // Into a copy first, so that a bad field leaves the device as it was.
    SimulatedDevice loaded = *device;
    if (!object.value("hasCustomEdid").isBool()) {
        *complaint = "\"hasCustomEdid\" is missing or not true/false";
        return false;
    }
    loaded.hasCustomEdid = object.value("hasCustomEdid").toBool();
    if (!readArray(object, "settings", &loaded.settings, complaint) ||
        !readArray(object, "ownEdid", &loaded.ownEdid, complaint) ||
        !readArray(object, "customEdid", &loaded.customEdid, complaint) ||
        !readCec(object, "cecSp", &loaded.storedCec[0], complaint) ||
        !readCec(object, "cecLp", &loaded.storedCec[1], complaint) ||
        !readArray(object, "hdrInfoFrame", &loaded.customHdr, complaint) ||
        !readArray(object, "aviInfoFrame", &loaded.customAvi, complaint) ||
        !readSimStage(object, &loaded, complaint))
        return false;
    *device = loaded;
    return true;
}

SimStateLoad loadSimState(const std::string& path, SimulatedDevice* device,
                          std::string* complaint) {
    QFile file(QString::fromStdString(path));
    if (!file.exists())
        return SimStateLoad::Missing;
    std::string why;
    if (!file.open(QIODevice::ReadOnly))
        why = file.errorString().toStdString();
    else if (simStateFromJson(file.readAll(), device, &why))
        return SimStateLoad::Loaded;
    *complaint = "KORVANTA_SIM_STATE: cannot use " + path + ": " + why +
                 ". The simulated device starts from its factory state and leaves the file "
                 "as it is.";
    return SimStateLoad::Refused;
}

bool saveSimState(const std::string& path, const SimulatedDevice& device, std::string* complaint) {
    QSaveFile file(QString::fromStdString(path));
    if (file.open(QIODevice::WriteOnly) && file.write(simStateToJson(device)) >= 0 && file.commit())
        return true;
    *complaint =
        "KORVANTA_SIM_STATE: cannot save " + path + ": " + file.errorString().toStdString();
    return false;
}

bool keepSimState(const std::string& path, SimulatedDevice* device, std::string* complaint) {
    if (loadSimState(path, device, complaint) == SimStateLoad::Refused)
        return false;
    device->onOpen = [path](SimulatedDevice& opened) {
        std::string ignored; // the file was good at start; a later fault keeps what is held
        loadSimState(path, &opened, &ignored);
    };
    bool saidSo = false; // one message for a file that cannot be written, not one per click
    device->onStoredStateChange = [path, saidSo](const SimulatedDevice& changed) mutable {
        std::string why;
        if (!saveSimState(path, changed, &why) && !saidSo) {
            std::fprintf(stderr, "%s\n", why.c_str());
            saidSo = true;
        }
    };
    return true;
}

std::string unitStatePath(const std::string& firstUnitPath, int unit) {
    std::string base = firstUnitPath;
    if (base.size() > 5 && base.compare(base.size() - 5, 5, ".json") == 0)
        base.resize(base.size() - 5);
    return base + "-sim-" + std::to_string(unit) + ".json";
}
