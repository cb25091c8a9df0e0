#include "edid/EdidPresets.h"

#include "edid/EdidOptions.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace edid {
namespace {

const QString kBuiltIn = QStringLiteral(":/edid-presets");

struct Line {
    QString key, value;
};

// "key = value" lines; comments and blank lines left out.
std::vector<Line> linesOf(const QString& text) {
    std::vector<Line> out;
    for (const QString& raw : text.split('\n')) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const qsizetype eq = line.indexOf('=');
        out.push_back(eq < 0 ? Line{line, {}}
                             : Line{line.left(eq).trimmed(), line.mid(eq + 1).trimmed()});
    }
    return out;
}

// The first "#" line's text: a file without a description line says what it is there.
QString firstComment(const QString& text) {
    for (const QString& raw : text.split('\n'))
        if (const QString line = raw.trimmed(); line.startsWith('#'))
            if (const QString words = line.mid(1).trimmed(); !words.isEmpty())
                return words;
    return {};
}

QString readText(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.read(64 * 1024));
}

void addFrom(const QString& dir, bool user, std::vector<PresetInfo>& out) {
    const QStringList files =
        QDir(dir).entryList({QStringLiteral("*.ini")}, QDir::Files, QDir::Name);
    for (const QString& file : files) {
        PresetInfo info;
        info.id = file.chopped(4);
        info.user = user;
        const QString text = readText(dir + '/' + file);
        for (const Line& l : linesOf(text)) {
            if (l.key == QLatin1String("preset-name"))
                info.name = l.value;
            else if (l.key == QLatin1String("description"))
                info.description = l.value;
        }
        if (info.description.isEmpty())
            info.description = firstComment(text);
        if (info.description.isEmpty())
            info.description = info.name;
        if (info.description.isEmpty())
            info.description =
                QStringLiteral("no description; add a \"description = ...\" line to ") + dir + '/' +
                file;
        if (info.name.isEmpty())
            info.name = info.id;
        std::erase_if(out, [&](const PresetInfo& p) { return p.id == info.id; });
        out.push_back(info);
    }
}

} // namespace

QString userPresetDir() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/korvanta/edid-presets");
}

std::vector<PresetInfo> listPresets() {
    std::vector<PresetInfo> out;
    addFrom(kBuiltIn, false, out);
    addFrom(userPresetDir(), true, out);
    return out;
}

PresetBuild buildPresetText(const QString& text) {
    PresetBuild b;
    b.model = blankEdid();
    for (const Line& l : linesOf(text)) {
        if (l.key == QLatin1String("preset-name") || l.key == QLatin1String("description"))
            continue;
        const std::string key = l.key.toStdString(), value = l.value.toStdString();
        const EditResult r = applyOption(b.model, key, value);
        if (!r.ok) {
            b.message = key + " = " + value + ": " + r.message;
            return b;
        }
    }
    b.bytes = write(b.model);
    b.ok = true;
    return b;
}

PresetBuild buildPreset(const QString& id) {
    if (id.isEmpty() || id.contains('/') || id.contains('\\')) {
        PresetBuild b;
        b.message = "not a preset name: " + id.toStdString();
        return b;
    }
    for (const QString& dir : {userPresetDir(), kBuiltIn}) {
        const QString path = dir + '/' + id + QStringLiteral(".ini");
        if (QFile::exists(path))
            return buildPresetText(readText(path));
    }
    PresetBuild b;
    b.message = "no preset " + id.toStdString();
    return b;
}

} // namespace edid
