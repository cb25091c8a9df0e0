#pragma once

#include <QJsonObject>

#include <cstdint>
#include <string>
#include <vector>

// A scene: the device's set-up under a name. Its document is a backup
// document (restore reads it as one), perhaps naming only some settings, with
// a "scene" object beside the backup's keys for the name and the rules that
// recall it by themselves.
namespace scene {

// When a scene recalls itself: every field given must hold, an empty one
// holds always. `source` and `format` are patterns (`*` any run, `?` one
// character, case ignored) over the status's source name ("STRMBOX 4K Media
// Player") and input format ("3840x2160p60"); `input` is a word of the input
// setting; `hdr` is "on" or "off".
struct Rule {
    std::string source;
    std::string input;
    std::string format;
    std::string hdr;
    bool empty() const { return source.empty() && input.empty() && format.empty() && hdr.empty(); }
};

struct Scene {
    std::string name;
    QJsonObject document; // the backup document, "scene" included
    Rule when;
};

// Names are what a user types and a file is called: 1 to 64 letters, digits,
// spaces, '-', '_' or '.', not starting with '.' or a space.
bool validName(const std::string& name, std::string* why);

// The rule as the document holds it ({"source": ..., ...}); false with the
// field and the accepted values when one cannot be used.
bool ruleFromJson(const QJsonObject& when, Rule* rule, std::string* why);
QJsonObject ruleToJson(const Rule& rule);
// The rule as one line: "source STRMBOX*, input a"; "never" when empty.
std::string ruleText(const Rule& rule);
// A rule as typed (on the command line, in the window's fields), checked as a
// file's rule is; spaces around a field are dropped.
bool ruleFromTyped(const Rule& typed, Rule* rule, std::string* why);

// A scene read from its document; `where` names it in complaints.
bool sceneFromDocument(const QJsonObject& document, const std::string& name,
                       const std::string& where, Scene* scene, std::string* why);
// A backup document as a scene: the "scene" object set from name and rule.
QJsonObject sceneDocument(const QJsonObject& backup, const std::string& name, const Rule& rule);

// Keeps only the named settings of a backup document (the words
// "infoframes" and "cec-buttons" keep those parts); the EDID stays only
// with `withEdid`. An empty list keeps every setting and the InfoFrames.
bool narrowDocument(QJsonObject* backup, const std::vector<std::string>& only, bool withEdid,
                    std::string* why);
// The settings a scene's document names, in its order.
std::vector<std::string> settingNames(const QJsonObject& document);

// What the device shows now, as the rules read it.
struct Observed {
    std::string source; // vendor and product, as the status line gives them
    std::string input;  // the input setting's word
    std::string format; // the input format's name; empty without a signal
    bool hdr = false;
};

bool patternMatch(const std::string& pattern, const std::string& text);
bool matches(const Rule& rule, const Observed& seen);
// True when some status could match both rules, so which scene it recalls
// would be a surprise. Patterns are judged by what they fix at their ends,
// which may call two rules overlapping that no real name satisfies both of.
bool rulesOverlap(const Rule& a, const Rule& b);
// Why a scene's rule and its own settings disagree (a rule on input a that
// switches to input b undoes its own match); empty when they agree.
std::string selfConflict(const Scene& scene);

// Follows the device's status and says which scene to recall: the one whose
// rule has just started to match, once, and nothing while it keeps matching
// (a user's change then stays), nor when two match. A match that starts soon
// after a recall may be that recall's doing (it switched the input, another
// source appeared): it is not followed, so two scenes never take turns.
class Follower {
public:
    static constexpr std::uint32_t kSettleMs = 15000;
    struct Step {
        std::string recall;            // a scene's name, or empty
        std::string heldBack;          // matched within kSettleMs of a recall
        std::vector<std::string> tied; // several matched: none recalled (said once)
    };
    Step observe(const std::vector<Scene>& scenes, const Observed& seen, std::uint32_t nowMs);
    const std::string& current() const { return current_; }

private:
    std::string current_; // the scene that matched last time, or empty
    bool tiedBefore_ = false;
    bool recalled_ = false;
    std::uint32_t recalledAtMs_ = 0;
};

} // namespace scene
