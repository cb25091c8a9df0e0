#include "service/SceneFollowing.h"

#include "scene/SceneStore.h"
#include "settings/SettingsMap.h"

#include <QDir>
#include <QJsonArray>
#include <QTimer>

#include <memory>

namespace service {

SceneFollowing::SceneFollowing(Events& events, SceneFollowingSetup setup)
    : events_(events), setup_(std::move(setup)) {
    clock_.start();
    // Scenes saved or deleted while the service runs show up at once.
    QDir().mkpath(QString::fromStdString(setup_.folder));
    watcher_.addPath(QString::fromStdString(setup_.folder));
    QObject::connect(&watcher_, &QFileSystemWatcher::directoryChanged, &context_,
                     [this] { relist(); });
    relist();
    Events::Observer o;
    o.statusChanged = [this](const ops::StatusReading&) { look(); };
    o.settingsChanged = [this](const ops::SettingsBlock& block) {
        // Another input: the status still shows the old one's source until
        // the device has read the new one, so the look waits for it.
        const settings::Setting* input = settings::byName("input");
        const int now = input ? block[input->position] : 0;
        const bool switched = lastInput_ >= 0 && now != lastInput_;
        lastInput_ = now;
        if (!switched)
            return look();
        QTimer::singleShot(kInputSettleMs, &context_, [this] { look(); });
    };
    // A scene recalled by a client is the last recalled too, for everyone.
    o.answered = [this](const std::string& method, const QJsonObject& params,
                        const MethodResult& result, const std::string& by) {
        if (method != "scene.recall" || params.value("dryRun").toBool() ||
            (result.exitCode != 0 && result.exitCode != 3))
            return;
        const std::string name = result.output.value("scene").toString().toStdString();
        if (!name.empty())
            recalled(name, by, result);
    };
    subscription_ = events_.subscribe(std::move(o));
}

void SceneFollowing::recalled(const std::string& name, const std::string& by,
                              const MethodResult& result) {
    events_.notify("sceneRecalled", QJsonObject{{"scene", QString::fromStdString(name)},
                                                {"by", QString::fromStdString(by)},
                                                {"exitCode", result.exitCode},
                                                {"changes", result.output["plan"].toArray()}});
    // Exit 3: all but an EDID that fails the check, which is still this scene.
    if (result.exitCode == 0 || result.exitCode == 3) {
        lastRecalled_ = name;
        for (const auto& [n, l] : listeners_)
            if (l.recalled)
                l.recalled(name);
    }
}

SceneFollowing::~SceneFollowing() {
    events_.unsubscribe(subscription_);
}

scene::Observed SceneFollowing::observed(const ops::StatusReading& status,
                                         const ops::SettingsBlock& settings) {
    scene::Observed seen;
    const StatusFields& f = status.fields;
    seen.source = f.vendor;
    if (!f.product.empty())
        seen.source += (seen.source.empty() ? "" : " ") + f.product;
    seen.format = f.formatName;
    // The frame's first byte is its EOTF: 0 is SDR gamma.
    seen.hdr = !f.hdrInfoFrame.empty() && f.hdrInfoFrame[0] != 0;
    if (const settings::Setting* input = settings::byName("input"))
        seen.input = settings::valueWord(*input, settings[input->position]);
    return seen;
}

void SceneFollowing::relist() {
    std::vector<std::string> names;
    for (const scene::Entry& e : scene::Store(setup_.folder).list())
        if (e.problem.empty())
            names.push_back(e.name);
    if (names == names_)
        return;
    names_ = names;
    for (const auto& [n, l] : listeners_)
        if (l.listChanged)
            l.listChanged(names_);
}

void SceneFollowing::recall(const std::string& name, const std::string& by) {
    scene::Scene s;
    std::string why;
    if (!scene::Store(setup_.folder).load(name, &s, &why)) {
        setup_.log("scene not recalled for " + by + ": " + why);
        return;
    }
    recall(s, by);
}

void SceneFollowing::look() {

    // The recall's own readback is not a new reason to recall.
    if (recalling_ || !events_.lastStatus() || !events_.lastSettings())
        return;
    const scene::Store store(setup_.folder);
    const std::vector<scene::Scene> scenes = store.ruled();
    const scene::Observed seen = observed(*events_.lastStatus(), *events_.lastSettings());
    const scene::Follower::Step step =
        follower_.observe(scenes, seen, static_cast<std::uint32_t>(clock_.elapsed()));
    if (!step.tied.empty()) {
        std::string names;
        for (const std::string& n : step.tied)
            names += (names.empty() ? "" : ", ") + n;
        setup_.log("scenes " + names + " all match the source now; none is recalled");
    }
    if (!step.heldBack.empty())
        setup_.log("scene " + step.heldBack +
                   " matches now, so soon after a recall that it may be its doing; not recalled");
    for (const scene::Scene& s : scenes)
        if (s.name == step.recall)
            recall(s, "rule");
}

void SceneFollowing::recall(const scene::Scene& s, const std::string& by) {
    recalling_ = true;
    auto result = std::make_shared<MethodResult>();
    const QJsonObject params{{"backup", s.document}};
    const std::string reason = by == "rule" ? scene::ruleText(s.when) : "asked by " + by;
    events_.queueJob([this, params, result] { *result = setup_.methods("restore", params); },
                     [this, name = s.name, by, reason, result] {
                         recalling_ = false;
                         const QJsonArray changes = result->output["plan"].toArray();
                         std::string why = result->message;
                         while (!why.empty() && why.back() == '\n')
                             why.pop_back();
                         setup_.log("scene " + name + " recalled (" + reason + "): " +
                                    (result->exitCode == 0
                                         ? std::to_string(changes.size()) +
                                               (changes.size() == 1 ? " change" : " changes")
                                         : "failed: " + why));
                         recalled(name, by, *result);
                         events_.readbackSoon();
                     });
}

} // namespace service
