#pragma once

#include "decode/Decoded.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QListWidget;
class QPushButton;
class QHBoxLayout;
class QTextEdit;
class QTreeWidget;
namespace session {
class Reporter;
}

// A window of its own, beside the main one, that shows a decode as a tree of
// fields and lists its problems; a field with a problem is drawn in red.
class DecodeWindow : public QWidget {
    Q_OBJECT

public:
    using Decoder = std::function<decode::Decoded(const QString&)>;

    // A comparison: one value column per side, headed by the side's name.
    struct SideRow {
        QString label;
        QStringList values; // one a side
        QString tip;        // the row in words, when the values alone say less
        std::vector<SideRow> children;
    };
    struct SideBySide {
        QString heading;
        QStringList sides;
        std::vector<SideRow> rows;
        std::vector<std::string> problems;
        QString verdict; // above the problems, if any
    };
    using SideBySideView = std::function<SideBySide(const QString&)>;

    // Belongs to `owner` and closes with it; deletes itself when closed.
    DecodeWindow(QWidget* owner, const QString& title);
    ~DecodeWindow() override;

    // The open window of this object name that `owner` holds, or null. A
    // closed one is on its way out and does not count.
    static DecodeWindow* findOpen(QWidget* owner, const QString& name);
    // Shows the window and brings it in front of the main one.
    void present();

    // Shows the decode of the field's text, and again each time it changes.
    void follow(QTextEdit* field, Decoder decoder);
    void followSideBySide(QTextEdit* field, SideBySideView view);
    void showDecoded(const decode::Decoded& decoded);
    void showSideBySide(const SideBySide& view);
    // One line above the decode: where it comes from, or what went wrong.
    void showNote(const QString& text, bool problem = false);
    QString note() const;
    // The line above the problems: their count, or a comparison's verdict.
    QString summary() const;

    // A button in the row above the decode (a comparison's sources).
    QPushButton* addChoice(const QString& text);
    // Labels are shown whole, the window widening for them as far as the
    // screen allows: a comparison's labels are field paths, useless when cut.
    void showWholeLabels();

    // Texts of device flows run for this window land in its note.
    session::Reporter& reporter() { return *reporter_; }
    // The last text a device flow reported.
    QString lastReport() const { return lastReport_; }

    QTreeWidget* tree() const { return tree_; }
    QListWidget* problemList() const { return problems_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void refresh();

private:
    void followWith(QTextEdit* field, std::function<void(const QString&)> show);
    void showProblems(const std::vector<std::string>& problems, const QString& verdict);
    // Labels and values share the width so that as little as possible is cut.
    void fitColumns();
    // Wide enough for whole labels and their values, within the screen.
    void widenForLabels();

    class NoteReporter;

    QLabel* heading_ = nullptr;
    QLabel* note_ = nullptr;
    QHBoxLayout* choices_ = nullptr;
    QTreeWidget* tree_ = nullptr;
    QLabel* summary_ = nullptr;
    QListWidget* problems_ = nullptr;
    QPointer<QTextEdit> field_;
    std::function<void(const QString&)> show_;
    QMetaObject::Connection following_;
    std::unique_ptr<session::Reporter> reporter_;
    QString lastReport_;
    bool wholeLabels_ = false;
};
