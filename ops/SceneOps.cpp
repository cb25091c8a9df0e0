#include "ops/SceneOps.h"

#include "ops/OpsJson.h"

#include <QJsonArray>

namespace ops {

SceneSaveResult saveScene(const SceneSaveParams& params, const scene::Store& store, Device& device,
                          Reporter& reporter) {
    SceneSaveResult r;
    std::string why;
    QJsonObject probe;
    if (!scene::validName(params.name, &why) ||
        !scene::narrowDocument(&probe, params.only, true, &why)) {
        r.error = reporter.usage(why);
        return r;
    }
    const BackupResult backup = ops::backup(device, reporter);
    if (backup.error) {
        r.error = backup.error;
        return r;
    }
    if (params.withEdid && !backup.edid) {
        r.error = reporter.usage("the device uses no custom EDID, so there is none to keep in "
                                 "the scene; leave out --with-edid");
        return r;
    }
    QJsonObject document = backupDocument(backup);
    scene::narrowDocument(&document, params.only, params.withEdid, &why);
    document.remove("date");
    r.scene = scene::Scene{params.name, document, params.when};
    if (!store.save(r.scene, params.replace, &why)) {
        r.error = reporter.usage(why);
        return r;
    }
    r.file = store.fileFor(params.name);
    return r;
}

SceneRecallResult recallScene(const SceneRecallParams& params, const scene::Store& store,
                              Device& device, Reporter& reporter) {
    SceneRecallResult r;
    r.name = params.name;
    scene::Scene s;
    std::string why;
    if (!store.load(params.name, &s, &why)) {
        r.error = reporter.usage(why);
        return r;
    }
    RestoreParams restore;
    restore.dryRun = params.dryRun;
    restore.force = params.force;
    if (Error e = parseBackup(s.document, "scene " + params.name, reporter, &restore.backup)) {
        r.error = e;
        return r;
    }
    r.restore = ops::restore(restore, device, reporter);
    r.error = r.restore.error;
    return r;
}

std::vector<std::string> sceneRecallLines(const SceneRecallResult& r, const Reporter& reporter) {
    std::vector<std::string> lines;
    const RestoreResult& done = r.restore;
    if (done.finished && done.nothingChanged())
        lines.push_back("nothing changed: the device already matched scene " + r.name);
    else if (done.finished)
        lines = done.plan;
    if (done.edid && done.edid->verify && done.edid->verify->verified())
        lines.push_back("EDID written and verified");
    for (const Message& m : reporter.messages())
        lines.push_back(m.text);
    if (r.error && reporter.messages().empty())
        lines.push_back(r.error.message);
    return lines;
}

std::string sceneSummary(const scene::Scene& s) {
    const std::size_t n = scene::settingNames(s.document).size();
    std::string text = std::to_string(n) + (n == 1 ? " setting" : " settings");
    if (s.document.contains("infoFrames"))
        text += ", InfoFrames";
    if (s.document.contains("edid"))
        text += ", EDID";
    return text + "; recalled by itself: " + scene::ruleText(s.when);
}

QJsonObject sceneEntryJson(const scene::Entry& e) {
    QJsonObject o{{"name", QString::fromStdString(e.name)},
                  {"file", QString::fromStdString(e.file)}};
    if (!e.problem.empty()) {
        o["problem"] = QString::fromStdString(e.problem);
        return o;
    }
    QJsonArray names;
    for (const std::string& n : scene::settingNames(e.scene.document))
        names.append(QString::fromStdString(n));
    o["settings"] = names;
    o["withEdid"] = e.scene.document.contains("edid");
    o["infoFrames"] = e.scene.document.contains("infoFrames");
    o["when"] = scene::ruleToJson(e.scene.when);
    return o;
}

QJsonObject sceneListJson(const scene::Store& store, Reporter& reporter, int* damaged) {
    QJsonArray all;
    *damaged = 0;
    for (const scene::Entry& e : store.list()) {
        all.append(sceneEntryJson(e));
        if (!e.problem.empty()) {
            ++*damaged;
            reporter.complain("cannot use a scene: " + e.problem);
        }
    }
    return {{"folder", QString::fromStdString(store.folder())}, {"scenes", all}};
}

} // namespace ops
