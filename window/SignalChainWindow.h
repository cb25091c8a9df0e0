#pragma once

#include "chain/SignalChain.h"

#include <QWidget>

#include <memory>

class ChainDrawing;
class QLabel;
class QPushButton;
class QTreeWidget;
namespace session {
class Reporter;
struct StatusReplies;
} // namespace session

// A window of its own, beside the main one, that tells what of the source's
// signal reaches the displays on TOP and BOT, and why not. The input follows
// the main window's status reads; the displays' EDIDs take a quarter of a
// second to read, so they are read only on opening, when the input's format
// changes and on the button.
class SignalChainWindow : public QWidget {
    Q_OBJECT

public:
    // Belongs to `owner` and closes with it; deletes itself when closed.
    explicit SignalChainWindow(QWidget* owner);
    ~SignalChainWindow() override;

    // The open window `owner` holds, or null. A closed one does not count.
    static SignalChainWindow* findOpen(QWidget* owner);
    void present();

    // Reads the status, the settings and both displays. False when the device
    // is not open, is in the middle of something else, or did not answer.
    bool readDisplays();
    // A status read of the main window: the input and the settings as they
    // now stand, checked against the displays as last read.
    void followStatus(const session::StatusReplies& replies);

    const chain::ChainReport& report() const { return report_; }
    const chain::ChainData& data() const { return data_; }
    ChainDrawing* drawing() const { return drawing_; }
    QTreeWidget* findingTree() const { return findings_; }
    QString note() const;

private:
    void showNote(const QString& text, bool problem);
    void showReport();
    void fillFindings();

    class NoteReporter;

    chain::ChainData data_;
    chain::ChainReport report_;
    // The input's format when the displays were last read.
    struct FormatKey {
        int vic = -1, statusCode = -1, linkMode = -1;
        chain::Encoding encoding = chain::Encoding::Rgb;
        bool operator==(const FormatKey&) const = default;
    };
    static FormatKey formatKey(const chain::Input& input);
    FormatKey displaysReadFor_;

    std::unique_ptr<session::Reporter> reporter_;
    ChainDrawing* drawing_ = nullptr;
    QLabel* note_ = nullptr;
    QTreeWidget* findings_ = nullptr;
    QPushButton* readButton_ = nullptr;
};

// Opens, or brings forward, the signal chain window of the main window.
SignalChainWindow* openSignalChain(QWidget* mainWindow);
