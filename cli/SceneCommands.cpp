// scene: the device's set-up under a name, saved from the device and recalled
// as restore brings a backup back.
#include "cli/Commands.h"
#include "service/ServiceClient.h"

#include "ops/SceneOps.h"
#include "scene/SceneStore.h"

#include <QJsonArray>

#include <CLI/CLI.hpp>

#include <memory>

namespace cli {

namespace {

struct RuleWords {
    scene::Rule rule; // as typed, checked by ruleFromWords
    bool clear = false;
    bool given() const { return clear || !rule.empty(); }
};

// The words on the line as a rule, checked as a file's rule is.
bool ruleFromWords(const RuleWords& w, scene::Rule* rule) {
    std::string why;
    if (!scene::ruleFromTyped(w.rule, rule, &why)) {
        complain(why);
        return false;
    }
    return true;
}

int runList(const scene::Store& store, Output& out) {
    ops::Reporter reporter;
    int damaged = 0;
    out.json = ops::sceneListJson(store, reporter, &damaged);
    for (const std::string& text : reporter.errorTexts())
        complain(text);
    const std::vector<scene::Entry> entries = store.list();
    for (const scene::Entry& e : entries)
        if (e.problem.empty())
            out.line(e.name + ": " + ops::sceneSummary(e.scene));
    if (entries.empty())
        out.note("no scenes in " + store.folder() + " (korvanta scene save NAME makes one)");
    return damaged ? kDeviceFailed : kDone;
}

int runShow(const scene::Store& store, const std::string& name, Output& out) {
    scene::Scene s;
    std::string why;
    if (!store.load(name, &s, &why)) {
        complain(why);
        return kUsage;
    }
    out.line("scene " + s.name + ": " + ops::sceneSummary(s));
    const QJsonObject named = s.document["settings"].toObject();
    for (const std::string& n : scene::settingNames(s.document))
        out.line("  " + n + "=" + named[QString::fromStdString(n)].toString().toStdString());
    const QJsonObject frames = s.document["infoFrames"].toObject();
    for (const char* key : {"hdr", "avi"})
        if (frames.contains(key))
            out.line(std::string("  ") + key + " InfoFrame " +
                     frames[key].toString().toStdString());
    out.json["scene"] = s.document;
    return kDone;
}

int runSave(const GlobalOptions& options, const scene::Store& store, const std::string& name,
            const std::vector<std::string>& only, bool withEdid, const RuleWords& words,
            bool replace, Output& out) {
    ops::SceneSaveParams params{name, only, withEdid, {}, replace};
    if (!ruleFromWords(words, &params.when))
        return kUsage;
    DeviceSession device(options);
    const ops::SceneSaveResult r = ops::saveScene(params, store, device, device.reporter);
    if (r.error)
        return ops::exitCode(r.error);
    out.note("scene " + name + " saved: " + ops::sceneSummary(r.scene));
    out.json["scene"] = QString::fromStdString(name);
    out.json["file"] = QString::fromStdString(r.file);
    return kDone;
}

int runWhen(const scene::Store& store, const std::string& name, const RuleWords& words,
            Output& out) {
    scene::Scene s;
    std::string why;
    if (!store.load(name, &s, &why)) {
        complain(why);
        return kUsage;
    }
    if (!words.given()) {
        out.line(scene::ruleText(s.when));
        out.json["when"] = scene::ruleToJson(s.when);
        return kDone;
    }
    if (!ruleFromWords(words, &s.when))
        return kUsage;
    if (words.clear)
        s.when = scene::Rule{};
    if (!store.setRule(name, s.when, &why)) {
        complain(why);
        return kUsage;
    }
    out.note("scene " + name + " is recalled by itself: " + scene::ruleText(s.when));
    out.json["when"] = scene::ruleToJson(s.when);
    return kDone;
}

int runRecall(const GlobalOptions& options, const scene::Store& store, const std::string& name,
              bool dryRun, bool force, Output& out) {
    DeviceSession device(options);
    const ops::SceneRecallResult r =
        ops::recallScene({name, dryRun, force}, store, device, device.reporter);
    // Refused before the restore began: the scene could not be read.
    if (r.error && !r.restore.error)
        return ops::exitCode(r.error);
    const int code = printRestore(r.restore, "scene " + name, false, out);
    out.json["scene"] = QString::fromStdString(name);
    // Through a service: its clients and Home Assistant hear of the scene too.
    if (!dryRun && (code == 0 || code == 3) && device.service() && device.service()->connected()) {
        QJsonValue answer;
        std::string ignored;
        device.service()->call("scene.recalled",
                               {{"scene", QString::fromStdString(name)},
                                {"changes", out.json.value("plan").toArray()}},
                               &answer, &ignored);
    }
    return code;
}

void addRuleOptions(CLI::App* command, RuleWords& w) {
    command
        ->add_option("--when-source", w.rule.source,
                     "Recall it when the source's name matches (* and ?, case ignored), "
                     "e.g. \"STRMBOX*\"")
        ->type_name("PATTERN");
    command->add_option("--when-input", w.rule.input, "... when the input is this one (a, b, ...)")
        ->type_name("INPUT");
    command
        ->add_option("--when-format", w.rule.format,
                     "... when the input format matches, e.g. \"3840x2160p*\"")
        ->type_name("PATTERN");
    command->add_option("--when-hdr", w.rule.hdr, "... when the source sends HDR (on) or not (off)")
        ->type_name("on|off");
}

} // namespace

void addSceneCommands(CLI::App& app, GlobalOptions& options, Action* run) {
    CLI::App* scene = app.add_subcommand(
        "scene", "Named set-ups of the device: save, recall, list, show, delete, rename");
    scene->require_subcommand(1);
    scene->footer("Scenes are backup documents (restore reads them), one file each in " +
                  scene::Store::defaultFolder() +
                  ". A recall writes only what differs, as restore does. With rules, korvanta "
                  "serve recalls a scene by itself when the source starts to match them.");
    auto name = std::make_shared<std::string>();
    auto other = std::make_shared<std::string>();
    auto only = std::make_shared<std::vector<std::string>>();
    auto flags = std::make_shared<std::array<bool, 4>>(); // with-edid, replace, dry-run, force
    auto words = std::make_shared<RuleWords>();
    const auto store = [] { return scene::Store(scene::Store::defaultFolder()); };

    CLI::App* save = scene->add_subcommand("save", "Save the device's set-up now as a scene");
    save->add_option("NAME", *name, "The scene's name")->required();
    save->add_option("--only", *only,
                     "Only these settings (names as korvanta get gives them; also infoframes, "
                     "cec-buttons); a recall leaves the rest alone")
        ->delimiter(',')
        ->type_name("NAME,...");
    save->add_flag("--with-edid", (*flags)[0], "Keep the custom EDID in the scene too");
    save->add_flag("--replace", (*flags)[1], "Replace a scene of that name");
    addRuleOptions(save, *words);
    save->callback([&options, run, name, only, flags, words, store] {
        *run = [&options, name, only, flags, words, store](Output& out) {
            return runSave(options, store(), *name, *only, (*flags)[0], *words, (*flags)[1], out);
        };
    });

    CLI::App* recall = scene->add_subcommand(
        "recall", "Bring the device to a scene: only what differs is written");
    recall->add_option("NAME", *name, "The scene's name")->required();
    recall->add_flag("--dry-run", (*flags)[2], "Say what it would change, send nothing");
    recall->add_flag("--force", (*flags)[3],
                     "Also write the scene's EDID when its check finds a failure");
    recall->footer("Exit status 3: everything but the EDID was recalled; the EDID fails the "
                   "check and --force writes it too.");
    recall->callback([&options, run, name, flags, store] {
        *run = [&options, name, flags, store](Output& out) {
            return runRecall(options, store(), *name, (*flags)[2], (*flags)[3], out);
        };
    });

    CLI::App* list = scene->add_subcommand("list", "The scenes, with what each holds");
    list->footer("Exit status 1: a scene file cannot be used (named on stderr).");
    list->callback([run, store] { *run = [store](Output& out) { return runList(store(), out); }; });

    CLI::App* show = scene->add_subcommand("show", "A scene's settings and rule");
    show->add_option("NAME", *name, "The scene's name")->required();
    show->callback([run, name, store] {
        *run = [name, store](Output& out) { return runShow(store(), *name, out); };
    });

    CLI::App* when =
        scene->add_subcommand("when", "Show or change the rule that recalls a scene by itself");
    when->add_option("NAME", *name, "The scene's name")->required();
    addRuleOptions(when, *words);
    when->add_flag("--never", words->clear, "Take the rule away: recalled only when asked");
    when->callback([run, name, words, store] {
        *run = [name, words, store](Output& out) { return runWhen(store(), *name, *words, out); };
    });

    CLI::App* remove = scene->add_subcommand("delete", "Delete a scene");
    remove->add_option("NAME", *name, "The scene's name")->required();
    remove->callback([run, name, store] {
        *run = [name, store](Output& out) {
            std::string why;
            if (!store().remove(*name, &why)) {
                complain(why);
                return kUsage;
            }
            out.note("scene " + *name + " deleted");
            return kDone;
        };
    });

    CLI::App* rename = scene->add_subcommand("rename", "Give a scene another name");
    rename->add_option("NAME", *name, "The scene's name")->required();
    rename->add_option("NEW", *other, "Its new name")->required();
    rename->callback([run, name, other, store] {
        *run = [name, other, store](Output& out) {
            std::string why;
            if (!store().rename(*name, *other, &why)) {
                complain(why);
                return kUsage;
            }
            out.note("scene " + *name + " is now " + *other);
            return kDone;
        };
    });
}

} // namespace cli
