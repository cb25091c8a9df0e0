#pragma once

#include "edid/EdidEdits.h"
#include "edid/EdidModel.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTabWidget;
class QTextEdit;
namespace session {
class Reporter;
}

// A window of its own that edits the EDID editor's table by meaning: identity,
// video codes, HDR, audio and the HDMI blocks. Every edit can be undone; the
// result goes back into the editor's text only on "Use in editor".
class QFormLayout;
class QLineEdit;

class EdidEditorWindow : public QWidget {
    Q_OBJECT

public:
    // Where a merge takes one of its EDIDs from.
    enum class Source { Editor, Device, Top, Bottom, File, Preset };

    EdidEditorWindow(QTextEdit* editor, QWidget* owner);
    ~EdidEditorWindow() override;

    // Starts again from the editor's current text; the undo history goes.
    void reload();

    // One edit by its option name ("add-vic", "97"); false and the refusal
    // shown when it was refused.
    bool applyOption(const QString& name, const QString& value);
    bool undo();
    bool redo();
    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }

    // The video of one EDID and the audio of another, or what both accept.
    // `preset` names the preset of a Preset source.
    bool merge(Source video, Source audio, bool commonSubset, const QString& videoPreset = {},
               const QString& audioPreset = {});

    // Puts the table into the editor's text, asking first when the check fails.
    bool useInEditor();

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    QString message() const;
    QListWidget* findingList() const { return findings_; }

private:
    bool apply(const std::function<edid::EditResult(edid::Model&)>& edit);
    void restore(const std::vector<std::uint8_t>& bytes);
    void showMessage(const QString& text, bool problem);
    std::optional<edid::Model> loadSource(Source source, const QString& preset);
    void chooseMerge();
    void refresh();
    void refreshVideo();
    void refreshAudio();
    std::vector<int> selectedVics() const;

    QLineEdit* optionField(QFormLayout* form, const QString& label, const char* option);
    QWidget* identityPanel();
    QWidget* videoPanel();
    QWidget* hdrPanel();
    QWidget* audioPanel();
    QWidget* hdmiPanel();

    class NoteReporter;

    QPointer<QTextEdit> editor_;
    edid::Model model_;
    std::vector<std::uint8_t> bytes_;
    std::vector<std::vector<std::uint8_t>> undo_, redo_;
    std::unique_ptr<session::Reporter> reporter_;
    bool refreshing_ = false;

    QTabWidget* tabs_ = nullptr;
    QLabel* message_ = nullptr;
    QListWidget* findings_ = nullptr;
    QPushButton* undoButton_ = nullptr;
    QPushButton* redoButton_ = nullptr;
    QLineEdit *manufacturer_ = nullptr, *product_ = nullptr, *serial_ = nullptr, *date_ = nullptr,
              *name_ = nullptr;
    QTableWidget* vics_ = nullptr;
    QSpinBox* newVic_ = nullptr;
    QCheckBox *sdr_ = nullptr, *hlg_ = nullptr, *pq_ = nullptr;
    QLineEdit *maxLum_ = nullptr, *avgLum_ = nullptr, *minLum_ = nullptr;
    QTableWidget* audio_ = nullptr;
    QLineEdit *newAudio_ = nullptr, *speakers_ = nullptr;
    QLineEdit *address_ = nullptr, *maxTmds_ = nullptr;
    QCheckBox* scdc_ = nullptr;
};

// Opens, or brings forward, the editor window of the EDID editor's text.
EdidEditorWindow* openEdidEditor(QTextEdit* editor);
