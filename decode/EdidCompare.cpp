#include "decode/EdidDecode.h"

#include "decode/NodeBuild.h"

#include <QJsonArray>

#include <algorithm>
#include <map>
#include <set>

namespace decode {
namespace {

// Lists that the comparison shows as formats only one side has, rather than
// position by position.
bool isFormatList(const std::string& key) {
    return key == "video" || key == "audio" || key == "ycbcr420Video";
}

struct Flat {
    std::string path;  // keys, list entries by label: "block1.dataBlocks.video.[VIC 16]"
    std::string label; // labels: "Block 1 > Data blocks > HDMI ... > Physical address"
    std::string text;
    bool entry = false; // a list entry paired by what it holds: one side's is one line
};

// Timing lists pair their entries by what they hold, not where they stand.
bool isTimingList(const std::string& key) {
    return key == "establishedTimings" || key == "standardTimings";
}

bool isDetailedTiming(const Node& n) {
    return (n.key == "preferredTiming" && !n.children.empty()) ||
           (n.key.empty() && n.label == "Detailed timing");
}

// Detailed timings of every block in the order the EDID lists them.
void collectTimings(const std::vector<Node>& nodes, std::vector<const Node*>& out) {
    for (const Node& n : nodes) {
        if (isDetailedTiming(n))
            out.push_back(&n);
        else if (n.key != "preferredTiming")
            collectTimings(n.children, out);
    }
}

void flatten(const std::vector<Node>& nodes, const std::string& path, const std::string& label,
             std::vector<Flat>& out, bool entries = false) {
    std::map<std::string, int> seen; // repeated keys are numbered as in JSON
    for (const Node& n : nodes) {
        // Detailed timings are one list wherever they stand; see flattenTimings.
        if (n.label.empty() || n.key == "preferredTiming" || n.key == "detailedTimings")
            continue;
        // List entries pair up by what they are ("VIC 96"), not where they stand.
        std::string key = n.key.empty() ? "[" + n.label + "]" : n.key;
        if (entries)
            key = "[" + n.label + ": " + n.text + "]";
        if (const int count = ++seen[key]; count > 1)
            key += std::to_string(count);
        const std::string p = path.empty() ? key : path + "." + key;
        const std::string l = label.empty() ? n.label : label + " > " + n.label;
        out.push_back({p, l, n.text, entries});
        if (!isFormatList(n.key))
            flatten(n.children, p, l, out, isTimingList(n.key));
    }
}

void flattenTimings(const std::vector<const Node*>& timings, std::vector<Flat>& out) {
    if (!timings.empty())
        out.push_back({"detailedTimings", "Detailed timings", {}});
    std::map<std::string, int> seen;
    for (const Node* t : timings) {
        std::string key = "[" + t->text + "]";
        if (const int count = ++seen[key]; count > 1)
            key += std::to_string(count);
        const std::string p = "detailedTimings." + key;
        out.push_back({p, "Detailed timing", t->text, true});
        flatten(t->children, p, "Detailed timing " + t->text, out);
    }
}

std::vector<Flat> flattened(const Decoded& d) {
    std::vector<Flat> out;
    flatten(d.nodes, {}, {}, out);
    std::vector<const Node*> timings;
    collectTimings(d.nodes, timings);
    flattenTimings(timings, out);
    return out;
}

std::string preferredTiming(const Decoded& d) {
    for (const Node& n : d.nodes)
        if (isDetailedTiming(n))
            return n.text;
    return "none";
}

std::multiset<std::string> timingSet(const Decoded& d) {
    std::vector<const Node*> timings;
    collectTimings(d.nodes, timings);
    std::multiset<std::string> out;
    for (const Node* t : timings)
        out.insert(t->text);
    return out;
}

const Node* child(const Node& n, const std::string& key) {
    for (const Node& c : n.children)
        if (c.key == key)
            return &c;
    return nullptr;
}

// Formats by what identifies them: the video code (and whether 4:2:0 only),
// or an audio format's whole description.
struct Format {
    std::string id;
    std::string label, text;
    QJsonValue json;
};
using Formats = std::vector<Format>; // in the order the EDID lists them

bool listed(const Formats& formats, const std::string& id) {
    return std::any_of(formats.begin(), formats.end(), [&](const Format& f) { return f.id == id; });
}

void collect(const std::vector<Node>& nodes, Formats& video, Formats& audio) {
    for (const Node& n : nodes) {
        if (n.key == "video" || n.key == "ycbcr420Video") {
            const std::string suffix = n.key == "video" ? "" : " (4:2:0 only)";
            for (const Node& entry : n.children) {
                const Node* vic = child(entry, "vic");
                const Node* name = child(entry, "name");
                if (vic && name && !listed(video, entry.label + suffix))
                    video.push_back({entry.label + suffix, entry.label,
                                     name->json.toString().toStdString() + suffix, vic->json});
            }
        } else if (n.key == "audio") {
            for (const Node& entry : n.children) {
                const std::string text = entry.label + ": " + entry.text;
                if (!listed(audio, text))
                    audio.push_back({text, entry.label, entry.text, QString::fromStdString(text)});
            }
        } else {
            collect(n.children, video, audio);
        }
    }
}

Node onlyIn(const char* key, const std::string& what, const Formats& mine, const Formats& theirs) {
    Node n = group(key, what);
    for (const Format& format : mine)
        if (!listed(theirs, format.id))
            n.children.push_back(field({}, format.label, format.text, format.json));
    if (n.children.empty()) {
        n.text = "none";
        n.json = QJsonArray(); // still a list
    }
    return n;
}

Node difference(const Flat& field_, const std::string& a, const std::string& b,
                const std::string& nameA, const std::string& nameB) {
    Node n =
        field({}, field_.label,
              nameA + ": " + (a.empty() ? "-" : a) + "; " + nameB + ": " + (b.empty() ? "-" : b));
    n.children = {jsonOnly("field", QString::fromStdString(field_.path)),
                  jsonOnly("label", QString::fromStdString(field_.label)),
                  jsonOnly("a", QString::fromStdString(a)),
                  jsonOnly("b", QString::fromStdString(b))};
    return n;
}

Node differences(const Decoded& a, const Decoded& b, const std::string& nameA,
                 const std::string& nameB) {
    const std::vector<Flat> fa = flattened(a), fb = flattened(b);
    std::map<std::string, const Flat*> inB;
    for (const Flat& f : fb)
        inB[f.path] = &f;
    Node n = group("differences", "Fields that differ");
    std::map<std::string, const Flat*> inA;
    for (const Flat& f : fa)
        inA[f.path] = &f;
    // A part one side lacks is one line; what lies below it is not repeated.
    const auto oneSided = [&](const Flat& f, const std::vector<Flat>& side,
                              const std::map<std::string, const Flat*>& other,
                              const std::string& name) {
        int depth = 0; // a dot inside "[...]" belongs to a list entry's name
        for (std::size_t at = 0; at < f.path.size(); ++at) {
            depth += f.path[at] == '[' ? 1 : f.path[at] == ']' ? -1 : 0;
            if (f.path[at] == '.' && depth == 0 && !other.count(f.path.substr(0, at)))
                return; // an ancestor already said it
        }
        const std::string below = f.path + ".";
        const bool hasParts = !f.entry && std::any_of(side.begin(), side.end(), [&](const Flat& g) {
            return g.path.starts_with(below);
        });
        if (!hasParts) {
            const bool sideIsA = &side == &fa;
            n.children.push_back(difference(f, sideIsA ? f.text : std::string(),
                                            sideIsA ? std::string() : f.text, nameA, nameB));
            return;
        }
        Node line = field({}, f.label, "only in " + name);
        line.children = {jsonOnly("field", QString::fromStdString(f.path)),
                         jsonOnly("label", QString::fromStdString(f.label)),
                         jsonOnly("onlyIn", QString::fromStdString(name))};
        n.children.push_back(std::move(line));
    };
    for (const Flat& f : fa) {
        const auto other = inB.find(f.path);
        if (other == inB.end())
            oneSided(f, fa, inB, nameA);
        else if (other->second->text != f.text)
            n.children.push_back(difference(f, f.text, other->second->text, nameA, nameB));
    }
    for (const Flat& f : fb)
        if (!inA.count(f.path))
            oneSided(f, fb, inA, nameB);
    if (const std::string firstA = preferredTiming(a), firstB = preferredTiming(b);
        firstA != firstB) {
        // Order matters for the first detailed timing only: it is the preferred one.
        const Flat first{"preferredTiming", "Preferred timing", {}};
        Node line = difference(first, firstA, firstB, nameA, nameB);
        if (timingSet(a) == timingSet(b)) {
            line.text = "order of detailed timings differs; the first (preferred) is " + firstA +
                        " in " + nameA + " and " + firstB + " in " + nameB;
            line.children.push_back(jsonOnly("reordered", true));
        }
        const auto at = std::find_if(n.children.begin(), n.children.end(), [](const Node& c) {
            return !c.children.empty() &&
                   c.children.front().json.toString().startsWith("detailedTimings.");
        });
        n.children.insert(at, std::move(line));
    }
    if (n.children.empty()) {
        n.text = "none";
        n.json = QJsonArray(); // still a list
    }
    return n;
}

void copyProblems(Decoded& into, const Decoded& from, const std::string& name) {
    for (const std::string& p : from.problems)
        into.problems.push_back(name + ": " + p);
}

} // namespace

Decoded compareEdids(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b,
                     const std::string& nameA, const std::string& nameB) {
    const Decoded da = decodeEdid(a), db = decodeEdid(b);
    Decoded d;
    d.title = "EDID comparison";
    d.nodes.push_back(field("compared", "Compared", nameA + " with " + nameB));
    d.nodes.push_back(jsonOnly("nameA", QString::fromStdString(nameA)));
    d.nodes.push_back(jsonOnly("nameB", QString::fromStdString(nameB)));
    Node diff = differences(da, db, nameA, nameB);
    Formats videoInA, audioInA, videoInB, audioInB;
    collect(da.nodes, videoInA, audioInA);
    collect(db.nodes, videoInB, audioInB);
    Node videoA = onlyIn("videoOnlyA", "Video formats only in " + nameA, videoInA, videoInB);
    Node videoB = onlyIn("videoOnlyB", "Video formats only in " + nameB, videoInB, videoInA);
    Node audioA = onlyIn("audioOnlyA", "Audio formats only in " + nameA, audioInA, audioInB);
    Node audioB = onlyIn("audioOnlyB", "Audio formats only in " + nameB, audioInB, audioInA);
    const bool identical = diff.children.empty() && videoA.children.empty() &&
                           videoB.children.empty() && audioA.children.empty() &&
                           audioB.children.empty();
    d.nodes.push_back(
        field("identical", "Same", identical ? "yes, the two decode the same" : "no", identical));
    for (Node* n : {&diff, &videoA, &videoB, &audioA, &audioB})
        d.nodes.push_back(std::move(*n));
    copyProblems(d, da, nameA);
    copyProblems(d, db, nameB);
    return d;
}

} // namespace decode
