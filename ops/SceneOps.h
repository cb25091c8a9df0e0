#pragma once

#include "ops/BackupOps.h"
#include "scene/SceneStore.h"

#include <QJsonObject>

#include <string>
#include <vector>

// Scenes: the device's set-up now saved under a name, and a scene brought
// back as restore brings a backup back. The command line and the service's
// methods run these.
namespace ops {

struct SceneSaveParams {
    std::string name;
    std::vector<std::string> only; // setting names, "infoframes", "cec-buttons"; empty: all
    bool withEdid = false;
    scene::Rule when;
    bool replace = false;
};
struct SceneSaveResult {
    Error error;
    scene::Scene scene;
    std::string file;
};
// The name and the words are checked before the device is opened.
SceneSaveResult saveScene(const SceneSaveParams& params, const scene::Store& store, Device& device,
                          Reporter& reporter);

struct SceneRecallParams {
    std::string name;
    bool dryRun = false;
    bool force = false;
};
struct SceneRecallResult {
    Error error;
    std::string name;
    RestoreResult restore;
    bool findings() const { return !error && restore.findings(); }
};
SceneRecallResult recallScene(const SceneRecallParams& params, const scene::Store& store,
                              Device& device, Reporter& reporter);

// What a recall did, a line each, as the window shows it: the changes made
// (or that none was needed), then what the reporter was told (a refusal,
// the device's failure), in order.
std::vector<std::string> sceneRecallLines(const SceneRecallResult& r, const Reporter& reporter);

// "3 settings, InfoFrames; recalled by itself: source STRMBOX*"
std::string sceneSummary(const scene::Scene& s);
// One scene file as `scene list --json` shows it.
QJsonObject sceneEntryJson(const scene::Entry& e);
// Every scene file, damaged ones said on the reporter.
QJsonObject sceneListJson(const scene::Store& store, Reporter& reporter, int* damaged);

} // namespace ops
