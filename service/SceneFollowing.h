#pragma once

#include "scene/Scene.h"
#include "service/Events.h"
#include "service/Methods.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <string>

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

    // What the rules read from the status and the settings.
    static scene::Observed observed(const ops::StatusReading& status,
                                    const ops::SettingsBlock& settings);

private:
    void look();
    void recall(const scene::Scene& s);

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
};

} // namespace service
