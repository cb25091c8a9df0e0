#include "scene/SceneStore.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

#include <algorithm>

namespace scene {

namespace {

constexpr qint64 kMaxSceneFileBytes = 1 << 20; // a scene is a few kB; more is not one
const char* const kSuffix = ".json";

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

bool readDocument(const std::string& path, QJsonObject* document, std::string* why) {
    QFile file(q(path));
    if (!file.open(QIODevice::ReadOnly)) {
        *why = "cannot read " + path + ": " + file.errorString().toStdString();
        return false;
    }
    if (file.size() > kMaxSceneFileBytes) {
        *why = path + " is not a scene: over 1 MiB";
        return false;
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        *why = path + " is not a scene: not JSON (" + error.errorString().toStdString() +
               " at character " + std::to_string(error.offset) + ")";
        return false;
    }
    *document = doc.object();
    return true;
}

} // namespace

std::string Store::defaultFolder() {
    const QString chosen = QString::fromLocal8Bit(qgetenv("KORVANTA_SCENES"));
    if (!chosen.isEmpty() && QDir::isAbsolutePath(chosen))
        return QDir::cleanPath(chosen).toStdString();
#ifdef _WIN32
    const QByteArray appData = qgetenv("APPDATA");
    if (!appData.isEmpty())
        return QDir(QString::fromLocal8Bit(appData)).filePath("korvanta/scenes").toStdString();
#endif
    QByteArray base = qgetenv("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(QString::fromLocal8Bit(base)))
        base = QDir::home().filePath(".config").toLocal8Bit();
    return QDir(QString::fromLocal8Bit(base)).filePath("korvanta/scenes").toStdString();
}

std::string Store::fileFor(const std::string& name) const {
    return QDir(q(folder_)).filePath(q(name + kSuffix)).toStdString();
}

std::vector<Entry> Store::list() const {
    std::vector<Entry> entries;
    const QDir dir(q(folder_));
    for (const QFileInfo& info :
         dir.entryInfoList({QString("*") + kSuffix}, QDir::Files, QDir::Name | QDir::IgnoreCase)) {
        Entry e;
        e.name = info.completeBaseName().toStdString();
        e.file = info.filePath().toStdString();
        std::string why;
        QJsonObject document;
        if (!validName(e.name, &why))
            e.problem = e.file + ": " + why;
        else if (!readDocument(e.file, &document, &e.problem))
            ;
        else if (!sceneFromDocument(document, e.name, e.file, &e.scene, &why))
            e.problem = why;
        entries.push_back(std::move(e));
    }
    return entries;
}

bool Store::load(const std::string& name, Scene* scene, std::string* why) const {
    if (!validName(name, why))
        return false;
    const std::string path = fileFor(name);
    if (!QFile::exists(q(path))) {
        *why = "no scene is called \"" + name + "\" (korvanta scene list shows them)";
        return false;
    }
    QJsonObject document;
    return readDocument(path, &document, why) &&
           sceneFromDocument(document, name, path, scene, why);
}

std::string Store::takenAs(const std::string& name) const {
    for (const Entry& e : list())
        if (QString::compare(q(e.name), q(name), Qt::CaseInsensitive) == 0)
            return e.name;
    return {};
}

bool Store::save(const Scene& scene, bool replace, std::string* why) const {
    if (!validName(scene.name, why))
        return false;
    if (const std::string conflict = selfConflict(scene); !conflict.empty()) {
        *why = "scene \"" + scene.name + "\" was not saved: " + conflict;
        return false;
    }
    const std::string taken = takenAs(scene.name);
    if (!taken.empty() && (!replace || taken != scene.name)) {
        *why = "a scene called \"" + taken + "\" is there already" +
               (taken == scene.name ? "; give --replace to replace it" : "");
        return false;
    }
    for (const Entry& e : list())
        if (e.problem.empty() && e.name != scene.name && rulesOverlap(scene.when, e.scene.when)) {
            *why = "scene \"" + scene.name + "\" was not saved: its rule (" + ruleText(scene.when) +
                   ") can match when scene \"" + e.name + "\"'s (" + ruleText(e.scene.when) +
                   ") does, and only one can be recalled; make one of them narrower";
            return false;
        }
    if (!QDir().mkpath(q(folder_))) {
        *why = "cannot make the folder " + folder_;
        return false;
    }
    const QJsonObject document = sceneDocument(scene.document, scene.name, scene.when);
    QSaveFile file(q(fileFor(scene.name)));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QJsonDocument(document).toJson(QJsonDocument::Indented)) < 0 || !file.commit()) {
        *why = "cannot save " + fileFor(scene.name) + ": " + file.errorString().toStdString();
        return false;
    }
    return true;
}

bool Store::setRule(const std::string& name, const Rule& rule, std::string* why) const {
    Scene scene;
    if (!load(name, &scene, why))
        return false;
    scene.when = rule;
    return save(scene, true, why);
}

bool Store::remove(const std::string& name, std::string* why) const {
    const std::string path = fileFor(name);
    if (!validName(name, why))
        return false;
    if (!QFile::exists(q(path))) {
        *why = "no scene is called \"" + name + "\"";
        return false;
    }
    QFile file(q(path));
    if (!file.remove()) {
        *why = "cannot remove " + path + ": " + file.errorString().toStdString();
        return false;
    }
    return true;
}

bool Store::rename(const std::string& from, const std::string& to, std::string* why) const {
    Scene scene;
    if (!validName(to, why) || !load(from, &scene, why))
        return false;
    const std::string taken = takenAs(to);
    if (!taken.empty() && taken != from) {
        *why = "a scene called \"" + taken + "\" is there already";
        return false;
    }
    // A change of case only: on a case-blind disk both names are one file.
    if (to != from && QString::compare(q(to), q(from), Qt::CaseInsensitive) == 0) {
        const QString step = q(fileFor(from)) + ".renaming";
        if (!QFile::rename(q(fileFor(from)), step) || !QFile::rename(step, q(fileFor(to)))) {
            *why = "cannot rename " + fileFor(from) + " to " + fileFor(to);
            return false;
        }
    }
    // Written under the new name first: a failure leaves the old one whole.
    scene.name = to;
    const QJsonObject document = sceneDocument(scene.document, to, scene.when);
    QSaveFile file(q(fileFor(to)));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QJsonDocument(document).toJson(QJsonDocument::Indented)) < 0 || !file.commit()) {
        *why = "cannot save " + fileFor(to) + ": " + file.errorString().toStdString();
        return false;
    }
    if (QString::compare(q(to), q(from), Qt::CaseInsensitive) != 0 &&
        !QFile::remove(q(fileFor(from)))) {
        *why = "saved as \"" + to + "\" but cannot remove " + fileFor(from);
        return false;
    }
    return true;
}

std::vector<Scene> Store::ruled() const {
    std::vector<Scene> scenes;
    for (Entry& e : list())
        if (e.problem.empty() && !e.scene.when.empty())
            scenes.push_back(std::move(e.scene));
    return scenes;
}

} // namespace scene
