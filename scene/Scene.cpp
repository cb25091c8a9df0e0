#include "scene/Scene.h"

#include "settings/SettingsMap.h"

#include <QJsonArray>

#include <algorithm>
#include <cctype>

namespace scene {

namespace {

constexpr std::size_t kMaxNameLength = 64;
constexpr std::size_t kMaxPatternLength = 64;
const char* const kRuleKeys[] = {"source", "input", "format", "hdr"};

char lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool sameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lower(x) == lower(y); });
}

bool patternFits(const std::string& pattern, const char* field, std::string* why) {
    if (pattern.size() > kMaxPatternLength) {
        *why = std::string("\"") + field + "\" is longer than " +
               std::to_string(kMaxPatternLength) + " characters";
        return false;
    }
    for (char c : pattern)
        if (static_cast<unsigned char>(c) < 0x20) {
            *why = std::string("\"") + field + "\" holds a control character";
            return false;
        }
    return true;
}

// The literal text before the first and after the last wildcard.
std::string head(const std::string& p) {
    return p.substr(0, p.find_first_of("*?"));
}
std::string tail(const std::string& p) {
    const std::size_t last = p.find_last_of("*?");
    return last == std::string::npos ? p : p.substr(last + 1);
}
bool prefixOf(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    return sameText(a.substr(0, n), b.substr(0, n));
}
bool suffixOf(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    return sameText(a.substr(a.size() - n), b.substr(b.size() - n));
}
bool wild(const std::string& p) {
    return p.find_first_of("*?") != std::string::npos;
}

bool patternsOverlap(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty())
        return true;
    if (!wild(a))
        return patternMatch(b, a);
    if (!wild(b))
        return patternMatch(a, b);
    return prefixOf(head(a), head(b)) && suffixOf(tail(a), tail(b));
}

} // namespace

bool validName(const std::string& name, std::string* why) {
    if (name.empty() || name.size() > kMaxNameLength) {
        *why = "a scene's name is 1 to " + std::to_string(kMaxNameLength) + " characters";
        return false;
    }
    if (name.front() == '.' || name.front() == ' ' || name.back() == ' ') {
        *why = "a scene's name does not start with '.' or a space, nor end with a space";
        return false;
    }
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != ' ' && c != '-' && c != '_' &&
            c != '.') {
            *why = "a scene's name holds letters, digits, spaces, '-', '_' and '.' only, not \"" +
                   std::string(1, c) + "\"";
            return false;
        }
    return true;
}

bool ruleFromJson(const QJsonObject& when, Rule* rule, std::string* why) {
    for (auto it = when.begin(); it != when.end(); ++it) {
        const std::string key = it.key().toStdString();
        if (std::none_of(std::begin(kRuleKeys), std::end(kRuleKeys),
                         [&](const char* k) { return key == k; })) {
            *why = "\"when\" has no field \"" + key + "\"; it takes source, input, format and hdr";
            return false;
        }
        if (!it.value().isString()) {
            *why = "\"when\"." + key + " is not text";
            return false;
        }
    }
    Rule r;
    r.source = when["source"].toString().toStdString();
    r.format = when["format"].toString().toStdString();
    r.input = when["input"].toString().toStdString();
    r.hdr = when["hdr"].toString().toStdString();
    if (!patternFits(r.source, "source", why) || !patternFits(r.format, "format", why))
        return false;
    if (!r.input.empty()) {
        const settings::Setting* input = settings::byName("input");
        int value = 0;
        if (!input || !settings::parseValue(*input, r.input, &value)) {
            *why = "\"when\".input \"" + r.input + "\" is not an input; accepted: " +
                   (input ? settings::acceptedWords(*input) : "");
            return false;
        }
    }
    if (!r.hdr.empty() && r.hdr != "on" && r.hdr != "off") {
        *why = "\"when\".hdr \"" + r.hdr + "\" is neither on nor off";
        return false;
    }
    *rule = r;
    return true;
}

QJsonObject ruleToJson(const Rule& rule) {
    QJsonObject when;
    for (const auto& [key, value] : {std::pair{"source", &rule.source},
                                     {"input", &rule.input},
                                     {"format", &rule.format},
                                     {"hdr", &rule.hdr}})
        if (!value->empty())
            when[key] = QString::fromStdString(*value);
    return when;
}

std::string ruleText(const Rule& rule) {
    std::string text;
    for (const auto& [key, value] : {std::pair{"source", &rule.source},
                                     {"input", &rule.input},
                                     {"format", &rule.format},
                                     {"hdr", &rule.hdr}})
        if (!value->empty())
            text += (text.empty() ? "" : ", ") + std::string(key) + " " + *value;
    return text.empty() ? "never" : text;
}

bool ruleFromTyped(const Rule& typed, Rule* rule, std::string* why) {
    const auto trimmed = [](const std::string& text) {
        const std::size_t first = text.find_first_not_of(" \t");
        return first == std::string::npos
                   ? std::string()
                   : text.substr(first, text.find_last_not_of(" \t") - first + 1);
    };
    const Rule clean{trimmed(typed.source), trimmed(typed.input), trimmed(typed.format),
                     trimmed(typed.hdr)};
    return ruleFromJson(ruleToJson(clean), rule, why);
}

bool sceneFromDocument(const QJsonObject& document, const std::string& name,
                       const std::string& where, Scene* scene, std::string* why) {
    const QJsonValue meta = document["scene"];
    if (!meta.isUndefined() && !meta.isObject()) {
        *why = where + ": \"scene\" is not an object";
        return false;
    }
    const QJsonValue when = meta.toObject().value("when");
    if (!when.isUndefined() && !when.isObject()) {
        *why = where + ": \"scene\".when is not an object";
        return false;
    }
    Rule rule;
    std::string problem;
    if (!ruleFromJson(when.toObject(), &rule, &problem)) {
        *why = where + ": " + problem;
        return false;
    }
    *scene = Scene{name, document, rule};
    return true;
}

QJsonObject sceneDocument(const QJsonObject& backup, const std::string& name, const Rule& rule) {
    QJsonObject document = backup;
    QJsonObject meta{{"name", QString::fromStdString(name)}};
    if (!rule.empty())
        meta["when"] = ruleToJson(rule);
    document["scene"] = meta;
    return document;
}

bool narrowDocument(QJsonObject* backup, const std::vector<std::string>& only, bool withEdid,
                    std::string* why) {
    if (!withEdid)
        backup->remove("edid");
    if (only.empty())
        return true;
    const QJsonObject all = (*backup)["settings"].toObject();
    QJsonObject kept;
    bool infoFrames = false, buttons = false;
    for (const std::string& name : only) {
        if (name == "infoframes") {
            infoFrames = true;
        } else if (name == "cec-buttons") {
            buttons = true;
        } else if (!settings::byName(name)) {
            *why = "no setting is called \"" + name +
                   "\" (--only takes setting names, infoframes and cec-buttons)";
            return false;
        } else if (const QString key = QString::fromStdString(name); all.contains(key)) {
            kept[key] = all[key];
        }
    }
    (*backup)["settings"] = kept;
    if (!infoFrames)
        backup->remove("infoFrames");
    if (!buttons)
        backup->remove("cecButtons");
    return true;
}

std::vector<std::string> settingNames(const QJsonObject& document) {
    std::vector<std::string> names;
    const QJsonObject named = document["settings"].toObject();
    for (const settings::Setting& s : settings::allSettings())
        if (s.name && named.contains(s.name))
            names.emplace_back(s.name);
    return names;
}

bool patternMatch(const std::string& pattern, const std::string& text) {
    // Greedy with one back-off point: linear in practice, never exponential.
    std::size_t p = 0, t = 0, star = std::string::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || lower(pattern[p]) == lower(text[t]))) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool matches(const Rule& rule, const Observed& seen) {
    if (rule.empty())
        return false;
    if (!rule.source.empty() && !patternMatch(rule.source, seen.source))
        return false;
    if (!rule.format.empty() && !patternMatch(rule.format, seen.format))
        return false;
    if (!rule.input.empty() && !sameText(rule.input, seen.input))
        return false;
    return rule.hdr.empty() || rule.hdr == (seen.hdr ? "on" : "off");
}

bool rulesOverlap(const Rule& a, const Rule& b) {
    if (a.empty() || b.empty())
        return false;
    const auto same = [](const std::string& x, const std::string& y) {
        return x.empty() || y.empty() || sameText(x, y);
    };
    return patternsOverlap(a.source, b.source) && patternsOverlap(a.format, b.format) &&
           same(a.input, b.input) && same(a.hdr, b.hdr);
}

std::string selfConflict(const Scene& scene) {
    const QJsonObject named = scene.document["settings"].toObject();
    if (scene.when.input.empty() || !named.contains("input"))
        return {};
    const std::string sets = named["input"].toString().toStdString();
    if (sameText(sets, scene.when.input))
        return {};
    return "its rule asks for input " + scene.when.input + " but it sets input " + sets +
           ", which would end its own match";
}

Follower::Step Follower::observe(const std::vector<Scene>& scenes, const Observed& seen,
                                 std::uint32_t nowMs) {
    Step step;
    std::vector<std::string> matched;
    for (const Scene& s : scenes)
        if (matches(s.when, seen))
            matched.push_back(s.name);
    if (matched.size() > 1) {
        if (!tiedBefore_)
            step.tied = matched;
        tiedBefore_ = true;
        current_.clear();
        return step;
    }
    tiedBefore_ = false;
    const std::string now = matched.empty() ? std::string() : matched.front();
    if (now != current_ && !now.empty()) {
        if (recalled_ && nowMs - recalledAtMs_ < kSettleMs) {
            step.heldBack = now;
        } else {
            step.recall = now;
            recalled_ = true;
            recalledAtMs_ = nowMs;
        }
    }
    current_ = now;
    return step;
}

} // namespace scene
