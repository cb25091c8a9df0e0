#include "window/ScenesWindow.h"

#include "link/AppState.h"
#include "link/Dialogs.h"
#include "link/Platform.h"
#include "ops/Device.h"
#include "settings/SettingsMap.h"
#include "window/Variant.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr const char* kWindowName = "scenes";
constexpr int kNameRole = Qt::UserRole;
constexpr int kDamagedRole = Qt::UserRole + 1;

// In proportion to each build's form, like the signal chain window.
struct ScenesWindowLook {
    int pointSize;
    int width, height;
};
constexpr ScenesWindowLook kLook =
    kDpi200Build ? ScenesWindowLook{7, 560, 480} : ScenesWindowLook{9, 680, 560};

const QColor kProblemColour(0xB0, 0x00, 0x20);

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

QString joined(const std::vector<std::string>& lines) {
    QStringList out;
    for (const std::string& line : lines)
        out << fromStd(line);
    return out.join(QLatin1Char('\n'));
}

// What an operation said, or its error when it said nothing.
QString said(const ops::Reporter& reporter, const ops::Error& error) {
    const QString texts = joined(reporter.errorTexts());
    return texts.isEmpty() ? fromStd(error.message) : texts;
}

// While an operation runs: a wait cursor, and the link's warnings on the
// operation's reporter instead of in boxes.
struct Running {
    explicit Running(ops::Reporter& reporter) : device(reporter) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~Running() { QApplication::restoreOverrideCursor(); }
    ops::HeldDevice device;
};

// The parts a scene may keep, beside the settings: the words --only takes.
constexpr std::pair<const char*, const char*> kOtherParts[] = {
    {"infoframes", "the stored HDR and AVI InfoFrames"},
    {"cec-buttons", "the CEC buttons' stored commands"},
};

} // namespace

RuleFields::RuleFields(QWidget* parent) : QWidget(parent) {
    auto* form = new QFormLayout(this);
    form->setContentsMargins(0, 0, 0, 0);
    source_ = new QLineEdit(this);
    source_->setObjectName(QStringLiteral("ruleSource"));
    source_->setPlaceholderText(tr("any; e.g. STRMBOX* (* and ?, case ignored)"));
    input_ = new QLineEdit(this);
    input_->setObjectName(QStringLiteral("ruleInput"));
    if (const settings::Setting* input = settings::byName("input"))
        input_->setPlaceholderText(tr("any; or %1").arg(fromStd(settings::acceptedWords(*input))));
    format_ = new QLineEdit(this);
    format_->setObjectName(QStringLiteral("ruleFormat"));
    format_->setPlaceholderText(tr("any; e.g. 3840x2160p*"));
    hdr_ = new QComboBox(this);
    hdr_->setObjectName(QStringLiteral("ruleHdr"));
    hdr_->addItem(tr("either"), QString());
    hdr_->addItem(tr("on"), QStringLiteral("on"));
    hdr_->addItem(tr("off"), QStringLiteral("off"));
    form->addRow(tr("Source's name"), source_);
    form->addRow(tr("Input"), input_);
    form->addRow(tr("Input format"), format_);
    form->addRow(tr("HDR comes in"), hdr_);
}

scene::Rule RuleFields::typed() const {
    return {source_->text().toStdString(), input_->text().toStdString(),
            format_->text().toStdString(), hdr_->currentData().toString().toStdString()};
}

void RuleFields::setRule(const scene::Rule& rule) {
    source_->setText(fromStd(rule.source));
    input_->setText(fromStd(rule.input));
    format_->setText(fromStd(rule.format));
    hdr_->setCurrentIndex(std::max(0, hdr_->findData(fromStd(rule.hdr))));
}

ScenesWindow::ScenesWindow(QWidget* owner)
    : QWidget(owner, Qt::Window), store_(scene::Store::defaultFolder()) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QLatin1String(kWindowName));
    setWindowTitle(tr("Scenes - KORVANTA Utility"));
    QFont base = font();
    base.setPointSize(kLook.pointSize);
    setFont(base);

    tree_ = new QTreeWidget(this);
    tree_->setColumnCount(2);
    tree_->setHeaderLabels({tr("Scene"), tr("Holds")});
    tree_->header()->setFont(base);
    tree_->setRootIsDecorated(false);
    tree_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    tree_->header()->setStretchLastSection(true);
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this] { selectionChanged(); });

    auto* saveButton = new QPushButton(tr("Save current\u2026"), this);
    saveButton->setToolTip(tr("Saves the device's set-up now as a scene"));
    recallButton_ = new QPushButton(tr("Recall"), this);
    recallButton_->setToolTip(tr("Writes to the device what differs from the scene"));
    renameButton_ = new QPushButton(tr("Rename\u2026"), this);
    deleteButton_ = new QPushButton(tr("Delete"), this);
    connect(saveButton, &QPushButton::clicked, this, [this] { askSave(); });
    connect(recallButton_, &QPushButton::clicked, this, [this] { recall(selectedName()); });
    connect(renameButton_, &QPushButton::clicked, this, [this] { askRename(); });
    connect(deleteButton_, &QPushButton::clicked, this, [this] { remove(selectedName()); });
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {saveButton, recallButton_, renameButton_, deleteButton_})
        buttons->addWidget(b);
    buttons->addStretch(1);

    auto* ruleBox = new QGroupBox(tr("Recalled by itself by korvanta serve when"), this);
    rule_ = new RuleFields(ruleBox);
    ruleButton_ = new QPushButton(tr("Save rule"), ruleBox);
    ruleButton_->setToolTip(tr("All fields empty: recalled only when asked"));
    connect(ruleButton_, &QPushButton::clicked, this,
            [this] { saveRule(selectedName(), rule_->typed()); });
    auto* ruleLayout = new QVBoxLayout(ruleBox);
    ruleLayout->addWidget(rule_);
    ruleLayout->addWidget(ruleButton_, 0, Qt::AlignRight);

    message_ = new QLabel(this);
    message_->setWordWrap(true);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tree_, 1);
    layout->addLayout(buttons);
    layout->addWidget(ruleBox);
    layout->addWidget(message_);
    resize(kLook.width, kLook.height);
    refresh();
}

ScenesWindow::~ScenesWindow() = default;

ScenesWindow* ScenesWindow::findOpen(QWidget* owner) {
    for (ScenesWindow* open :
         owner->findChildren<ScenesWindow*>(QLatin1String(kWindowName), Qt::FindDirectChildrenOnly))
        if (open->isVisible())
            return open;
    return nullptr;
}

void ScenesWindow::present() {
    refresh();
    show();
    raise();
    activateWindow();
}

void ScenesWindow::refresh() {
    const QString kept = selectedName();
    {
        const QSignalBlocker quiet(tree_);
        tree_->clear();
        for (const scene::Entry& e : store_.list()) {
            const bool damaged = !e.problem.empty();
            auto* item = new QTreeWidgetItem(
                tree_,
                {fromStd(e.name), fromStd(damaged ? e.problem : ops::sceneSummary(e.scene))});
            item->setData(0, kNameRole, fromStd(e.name));
            item->setData(0, kDamagedRole, damaged);
            item->setToolTip(1, item->text(1));
            if (damaged)
                for (int column = 0; column < 2; ++column)
                    item->setForeground(column, kProblemColour);
        }
    }
    if (tree_->topLevelItemCount() == 0)
        showMessage(tr("No scenes in %1 yet; \u201cSave current\u2026\u201d makes one.")
                        .arg(fromStd(store_.folder())),
                    false);
    select(kept);
    selectionChanged();
}

QString ScenesWindow::selectedName() const {
    const QTreeWidgetItem* item = tree_->currentItem();
    return item ? item->data(0, kNameRole).toString() : QString();
}

void ScenesWindow::select(const QString& name) {
    for (int i = 0; i < tree_->topLevelItemCount(); ++i)
        if (tree_->topLevelItem(i)->data(0, kNameRole).toString() == name) {
            tree_->setCurrentItem(tree_->topLevelItem(i));
            return;
        }
}

void ScenesWindow::selectionChanged() {
    const QTreeWidgetItem* item = tree_->currentItem();
    const bool usable = item && !item->data(0, kDamagedRole).toBool();
    recallButton_->setEnabled(item != nullptr);
    renameButton_->setEnabled(usable);
    deleteButton_->setEnabled(item != nullptr);
    ruleButton_->setEnabled(usable);
    rule_->setEnabled(usable);
    scene::Scene s;
    std::string why;
    rule_->setRule(usable &&
                           store_.load(item->data(0, kNameRole).toString().toStdString(), &s, &why)
                       ? s.when
                       : scene::Rule{});
}

QString ScenesWindow::message() const {
    return message_->text();
}

void ScenesWindow::showMessage(const QString& text, bool problem) {
    message_->setText(text);
    QPalette palette = message_->palette();
    palette.setColor(QPalette::WindowText,
                     problem ? kProblemColour : this->palette().color(QPalette::WindowText));
    message_->setPalette(palette);
}

bool ScenesWindow::deviceBusy() {
    if (!appState.inTransaction)
        return false;
    showMessage(tr("The device is busy; try again in a moment."), true);
    return true;
}

bool ScenesWindow::saveCurrent(ops::SceneSaveParams params) {
    std::string why;
    scene::Rule rule;
    if (!scene::ruleFromTyped(params.when, &rule, &why)) {
        showMessage(fromStd(why), true);
        return false;
    }
    params.when = rule;
    // Asked before the device is read, and before the link's dialogs are
    // taken over for the operation.
    if (!params.replace && store_.takenAs(params.name) == params.name) {
        if (platform().dialogs->message(
                this, Dialogs::Icon::Question, tr("Scenes"),
                tr("A scene called \u201c%1\u201d is there already. Replace it with the "
                   "device's set-up now?")
                    .arg(fromStd(params.name)),
                Dialogs::Yes | Dialogs::No, Dialogs::No) != Dialogs::Yes) {
            showMessage(tr("Scene \u201c%1\u201d was kept as it was.").arg(fromStd(params.name)),
                        false);
            return false;
        }
        params.replace = true;
    }
    if (deviceBusy())
        return false;
    ops::Reporter reporter;
    ops::SceneSaveResult r;
    {
        Running running(reporter);
        r = ops::saveScene(params, store_, running.device, reporter);
    }
    if (r.error) {
        showMessage(said(reporter, r.error), true);
        return false;
    }
    refresh();
    select(fromStd(params.name));
    showMessage(tr("Scene \u201c%1\u201d saved: %2")
                    .arg(fromStd(params.name), fromStd(ops::sceneSummary(r.scene))),
                false);
    return true;
}

bool ScenesWindow::recall(const QString& name) {
    if (name.isEmpty() || deviceBusy())
        return false;
    ops::Reporter reporter;
    ops::SceneRecallResult r;
    {
        Running running(reporter);
        r = ops::recallScene({name.toStdString(), false, false}, store_, running.device, reporter);
    }
    const bool ok = !r.error && !r.findings();
    const QString lines = joined(ops::sceneRecallLines(r, reporter));
    showMessage(ok ? tr("Scene \u201c%1\u201d recalled:\n%2").arg(name, lines) : lines, !ok);
    return ok;
}

bool ScenesWindow::remove(const QString& name) {
    if (name.isEmpty())
        return false;
    if (platform().dialogs->message(
            this, Dialogs::Icon::Question, tr("Scenes"),
            tr("Delete the scene \u201c%1\u201d? Its file goes too.").arg(name),
            Dialogs::Yes | Dialogs::No, Dialogs::No) != Dialogs::Yes)
        return false;
    std::string why;
    if (!store_.remove(name.toStdString(), &why)) {
        showMessage(fromStd(why), true);
        return false;
    }
    refresh();
    showMessage(tr("Scene \u201c%1\u201d deleted.").arg(name), false);
    return true;
}

bool ScenesWindow::rename(const QString& from, const QString& to) {
    std::string why;
    if (!store_.rename(from.toStdString(), to.toStdString(), &why)) {
        showMessage(fromStd(why), true);
        return false;
    }
    refresh();
    select(to);
    showMessage(tr("Scene \u201c%1\u201d is now \u201c%2\u201d.").arg(from, to), false);
    return true;
}

bool ScenesWindow::saveRule(const QString& name, const scene::Rule& typed) {
    std::string why;
    scene::Rule rule;
    if (!scene::ruleFromTyped(typed, &rule, &why) ||
        !store_.setRule(name.toStdString(), rule, &why)) {
        showMessage(fromStd(why), true);
        return false;
    }
    refresh();
    showMessage(tr("Scene \u201c%1\u201d is recalled by itself: %2")
                    .arg(name, fromStd(scene::ruleText(rule))),
                false);
    return true;
}

void ScenesWindow::askSave() {
    QDialog dialog(this);
    dialog.setWindowTitle(tr("Save the device's set-up as a scene"));
    auto* form = new QFormLayout(&dialog);
    auto* name = new QLineEdit(&dialog);
    name->setText(selectedName());
    auto* parts = new QListWidget(&dialog);
    for (const settings::Setting& s : settings::allSettings()) {
        if (!s.name)
            continue;
        auto* item = new QListWidgetItem(QLatin1String(s.name), parts);
        item->setCheckState(Qt::Unchecked);
        if (s.summary)
            item->setToolTip(QLatin1String(s.summary));
    }
    for (const auto& [word, summary] : kOtherParts) {
        auto* item = new QListWidgetItem(QLatin1String(word), parts);
        item->setCheckState(Qt::Unchecked);
        item->setToolTip(tr(summary));
    }
    auto* withEdid = new QCheckBox(tr("Keep the custom EDID in the scene too"), &dialog);
    auto* rule = new RuleFields(&dialog);
    form->addRow(tr("Name"), name);
    form->addRow(tr("Only these\n(none ticked:\nevery setting\nand the InfoFrames)"), parts);
    form->addRow(withEdid);
    form->addRow(new QLabel(tr("Recalled by itself when (all empty: only when asked)"), &dialog));
    form->addRow(rule);
    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted)
        return;
    ops::SceneSaveParams params;
    params.name = name->text().toStdString();
    for (int i = 0; i < parts->count(); ++i)
        if (parts->item(i)->checkState() == Qt::Checked)
            params.only.push_back(parts->item(i)->text().toStdString());
    params.withEdid = withEdid->isChecked();
    params.when = rule->typed();
    saveCurrent(params);
}

void ScenesWindow::askRename() {
    const QString from = selectedName();
    bool ok = false;
    const QString to = QInputDialog::getText(this, tr("Rename scene"),
                                             tr("New name for \u201c%1\u201d:").arg(from),
                                             QLineEdit::Normal, from, &ok);
    if (ok && to != from)
        rename(from, to);
}

ScenesWindow* openScenes(QWidget* mainWindow) {
    if (!mainWindow)
        return nullptr;
    ScenesWindow* window = ScenesWindow::findOpen(mainWindow);
    if (!window)
        window = new ScenesWindow(mainWindow);
    window->present();
    return window;
}
