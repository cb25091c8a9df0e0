#pragma once

#include "link/Dialogs.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <vector>

// Answers every dialog from a script and records what was asked.
class ScriptedDialogs : public Dialogs {
public:
    struct Shown {
        QString kind; // "usb", "message", "about", "open", "save", "choice"
        QString title;
        QString text;
        int buttons = 0;
        Icon icon = Icon::NoIcon;
        bool hasParent = false;
        QString informativeText;
    };

    std::vector<Shown> shown;
    std::deque<int> answers;           // message boxes; empty: the default button
    std::deque<QString> fileAnswers;   // file dialogs; empty: cancelled ("")
    std::deque<QString> choiceAnswers; // choices; empty: cancelled ("")
    QStringList lastChoiceItems;

    void usbWarning(const QString& text) override;
    int message(QWidget* parent, Icon icon, const QString& title, const QString& text, int buttons,
                int defaultButton) override;
    int question(QWidget* parent, const QString& title, const QString& text,
                 const QString& informativeText, int buttons, int defaultButton) override;
    void about(QWidget* parent, const QString& title, const QString& text) override;
    QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                         const QString& filter) override;
    QString saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                         const QString& filter) override;

    QString choice(QWidget* parent, const QString& title, const QString& label,
                   const QStringList& items) override;

    QStringList texts() const;
    int count(const QString& text) const;
};
