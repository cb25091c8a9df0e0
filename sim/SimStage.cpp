#include "sim/SimStage.h"

#include "sim/SimulatedDevice.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

template <typename T> struct Name {
    const char* text;
    T value;
};

constexpr Name<SimEncoding> kEncodings[] = {{"rgb", SimEncoding::Rgb},
                                            {"422", SimEncoding::Ycc422},
                                            {"444", SimEncoding::Ycc444},
                                            {"420", SimEncoding::Ycc420}};
constexpr Name<std::uint8_t> kLinkModes[] = {{"none", 0}, {"420-10bit", 1}, {"600MHz", 2}};
constexpr Name<std::uint8_t> kOutputs[] = {
    {"none", 0x00}, {"top", 0x20}, {"bot", 0x40}, {"both", 0x60}};
constexpr Name<SimColorimetry> kColorimetries[] = {{"none", SimColorimetry::None},
                                                   {"bt601", SimColorimetry::Bt601},
                                                   {"bt709", SimColorimetry::Bt709},
                                                   {"bt2020rgb", SimColorimetry::Bt2020Rgb},
                                                   {"bt2020ycc", SimColorimetry::Bt2020Ycc}};
constexpr Name<SimEotf> kEotfs[] = {{"none", SimEotf::None},
                                    {"sdr", SimEotf::Sdr},
                                    {"hdr", SimEotf::HdrGamma},
                                    {"pq", SimEotf::Pq},
                                    {"hlg", SimEotf::Hlg}};

constexpr const char* kInputKeys[] = {"vic",     "hdmi",        "encoding", "linkMode",
                                      "outputs", "colorimetry", "eotf",     "maxCll",
                                      "maxFall", "vendor",      "product"};
constexpr int kVendorLength = 8;
constexpr int kProductLength = 16;
constexpr const char* kDisplayKeys[2] = {"topEdid", "botEdid"};

// A value as the file has it, for complaints.
std::string shown(const QJsonValue& value) {
    if (value.isObject())
        return "an object";
    const QByteArray text = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return text.mid(1, text.size() - 2).toStdString();
}

std::string quotedKey(const char* key) {
    return std::string("\"input.") + key + "\"";
}

template <typename T, std::size_t N> std::string namesOf(const Name<T> (&names)[N]) {
    std::string list;
    for (std::size_t i = 0; i < N; ++i)
        list += (i == 0       ? ""
                 : i + 1 == N ? " or "
                              : ", ") +
                std::string("\"") + names[i].text + "\"";
    return list;
}

template <typename T, std::size_t N> const char* nameOf(const Name<T> (&names)[N], T value) {
    for (const Name<T>& name : names)
        if (name.value == value)
            return name.text;
    return "";
}

template <typename T, std::size_t N>
bool readName(const QJsonObject& input, const char* key, const Name<T> (&names)[N],
              std::optional<T>* out, std::string* complaint) {
    const QJsonValue value = input.value(QLatin1String(key));
    if (value.isUndefined())
        return true;
    for (const Name<T>& name : names) {
        if (value.isString() &&
            value.toString().compare(QLatin1String(name.text), Qt::CaseInsensitive) == 0) {
            *out = name.value;
            return true;
        }
    }
    *complaint = quotedKey(key) + " is " + shown(value) + ", not one of " + namesOf(names);
    return false;
}

template <typename T>
bool readNumber(const QJsonObject& input, const char* key, std::optional<T>* out,
                std::string* complaint) {
    const QJsonValue value = input.value(QLatin1String(key));
    if (value.isUndefined())
        return true;
    constexpr double kMax = std::numeric_limits<T>::max();
    const double number = value.toDouble(-1);
    if (!value.isDouble() || number < 0 || number > kMax || number != std::floor(number)) {
        *complaint = quotedKey(key) + " is " + shown(value) + ", not a whole number from 0 to " +
                     std::to_string(int(kMax));
        return false;
    }
    *out = static_cast<T>(number);
    return true;
}

bool readText(const QJsonObject& input, const char* key, int maxLength,
              std::optional<std::string>* out, std::string* complaint) {
    const QJsonValue value = input.value(QLatin1String(key));
    if (value.isUndefined())
        return true;
    const QString text = value.toString();
    const bool printable = std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() < 0x7F;
    });
    if (!value.isString() || text.size() > maxLength || !printable) {
        *complaint = quotedKey(key) + " is " + shown(value) + ", not text of at most " +
                     std::to_string(maxLength) + " ASCII characters";
        return false;
    }
    *out = text.toStdString();
    return true;
}

bool readInput(const QJsonValue& value, SimStagedInput* in, std::string* complaint) {
    if (!value.isObject()) {
        *complaint = "\"input\" is " + shown(value) + ", not an object such as {\"vic\": 97}";
        return false;
    }
    const QJsonObject input = value.toObject();
    for (const QString& key : input.keys()) {
        if (std::none_of(std::begin(kInputKeys), std::end(kInputKeys),
                         [&key](const char* known) { return key == QLatin1String(known); })) {
            *complaint = quotedKey(key.toUtf8().constData()) + " is not known; \"input\" takes ";
            for (const char* known : kInputKeys)
                *complaint += std::string(known == kInputKeys[0] ? "" : ", ") + known;
            return false;
        }
    }
    if (!readNumber(input, "vic", &in->vic, complaint) ||
        !readName(input, "encoding", kEncodings, &in->encoding, complaint) ||
        !readName(input, "linkMode", kLinkModes, &in->linkMode, complaint) ||
        !readName(input, "outputs", kOutputs, &in->outputs, complaint) ||
        !readName(input, "colorimetry", kColorimetries, &in->colorimetry, complaint) ||
        !readName(input, "eotf", kEotfs, &in->eotf, complaint) ||
        !readNumber(input, "maxCll", &in->maxCll, complaint) ||
        !readNumber(input, "maxFall", &in->maxFall, complaint) ||
        !readText(input, "vendor", kVendorLength, &in->vendor, complaint) ||
        !readText(input, "product", kProductLength, &in->product, complaint))
        return false;
    if (const QJsonValue hdmi = input.value("hdmi"); hdmi.isBool()) {
        in->hdmi = hdmi.toBool();
    } else if (!hdmi.isUndefined()) {
        *complaint = quotedKey("hdmi") + " is " + shown(hdmi) + ", not true or false";
        return false;
    }
    // The luminance travels in the HDR InfoFrame: without one it would be lost.
    const bool sendsHdr = in->eotf ? *in->eotf != SimEotf::None : in->hdmi.value_or(true);
    if ((in->maxCll || in->maxFall) && !sendsHdr) {
        *complaint = quotedKey(in->maxCll ? "maxCll" : "maxFall") +
                     " needs an HDR InfoFrame, and this source sends none (" +
                     (in->eotf ? "\"input.eotf\" is \"none\"" : "\"input.hdmi\" is false") + ")";
        return false;
    }
    return true;
}

bool readDisplay(const QJsonObject& file, int output, SimulatedDevice* device,
                 std::string* complaint) {
    const char* key = kDisplayKeys[output];
    const QJsonValue value = file.value(QLatin1String(key));
    std::optional<int>& staged = device->stagedDisplayBytes[output];
    if (value.isUndefined()) {
        if (staged) {
            device->displayEdid[output] = makeDisplayEdid(output);
            device->displayConnected[output] = true;
        }
        staged.reset();
        return true;
    }
    device->displayEdid[output].fill(0);
    if (value.isNull()) {
        device->displayConnected[output] = false;
        staged = 0;
        return true;
    }
    const QByteArray text = value.toString().toLatin1();
    const QByteArray bytes = QByteArray::fromHex(text);
    if (!value.isString() || bytes.toHex() != text.toLower() ||
        (bytes.size() != 128 && bytes.size() != 256)) {
        const std::string found = !value.isString() ? shown(value)
                                  : bytes.toHex() != text.toLower()
                                      ? "not pairs of hex digits"
                                      : std::to_string(bytes.size()) + " bytes";
        *complaint = std::string("\"") + key + "\" is " + found +
                     ", not hex of 128 or 256 bytes (or null for no display)";
        return false;
    }
    std::copy(bytes.begin(), bytes.end(), device->displayEdid[output].begin());
    device->displayConnected[output] = true;
    staged = int(bytes.size());
    return true;
}

QJsonObject inputJson(const SimStagedInput& in) {
    QJsonObject o;
    if (in.vic)
        o["vic"] = int(*in.vic);
    if (in.hdmi)
        o["hdmi"] = *in.hdmi;
    if (in.encoding)
        o["encoding"] = QLatin1String(nameOf(kEncodings, *in.encoding));
    if (in.linkMode)
        o["linkMode"] = QLatin1String(nameOf(kLinkModes, *in.linkMode));
    if (in.outputs)
        o["outputs"] = QLatin1String(nameOf(kOutputs, *in.outputs));
    if (in.colorimetry)
        o["colorimetry"] = QLatin1String(nameOf(kColorimetries, *in.colorimetry));
    if (in.eotf)
        o["eotf"] = QLatin1String(nameOf(kEotfs, *in.eotf));
    if (in.maxCll)
        o["maxCll"] = int(*in.maxCll);
    if (in.maxFall)
        o["maxFall"] = int(*in.maxFall);
    if (in.vendor)
        o["vendor"] = QString::fromStdString(*in.vendor);
    if (in.product)
        o["product"] = QString::fromStdString(*in.product);
    return o;
}

} // namespace

bool readSimStage(const QJsonObject& file, SimulatedDevice* device, std::string* complaint) {
    const QJsonValue description = file.value("description");
    if (!description.isUndefined() && !description.isString()) {
        *complaint = "\"description\" is " + shown(description) + ", not text";
        return false;
    }
    device->stateDescription.reset();
    if (description.isString())
        device->stateDescription = description.toString().toStdString();

    device->stagedInput.reset();
    if (const QJsonValue input = file.value("input"); !input.isUndefined()) {
        SimStagedInput staged;
        if (!readInput(input, &staged, complaint))
            return false;
        device->stagedInput = staged;
    }
    return readDisplay(file, 0, device, complaint) && readDisplay(file, 1, device, complaint);
}

void writeSimStage(const SimulatedDevice& device, QJsonObject* file) {
    if (device.stateDescription)
        (*file)["description"] = QString::fromStdString(*device.stateDescription);
    if (device.stagedInput)
        (*file)["input"] = inputJson(*device.stagedInput);
    for (int output = 0; output < 2; ++output) {
        const std::optional<int>& staged = device.stagedDisplayBytes[output];
        if (!staged)
            continue;
        QJsonValue value; // null: no display
        if (*staged > 0 && device.displayConnected[output])
            value = QString::fromLatin1(
                QByteArray(reinterpret_cast<const char*>(device.displayEdid[output].data()),
                           *staged)
                    .toHex());
        (*file)[QLatin1String(kDisplayKeys[output])] = value;
    }
}
