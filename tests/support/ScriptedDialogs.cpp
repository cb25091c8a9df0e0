#include "ScriptedDialogs.h"

void ScriptedDialogs::usbWarning(const QString& text) {
    shown.push_back({"usb", QStringLiteral(" "), text, Ok, Icon::Warning, false, {}});
}

int ScriptedDialogs::message(QWidget* parent, Icon icon, const QString& title, const QString& text,
                             int buttons, int defaultButton) {
    shown.push_back({"message", title, text, buttons, icon, parent != nullptr, {}});
    if (answers.empty())
        return defaultButton;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

int ScriptedDialogs::question(QWidget* parent, const QString& title, const QString& text,
                              const QString& informativeText, int buttons, int defaultButton) {
    shown.push_back(
        {"question", title, text, buttons, Icon::NoIcon, parent != nullptr, informativeText});
    if (answers.empty())
        return defaultButton;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

void ScriptedDialogs::about(QWidget* parent, const QString& title, const QString& text) {
    shown.push_back({"about", title, text, Ok, Icon::Information, parent != nullptr, {}});
}

QString ScriptedDialogs::openFileName(QWidget* parent, const QString& caption, const QString& dir,
                                      const QString& filter) {
    shown.push_back(
        {"open", caption, dir + QLatin1Char('|') + filter, 0, Icon::NoIcon, parent != nullptr, {}});
    if (fileAnswers.empty())
        return {};
    const QString answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

QString ScriptedDialogs::saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                                      const QString& filter) {
    shown.push_back(
        {"save", caption, dir + QLatin1Char('|') + filter, 0, Icon::NoIcon, parent != nullptr, {}});
    if (fileAnswers.empty())
        return {};
    const QString answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

QString ScriptedDialogs::choice(QWidget* parent, const QString& title, const QString& label,
                                const QStringList& items) {
    shown.push_back({"choice", title, label, 0, Icon::Question, parent != nullptr, {}});
    lastChoiceItems = items;
    if (choiceAnswers.empty())
        return {};
    const QString answer = choiceAnswers.front();
    choiceAnswers.pop_front();
    return answer;
}

QStringList ScriptedDialogs::texts() const {
    QStringList list;
    for (const auto& s : shown)
        list << s.text;
    return list;
}

int ScriptedDialogs::count(const QString& text) const {
    int n = 0;
    for (const auto& s : shown)
        n += s.text == text;
    return n;
}
