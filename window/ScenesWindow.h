#pragma once

#include "ops/SceneOps.h"
#include "scene/SceneStore.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class RuleFields;

// A window of its own, beside the main one, over the scenes folder: each
// scene with what it holds (a damaged file by its name and problem), the
// device's set-up saved as one, a scene recalled, renamed or deleted, and the
// rule that recalls one by itself. It reaches the device the main window has
// open, which is the service when one runs, as the service's methods do.
class ScenesWindow : public QWidget {
    Q_OBJECT

public:
    // Belongs to `owner` and closes with it; deletes itself when closed.
    explicit ScenesWindow(QWidget* owner);
    ~ScenesWindow() override;

    static ScenesWindow* findOpen(QWidget* owner);
    void present();

    // Reads the folder again; the selection stays on its name.
    void refresh();

    // What the buttons do once their dialog is answered. False when refused
    // or cancelled, with the reason shown; only the program's dialogs ask
    // (replace a scene, delete one).
    bool saveCurrent(ops::SceneSaveParams params);
    bool recall(const QString& name);
    bool remove(const QString& name);
    bool rename(const QString& from, const QString& to);
    bool saveRule(const QString& name, const scene::Rule& typed);

    QString selectedName() const;
    void select(const QString& name);
    QTreeWidget* sceneTree() const { return tree_; }
    RuleFields* ruleFields() const { return rule_; }
    QString message() const;
    const scene::Store& store() const { return store_; }

private:
    void askSave();
    void askRename();
    void selectionChanged();
    void showMessage(const QString& text, bool problem);
    // The device is in the middle of something else: said, and true.
    bool deviceBusy();

    scene::Store store_;
    QTreeWidget* tree_ = nullptr;
    RuleFields* rule_ = nullptr;
    QLabel* message_ = nullptr;
    QPushButton *recallButton_ = nullptr, *renameButton_ = nullptr, *deleteButton_ = nullptr,
                *ruleButton_ = nullptr;
};

// The rule's four fields: source and format patterns, the input, HDR.
class RuleFields : public QWidget {
    Q_OBJECT

public:
    explicit RuleFields(QWidget* parent);
    scene::Rule typed() const;
    void setRule(const scene::Rule& rule);

private:
    QLineEdit *source_ = nullptr, *input_ = nullptr, *format_ = nullptr;
    QComboBox* hdr_ = nullptr;
};

// Opens, or brings forward, the scenes window of the main window.
ScenesWindow* openScenes(QWidget* mainWindow);
