#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// Every message box, question and file dialog of the program goes through
// here, so that tests answer them from a script instead of waiting for a click.
class Dialogs {
public:
    enum class Icon { NoIcon, Information, Warning, Critical, Question };

    // Same values as QMessageBox::StandardButton, which the window passes on.
    static constexpr int Ok = 0x00000400;
    static constexpr int Yes = 0x00004000;
    static constexpr int No = 0x00010000;

    virtual ~Dialogs() = default;

    // The USB layer's own warnings: no owner, title " ", warning icon, one OK button.
    virtual void usbWarning(const QString& text) = 0;
    // True where each warning waits for the user (a box to click), which
    // paces a repeated one; false where it is only written out, so that a
    // failure repeated in a loop is said once per transaction, not flooded.
    virtual bool warningsWait() const { return true; }
    // A message box; returns the button chosen.
    virtual int message(QWidget* parent, Icon icon, const QString& title, const QString& text,
                        int buttons, int defaultButton) = 0;
    // A message box without icon whose informative text stands below the main text.
    virtual int question(QWidget* parent, const QString& title, const QString& text,
                         const QString& informativeText, int buttons, int defaultButton) {
        return message(parent, Icon::NoIcon, title, text + QStringLiteral("\n\n") + informativeText,
                       buttons, defaultButton);
    }
    virtual void about(QWidget* parent, const QString& title, const QString& text) = 0;
    virtual QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                                 const QString& filter) = 0;
    virtual QString saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                                 const QString& filter) = 0;
    // One of `items`, or an empty string when cancelled (which is all a
    // front end without a way to ask can do).
    virtual QString choice(QWidget* parent, const QString& title, const QString& label,
                           const QStringList& items) {
        (void)parent, (void)title, (void)label, (void)items;
        return {};
    }
};

// Shows nothing and asks nothing, for programs and moments with nobody to
// click: the default button, no file, and warnings that never wait.
class SilentDialogs : public Dialogs {
public:
    void usbWarning(const QString&) override {}
    bool warningsWait() const override { return false; }
    int message(QWidget*, Icon, const QString&, const QString&, int, int defaultButton) override {
        return defaultButton;
    }
    void about(QWidget*, const QString&, const QString&) override {}
    QString openFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
};
