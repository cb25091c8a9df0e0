#include "decode/Decoded.h"

#include <QJsonArray>

#include <algorithm>

namespace decode {
namespace {

constexpr int kIndentPerLevel = 2;
constexpr char kProblemMark = '!';

void appendLines(std::string& out, const Node& node, int depth) {
    if (node.label.empty())
        return;
    std::string line(static_cast<std::size_t>(depth * kIndentPerLevel), ' ');
    if (node.problem)
        line[0] = kProblemMark;
    line += node.label;
    if (!node.text.empty())
        line += ": " + node.text;
    else if (!node.children.empty())
        line += ':';
    out += line + '\n';
    for (const Node& child : node.children)
        appendLines(out, child, depth + 1);
}

QJsonValue valueOf(const Node& node);

bool isList(const std::vector<Node>& nodes) {
    return std::all_of(nodes.begin(), nodes.end(), [](const Node& n) { return n.key.empty(); });
}

// Keys stay as given; a repeat gets the next free number.
QString uniqueKey(const QJsonObject& object, const std::string& key) {
    QString candidate = QString::fromStdString(key);
    for (int n = 2; object.contains(candidate); ++n)
        candidate = QString::fromStdString(key) + QString::number(n);
    return candidate;
}

QJsonValue valueOfChildren(const std::vector<Node>& children) {
    if (isList(children)) {
        QJsonArray array;
        for (const Node& child : children)
            array.append(valueOf(child));
        return array;
    }
    QJsonObject object;
    QJsonArray items; // keyless children among keyed ones
    for (const Node& child : children) {
        if (child.key.empty())
            items.append(valueOf(child));
        else
            object.insert(uniqueKey(object, child.key), valueOf(child));
    }
    if (!items.isEmpty())
        object.insert(uniqueKey(object, "items"), items);
    return object;
}

QJsonValue valueOf(const Node& node) {
    if (!node.children.empty())
        return valueOfChildren(node.children);
    if (node.json.isUndefined())
        return QString::fromStdString(node.text);
    return node.json;
}

} // namespace

std::string renderText(const Decoded& d) {
    std::string out = d.title + '\n';
    for (const Node& node : d.nodes)
        appendLines(out, node, 1);
    if (!d.problems.empty()) {
        out += "Problems:\n";
        for (const std::string& problem : d.problems)
            out += std::string(kIndentPerLevel, ' ') + problem + '\n';
    }
    return out;
}

QJsonObject renderJson(const Decoded& d) {
    QJsonObject root;
    root.insert("title", QString::fromStdString(d.title));
    QJsonValue fields = d.nodes.empty() ? QJsonObject() : valueOfChildren(d.nodes);
    // "fields" is always an object; a keyless top level goes under "items".
    if (fields.isArray())
        fields = QJsonObject{{"items", fields}};
    root.insert("fields", fields);
    QJsonArray problems;
    for (const std::string& problem : d.problems)
        problems.append(QString::fromStdString(problem));
    root.insert("problems", problems);
    return root;
}

} // namespace decode
