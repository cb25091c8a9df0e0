#pragma once

#include "edid/EdidModel.h"

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

// Ready-made EDIDs written as the edits that make them: text files of
// "option = value" lines (the names of EdidOptions.h), "#" comments, and
// "preset-name" and "description" lines. The program's own are built in;
// users add theirs under $XDG_DATA_HOME/korvanta/edid-presets/*.ini.
namespace edid {

struct PresetInfo {
    QString id; // the file name without ".ini"
    // Without a description line: the first comment, else the name.
    QString name, description;
    bool user = false;
};

struct PresetBuild {
    bool ok = false;
    std::string message; // the line that failed and why
    Model model;
    std::vector<std::uint8_t> bytes;
};

QString userPresetDir();
// Built-in ones first; a user file with a built-in id replaces it.
std::vector<PresetInfo> listPresets();
PresetBuild buildPreset(const QString& id);
// From the text of a preset file, starting with blankEdid().
PresetBuild buildPresetText(const QString& text);

} // namespace edid
