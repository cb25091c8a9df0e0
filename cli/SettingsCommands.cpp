// get, set and reset: the device's settings by name.
#include "cli/Commands.h"
#include "cli/EdidWrite.h"

#include "link/AppState.h"
#include "session/DeviceOps.h"
#include "session/Readback.h"
#include "settings/FactoryReset.h"
#include "settings/ListEntries.h"
#include "settings/SettingsMap.h"

#include <CLI/CLI.hpp>
#include <QJsonArray>

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

struct Assignment {
    const settings::Setting* setting;
    int value;
};

// Every pair checked against the table before anything is sent.
bool parseAssignments(const std::vector<std::string>& pairs, std::vector<Assignment>* out) {
    for (const std::string& pair : pairs) {
        const auto eq = pair.find('=');
        const std::string name = pair.substr(0, eq);
        const settings::Setting* s = settings::byName(name);
        if (!s) {
            complain("no setting is called \"" + name + "\"; see korvanta set --help");
            return false;
        }
        if (eq == std::string::npos) {
            complain("\"" + pair + "\" gives no value; write " + name +
                     "=VALUE with one of: " + settings::acceptedWords(*s));
            return false;
        }
        int value = 0;
        const std::string word = pair.substr(eq + 1);
        if (!settings::parseValue(*s, word, &value)) {
            complain("\"" + word + "\" is not a value of " + s->name +
                     "; accepted: " + settings::acceptedWords(*s) + " (or raw:N)");
            return false;
        }
        out->push_back({s, value});
    }
    return true;
}

} // namespace

int runGet(const GlobalOptions& options, const std::vector<std::string>& names, Output& out) {
    std::vector<const settings::Setting*> wanted;
    for (const std::string& name : names) {
        const settings::Setting* s = settings::byName(name);
        if (!s) {
            complain("no setting is called \"" + name + "\"; see korvanta get --help");
            return kUsage;
        }
        wanted.push_back(s);
    }
    if (wanted.empty())
        for (const settings::Setting& s : settings::allSettings())
            if (isNamed(s))
                wanted.push_back(&s);

    DeviceSession device(options);
    if (const int code = device.open())
        return code;
    std::uint8_t block[kSettingsBlockSize] = {};
    if (!readSettingsBlock(device, block))
        return kDeviceFailed;

    const QJsonObject all = settingsJson(block);
    QJsonObject words;
    QJsonObject numbers;
    for (const settings::Setting* s : wanted) {
        out.line(std::string(s->name) + "=" + settings::valueWord(*s, block[s->position]));
        words[s->name] = all["settings"][s->name];
        numbers[s->name] = all["values"][s->name];
    }
    out.json["settings"] = words;
    out.json["values"] = numbers;
    return kDone;
}

QJsonObject settingsJson(const std::uint8_t* block) {
    QJsonObject words;
    QJsonObject numbers;
    for (const settings::Setting& s : settings::allSettings()) {
        if (!isNamed(s))
            continue;
        words[s.name] = QString::fromStdString(settings::valueWord(s, block[s.position]));
        numbers[s.name] = block[s.position];
    }
    return {{"settings", words}, {"values", numbers}};
}

int runSet(const GlobalOptions& options, const std::vector<std::string>& pairs, Output& out) {
    std::vector<Assignment> assignments;
    if (!parseAssignments(pairs, &assignments))
        return kUsage;

    DeviceSession device(options);
    if (const int code = device.open())
        return code;
    QJsonArray done;
    int refused = 0;
    for (const Assignment& a : assignments) {
        const bool accepted = session::writeSetting(
            device.reporter, static_cast<std::uint8_t>(a.setting->index), a.value);
        const std::string word = settings::valueWord(*a.setting, a.value);
        if (accepted)
            out.note(std::string(a.setting->name) + "=" + word);
        else {
            ++refused;
            complain(std::string(a.setting->name) + "=" + word + " was not set");
        }
        done.append(QJsonObject{{"name", a.setting->name},
                                {"value", QString::fromStdString(word)},
                                {"sent", a.value},
                                {"accepted", accepted}});
    }
    out.json["set"] = done;
    return refused ? kDeviceFailed : kDone;
}

int runReset(const GlobalOptions& options, const std::string& what, bool yes, Output& out) {
    const bool settingsToo = what == "settings" || what == "all";
    const bool edidToo = what == "edid" || what == "all";
    if (!yes) {
        std::string lost;
        if (settingsToo)
            lost = "every setting goes back to its factory value";
        if (edidToo)
            lost += std::string(lost.empty() ? "" : ", and ") +
                    "the custom EDID is replaced by the factory EDID";
        complain("this would reset the device: " + lost +
                 ". Nothing was sent; add --yes to do it.");
        return kUsage;
    }
    DeviceSession device(options);
    if (const int code = device.open())
        return code;
    const int value = settings::factoryResetValue(settingsToo, edidToo);
    if (!session::writeSetting(device.reporter, settings::kFactoryReset, value))
        return kDeviceFailed;
    out.note("reset " + what);
    out.json["reset"] = QString::fromStdString(what);
    out.json["sent"] = value;
    return kDone;
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
