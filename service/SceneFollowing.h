#pragma once

#include "scene/Scene.h"
#include "service/Events.h"
#include "service/Methods.h"

#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QObject>

#include <functional>
#include <string>
#include <vector>

// korvanta serve following the source: when the status starts to match a
// scene's rule, the scene is recalled once, as `restore` would bring it back,
// in turn with every client, and the clients are told.
namespace service {

struct SceneFollowingSetup {
    std::string folder;    // where the scenes are
    MethodHandler methods; // "restore" recalls a scene's document
    std::function<void(const std::string&)> log;
};

class SceneFollowing {
public:
    SceneFollowing(Events& events, SceneFollowingSetup setup);
    ~SceneFollowing();
    SceneFollowing(const SceneFollowing&) = delete;
    SceneFollowing& operator=(const SceneFollowing&) = delete;

    // Recalls a scene by name, in turn with every client; `by` says who
    // asked ("rule", "mqtt", ...) in the log and the notification.
    void recall(const std::string& name, const std::string& by);
    // The scenes that can be recalled, by name; the last one recalled.
    const std::vector<std::string>& names() const { return names_; }
    const std::string& lastRecalled() const { return lastRecalled_; }
    struct Listener {
        std::function<void(const std::vector<std::string>&)> listChanged;
        std::function<void(const std::string&)> recalled;
    };
    int listen(Listener listener) {
        listeners_.emplace_back(++lastListener_, std::move(listener));
        return lastListener_;
    }
    void unlisten(int n) {
        std::erase_if(listeners_, [n](const auto& l) { return l.first == n; });
    }

    // What the rules read from the status and the settings.
    static scene::Observed observed(const ops::StatusReading& status,
                                    const ops::SettingsBlock& settings);

private:
    void look();
    void recall(const scene::Scene& s, const std::string& by);
    void relist();
    // Tells the clients and the listeners.
    void recalled(const std::string& name, const std::string& by, const MethodResult& result);

    // Long enough for the device to lock on a new input and the poll to read it.
    static constexpr int kInputSettleMs = 2000;

    Events& events_;
    QObject context_; // the timers die with the follower
    SceneFollowingSetup setup_;
    int subscription_ = 0;
    scene::Follower follower_;
    QElapsedTimer clock_;
    bool recalling_ = false;
    int lastInput_ = -1;
    std::vector<std::string> names_;
    std::string lastRecalled_;
    std::vector<std::pair<int, Listener>> listeners_;
    int lastListener_ = 0;
    QFileSystemWatcher watcher_;
};

} // namespace service
