// get, set and reset: the device's settings by name.
#include "cli/Commands.h"

#include "ops/OpsJson.h"
#include "settings/ListEntries.h"
#include "settings/SettingsMap.h"

#include <CLI/CLI.hpp>
#include <memory>

namespace cli {

namespace {

bool isNamed(const settings::Setting& s) {
    return s.name != nullptr;
}

// What `get --help` and `set --help` list: each name, what it does, its words.
std::string settingsHelp() {
    std::string text = "Settings:\n";
    for (const settings::Setting& s : settings::allSettings()) {
        if (!isNamed(s))
            continue;
        char line[160];
        std::snprintf(line, sizeof line, "  %-16s %s\n  %-16s   values: %s\n", s.name, s.summary,
                      "", settings::acceptedWords(s).c_str());
        text += line;
    }
    text += "\nEDID presets (edid-preset):\n";
    for (std::size_t i = 0; i < settings::kEdidPresetEntries.size(); ++i)
        text += "  " + std::to_string(i) + "  " + settings::kEdidPresetEntries[i] + "\n";
    text += "\nNames and values may be written in any letter case. A value may also be given\n"
            "as raw:N, N being the number that is sent; a bare number means the same, except\n"
            "where the values are numbers themselves (hdcp: 1.4 or 2.2, never 2).";
    return text;
}

} // namespace

int runGet(const GlobalOptions& options, const std::vector<std::string>& names, Output& out) {
    DeviceSession device(options);
    const ops::GetResult r = ops::get({names}, device, device.reporter);
    if (!r.error)
        for (const settings::Setting* s : r.wanted)
            out.line(std::string(s->name) + "=" + settings::valueWord(*s, r.block[s->position]));
    out.json = ops::toJson(r);
    return ops::exitCode(r.error);
}

int runSet(const GlobalOptions& options, const std::vector<std::string>& pairs, Output& out) {
    DeviceSession device(options);
    const ops::SetResult r = ops::set({pairs}, device, device.reporter);
    for (const ops::SetWrite& w : r.writes)
        if (w.accepted)
            out.note(std::string(w.setting->name) + "=" + w.word);
    out.json = ops::toJson(r);
    return ops::exitCode(r.error);
}

int runReset(const GlobalOptions& options, const std::string& what, bool yes, Output& out) {
    DeviceSession device(options);
    const ops::ResetResult r = ops::reset({what, yes}, device, device.reporter);
    if (!r.error)
        out.note("reset " + what);
    out.json = ops::toJson(r);
    return ops::exitCode(r.error);
}

void addSettingsCommands(CLI::App& app, GlobalOptions& options, Action* run) {
    auto names = std::make_shared<std::vector<std::string>>();
    CLI::App* get = app.add_subcommand("get", "Show settings as the device reports them");
    get->add_option("NAME", *names, "Settings to show (all when none is named)");
    get->footer(settingsHelp());
    get->callback([&options, names, run] {
        *run = [&options, names](Output& out) { return runGet(options, *names, out); };
    });

    auto pairs = std::make_shared<std::vector<std::string>>();
    CLI::App* set = app.add_subcommand(
        "set", "Change settings: one setting write per NAME=VALUE, in order, after all were "
               "checked");
    set->add_option("NAME=VALUE", *pairs, "Setting and value")->required();
    set->footer(settingsHelp());
    set->callback([&options, pairs, run] {
        *run = [&options, pairs](Output& out) { return runSet(options, *pairs, out); };
    });

    auto what = std::make_shared<std::string>();
    auto yes = std::make_shared<bool>(false);
    CLI::App* reset = app.add_subcommand("reset", "Reset the device to its factory state");
    reset->add_option("WHAT", *what, "settings, edid or all")
        ->required()
        ->transform(CLI::IsMember({"settings", "edid", "all"}, CLI::ignore_case));
    reset->add_flag("--yes", *yes, "Really do it (without it nothing is sent)");
    reset->callback([&options, what, yes, run] {
        *run = [&options, what, yes](Output& out) { return runReset(options, *what, *yes, out); };
    });
}

} // namespace cli
