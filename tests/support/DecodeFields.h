#pragma once

#include "decode/Decoded.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

// A decode's JSON fields by path: "opcode.name", "block1.dataBlocks.video[0].vic".
inline QJsonValue fieldAt(const decode::Decoded& d, const QString& path) {
    QJsonValue v = decode::renderJson(d).value("fields");
    for (const QString& part : path.split('.')) {
        const qsizetype bracket = part.indexOf('[');
        v = v.toObject().value(bracket < 0 ? part : part.left(bracket));
        if (bracket >= 0)
            v = v.toArray().at(part.mid(bracket + 1).chopped(1).toInt());
    }
    return v;
}

inline QStringList problemsOf(const decode::Decoded& d) {
    QStringList out;
    for (const std::string& p : d.problems)
        out << QString::fromStdString(p);
    return out;
}

// The values of one key over a JSON array: "vic" over the video list.
inline QVariantList eachOf(const QJsonValue& array, const QString& key) {
    QVariantList out;
    for (const QJsonValue& v : array.toArray())
        out << (key.isEmpty() ? v.toVariant() : v.toObject().value(key).toVariant());
    return out;
}
