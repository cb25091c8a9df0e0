#pragma once

#include "scene/Scene.h"

#include <string>
#include <vector>

// Scenes on disk: one file each, NAME.json, in one folder
// ($XDG_CONFIG_HOME/korvanta/scenes by default). Files are replaced in one
// step; a damaged one is reported by name and never used.
namespace scene {

struct Entry {
    std::string name;
    std::string file;
    std::string problem; // empty when the scene could be read
    Scene scene;
};

class Store {
public:
    explicit Store(std::string folder) : folder_(std::move(folder)) {}
    // KORVANTA_SCENES when it is an absolute path, else
    // $XDG_CONFIG_HOME/korvanta/scenes, or ~/.config/korvanta/scenes
    // (%APPDATA%\korvanta\scenes on Windows).
    static std::string defaultFolder();

    const std::string& folder() const { return folder_; }
    std::string fileFor(const std::string& name) const;

    // Every scene file, sorted by name, damaged ones included.
    std::vector<Entry> list() const;
    bool load(const std::string& name, Scene* scene, std::string* why) const;
    // Refuses a rule that overlaps another scene's or its own settings, and a
    // name taken (in any case) unless `replace`.
    bool save(const Scene& scene, bool replace, std::string* why) const;
    // The scene's rule replaced, refused as save refuses one.
    bool setRule(const std::string& name, const Rule& rule, std::string* why) const;
    bool remove(const std::string& name, std::string* why) const;
    bool rename(const std::string& from, const std::string& to, std::string* why) const;
    // The readable scenes with rules, for following the source.
    std::vector<Scene> ruled() const;
    // The existing file whose name is `name` in any case, if any.
    std::string takenAs(const std::string& name) const;

private:
    std::string folder_;
};

} // namespace scene
