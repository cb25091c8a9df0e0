#include "window/EdidEditorWindow.h"

#include "edid/EdidAudio.h"
#include "edid/EdidCheck.h"
#include "edid/EdidFile.h"
#include "edid/EdidMerge.h"
#include "edid/EdidOptions.h"
#include "edid/EdidPresets.h"
#include "edid/EdidText.h"
#include "edid/VicTimings.h"
#include "link/Dialogs.h"
#include "link/Platform.h"
#include "session/EdidTransfer.h"

#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr char kWindowName[] = "edid-editor";

// The words parseSpeakers knows, one a speaker pair or single speaker.
constexpr const char* kSpeakerWords[] = {
    "FL/FR",   "LFE",         "FC",        "BL/BR", "BC",        "FLC/FRC",  "BLC/BRC",
    "FLW/FRW", "TpFL/TpFR",   "TpC",       "TpFC",  "LS/RS",     "LFE2",     "TpBC",
    "SiL/SiR", "TpSiL/TpSiR", "TpBL/TpBR", "BtFC",  "BtFL/BtFR", "TpLS/TpRS"};

QString speakersText(std::uint32_t mask) {
    QStringList words;
    for (const char* word : kSpeakerWords)
        if (const auto bit = edid::parseSpeakers(word); bit && *bit && (mask & *bit) == *bit)
            words << QString::fromLatin1(word);
    return words.join(QLatin1Char(','));
}

// The VIC whose timing the base block's first detailed timing is, or 0.
int preferredVic(const edid::Model& m) {
    const std::uint8_t* d = m.base.data() + 54;
    const int pixelKhz = (d[0] | d[1] << 8) * 10;
    if (pixelKhz == 0)
        return 0;
    const int h = d[2] | (d[4] & 0xF0) << 4;
    const int v = d[5] | (d[7] & 0xF0) << 4;
    for (int vic : edid::videoCodes(m))
        if (const auto t = edid::vicTiming(vic);
            t && t->hActive == h && t->vActive == v && std::abs(t->pixelKhz - pixelKhz) <= 10)
            return vic;
    return 0;
}

struct VicRow {
    int vic = 0;
    bool native = false, y420 = false;
};

// The video block codes with their native marks and 4:2:0 support (map bits
// or the 4:2:0 video block), then the codes listed as 4:2:0 only.
std::vector<VicRow> vicRows(const edid::Model& m) {
    std::vector<VicRow> rows;
    for (const edid::DataBlock* b : edid::blocksOf(m, edid::BlockKind::Video))
        for (std::uint8_t svd : b->payload)
            rows.push_back({edid::vicOf(svd), edid::nativeSvd(svd), false});
    const auto maps = edid::blocksOf(m, edid::BlockKind::Y420CapabilityMap);
    if (!maps.empty()) {
        const auto& map = maps.front()->payload; // [0] is the extended tag
        for (std::size_t i = 0; i < rows.size(); ++i)
            rows[i].y420 =
                map.size() <= 1 || (i / 8 + 1 < map.size() && ((map[i / 8 + 1] >> (i % 8)) & 1));
    }
    for (const edid::DataBlock* b : edid::blocksOf(m, edid::BlockKind::Y420Video))
        for (std::size_t i = 1; i < b->payload.size(); ++i)
            rows.push_back({edid::vicOf(b->payload[i]), false, true});
    return rows;
}

QString number(double value) {
    return QString::number(value, 'g', 4);
}

} // namespace

class EdidEditorWindow::NoteReporter final : public session::Reporter {
public:
    explicit NoteReporter(EdidEditorWindow& window) : window_(window) {}
    void status(session::Level level, const char* text, int) override {
        window_.showMessage(EdidEditorWindow::tr(text), level != session::Level::Done);
    }
    void diagnostic(const char*) override {}

private:
    EdidEditorWindow& window_;
};

EdidEditorWindow::EdidEditorWindow(QTextEdit* editor, QWidget* owner)
    : QWidget(owner, Qt::Window), editor_(editor),
      reporter_(std::make_unique<NoteReporter>(*this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QString::fromLatin1(kWindowName));
    setWindowTitle(tr("Edit EDID"));

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    undoButton_ = new QPushButton(tr("Undo"), this);
    redoButton_ = new QPushButton(tr("Redo"), this);
    auto* mergeButton = new QPushButton(tr("Merge\u2026"), this);
    auto* reloadButton = new QPushButton(tr("Reload from editor"), this);
    auto* useButton = new QPushButton(tr("Use in editor"), this);
    for (QPushButton* b : {undoButton_, redoButton_, mergeButton, reloadButton})
        top->addWidget(b);
    top->addStretch();
    top->addWidget(useButton);
    layout->addLayout(top);

    tabs_ = new QTabWidget(this);
    tabs_->addTab(identityPanel(), tr("Identity"));
    tabs_->addTab(videoPanel(), tr("Video"));
    tabs_->addTab(hdrPanel(), tr("HDR"));
    tabs_->addTab(audioPanel(), tr("Audio"));
    tabs_->addTab(hdmiPanel(), tr("HDMI"));
    layout->addWidget(tabs_, 3);

    message_ = new QLabel(this);
    message_->setWordWrap(true);
    layout->addWidget(message_);
    layout->addWidget(new QLabel(tr("Check of the result:"), this));
    findings_ = new QListWidget(this);
    layout->addWidget(findings_, 1);

    connect(undoButton_, &QPushButton::clicked, this, [this] { undo(); });
    connect(redoButton_, &QPushButton::clicked, this, [this] { redo(); });
    connect(mergeButton, &QPushButton::clicked, this, [this] { chooseMerge(); });
    connect(reloadButton, &QPushButton::clicked, this, [this] { reload(); });
    connect(useButton, &QPushButton::clicked, this, [this] { useInEditor(); });
    connect(new QShortcut(QKeySequence::Undo, this), &QShortcut::activated, this,
            [this] { undo(); });
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), this),
            &QShortcut::activated, this, [this] { redo(); });

    resize(720, 640);
    reload();
}

EdidEditorWindow::~EdidEditorWindow() = default;

// A line edit that applies its option when the user finishes typing in it.
QLineEdit* EdidEditorWindow::optionField(QFormLayout* form, const QString& label,
                                         const char* option) {
    auto* edit = new QLineEdit(form->parentWidget());
    edit->setObjectName(QString::fromLatin1(option));
    form->addRow(label, edit);
    connect(edit, &QLineEdit::editingFinished, this, [this, edit, option] {
        if (!refreshing_ && edit->isModified()) {
            edit->setModified(false);
            applyOption(QString::fromLatin1(option), edit->text());
        }
    });
    return edit;
}

QWidget* EdidEditorWindow::identityPanel() {
    auto* panel = new QWidget;
    auto* form = new QFormLayout(panel);
    auto field = [&](QLineEdit*& edit, const QString& label, const char* option) {
        edit = optionField(form, label, option);
    };
    field(manufacturer_, tr("Manufacturer (3 letters)"), "manufacturer");
    field(product_, tr("Product code"), "product");
    field(serial_, tr("Serial number"), "serial");
    field(date_, tr("Week/year"), "date");
    field(name_, tr("Display name"), "name");
    return panel;
}

QWidget* EdidEditorWindow::videoPanel() {
    auto* panel = new QWidget;
    auto* layout = new QVBoxLayout(panel);
    vics_ = new QTableWidget(0, 5, panel);
    vics_->setObjectName(QStringLiteral("vics"));
    vics_->setHorizontalHeaderLabels(
        {tr("VIC"), tr("Format"), tr("Native"), tr("4:2:0"), tr("Preferred")});
    vics_->setSelectionBehavior(QAbstractItemView::SelectRows);
    vics_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    vics_->verticalHeader()->hide();
    vics_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    layout->addWidget(vics_);

    auto* row = new QHBoxLayout;
    newVic_ = new QSpinBox(panel);
    newVic_->setObjectName(QStringLiteral("newVic"));
    newVic_->setRange(1, edid::kLastNamedVic);
    newVic_->setValue(97);
    auto* add = new QPushButton(tr("Add VIC"), panel);
    auto* remove = new QPushButton(tr("Remove VIC"), panel);
    auto* native = new QPushButton(tr("Make native"), panel);
    auto* y420 = new QPushButton(tr("Add 4:2:0"), panel);
    auto* preferred = new QPushButton(tr("Make preferred"), panel);
    row->addWidget(newVic_);
    for (QPushButton* b : {add, remove, native, y420, preferred})
        row->addWidget(b);
    row->addStretch();
    layout->addLayout(row);

    connect(add, &QPushButton::clicked, this,
            [this] { applyOption(QStringLiteral("add-vic"), QString::number(newVic_->value())); });
    connect(remove, &QPushButton::clicked, this, [this] {
        const std::vector<int> vics = selectedVics();
        if (!vics.empty())
            apply([vics](edid::Model& m) { return edid::removeVics(m, vics); });
    });
    connect(y420, &QPushButton::clicked, this, [this] {
        const std::vector<int> vics = selectedVics();
        if (!vics.empty())
            apply([vics](edid::Model& m) { return edid::addY420(m, vics); });
    });
    connect(native, &QPushButton::clicked, this, [this] {
        const std::vector<int> vics = selectedVics();
        if (vics.size() == 1)
            applyOption(QStringLiteral("native"), QString::number(vics.front()));
    });
    connect(preferred, &QPushButton::clicked, this, [this] {
        const std::vector<int> vics = selectedVics();
        if (vics.size() == 1)
            applyOption(QStringLiteral("preferred"), QString::number(vics.front()));
    });
    return panel;
}

QWidget* EdidEditorWindow::hdrPanel() {
    auto* panel = new QWidget;
    auto* form = new QFormLayout(panel);
    auto* eotfs = new QHBoxLayout;
    sdr_ = new QCheckBox(tr("SDR"), panel);
    hlg_ = new QCheckBox(tr("HLG"), panel);
    pq_ = new QCheckBox(tr("PQ"), panel);
    for (QCheckBox* box : {sdr_, hlg_, pq_}) {
        box->setObjectName(box->text().toLower());
        eotfs->addWidget(box);
        connect(box, &QCheckBox::toggled, this, [this] {
            if (refreshing_)
                return;
            const std::uint8_t bits = (sdr_->isChecked() ? edid::kEotfSdr : 0) |
                                      (hlg_->isChecked() ? edid::kEotfHlg : 0) |
                                      (pq_->isChecked() ? edid::kEotfPq : 0);
            if (!apply([bits](edid::Model& m) { return edid::setHdrEotfs(m, bits); }))
                refresh(); // the boxes go back to what the EDID says
        });
    }
    eotfs->addStretch();
    form->addRow(tr("EOTFs"), eotfs);
    auto field = [&](QLineEdit*& edit, const QString& label, const char* option) {
        edit = optionField(form, label, option);
    };
    field(maxLum_, tr("Max luminance (cd/m\u00B2)"), "max-luminance");
    field(avgLum_, tr("Max frame-average (cd/m\u00B2)"), "avg-luminance");
    field(minLum_, tr("Min luminance (cd/m\u00B2)"), "min-luminance");
    return panel;
}

QWidget* EdidEditorWindow::audioPanel() {
    auto* panel = new QWidget;
    auto* layout = new QVBoxLayout(panel);
    audio_ = new QTableWidget(0, 1, panel);
    audio_->setObjectName(QStringLiteral("audio"));
    audio_->setHorizontalHeaderLabels({tr("Format")});
    audio_->setSelectionBehavior(QAbstractItemView::SelectRows);
    audio_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    audio_->verticalHeader()->hide();
    audio_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    layout->addWidget(audio_);
    auto* row = new QHBoxLayout;
    newAudio_ = new QLineEdit(panel);
    newAudio_->setObjectName(QStringLiteral("newAudio"));
    newAudio_->setPlaceholderText(QStringLiteral("truehd:8:atmos"));
    auto* add = new QPushButton(tr("Add format"), panel);
    auto* remove = new QPushButton(tr("Remove format"), panel);
    row->addWidget(newAudio_);
    row->addWidget(add);
    row->addWidget(remove);
    layout->addLayout(row);
    auto* form = new QFormLayout;
    speakers_ = new QLineEdit(panel);
    speakers_->setObjectName(QStringLiteral("speakers"));
    speakers_->setPlaceholderText(QStringLiteral("FL/FR,LFE,FC"));
    form->addRow(tr("Speakers"), speakers_);
    layout->addLayout(form);

    connect(add, &QPushButton::clicked, this,
            [this] { applyOption(QStringLiteral("audio-add"), newAudio_->text()); });
    connect(remove, &QPushButton::clicked, this, [this] {
        const int row = audio_->currentRow();
        if (row < 0)
            return;
        // The format's name, the first word of its text, takes every descriptor of it.
        const QString text = audio_->item(row, 0)->text();
        applyOption(QStringLiteral("audio-remove"), text.section(QLatin1Char(':'), 0, 0));
    });
    connect(speakers_, &QLineEdit::editingFinished, this, [this] {
        if (!refreshing_ && speakers_->isModified()) {
            speakers_->setModified(false);
            applyOption(QStringLiteral("speakers"), speakers_->text());
        }
    });
    return panel;
}

QWidget* EdidEditorWindow::hdmiPanel() {
    auto* panel = new QWidget;
    auto* form = new QFormLayout(panel);
    auto field = [&](QLineEdit*& edit, const QString& label, const char* option) {
        edit = optionField(form, label, option);
    };
    field(address_, tr("Physical address"), "physical-address");
    field(maxTmds_, tr("Max TMDS (MHz)"), "max-tmds");
    scdc_ = new QCheckBox(tr("SCDC present (needed above 340 MHz)"), panel);
    scdc_->setObjectName(QStringLiteral("scdc"));
    form->addRow(QString(), scdc_);
    connect(scdc_, &QCheckBox::toggled, this, [this](bool on) {
        if (!refreshing_)
            applyOption(QStringLiteral("scdc"), on ? QStringLiteral("on") : QStringLiteral("off"));
    });
    return panel;
}

void EdidEditorWindow::reload() {
    undo_.clear();
    redo_.clear();
    EdidImage image{};
    const int groups = editor_ ? parseEdidText(editor_->toPlainText(), image) : -1;
    edid::Model model;
    const edid::ParseResult parsed =
        groups > 0 ? edid::parse(image, model) : edid::ParseResult{false, "no hex text"};
    if (parsed.ok) {
        model_ = std::move(model);
        showMessage(tr("The EDID editor's table, as read from its text."), false);
    } else {
        // Something to edit all the same: a base block to build on.
        model_ = edid::blankEdid();
        showMessage(tr("The editor's text is no EDID (%1); starting from a blank one.")
                        .arg(QString::fromStdString(parsed.error)),
                    true);
    }
    bytes_ = edid::write(model_);
    refresh();
}

bool EdidEditorWindow::apply(const std::function<edid::EditResult(edid::Model&)>& edit) {
    edid::Model changed = model_;
    const edid::EditResult result = edit(changed);
    if (!result.ok) {
        showMessage(tr("Refused: %1").arg(QString::fromStdString(result.message)), true);
        refresh();
        return false;
    }
    undo_.push_back(bytes_);
    redo_.clear();
    model_ = std::move(changed);
    bytes_ = edid::write(model_);
    showMessage(result.message.empty() ? tr("Done.") : QString::fromStdString(result.message),
                false);
    refresh();
    return true;
}

bool EdidEditorWindow::applyOption(const QString& name, const QString& value) {
    const std::string n = name.toStdString(), v = value.trimmed().toStdString();
    return apply([n, v](edid::Model& m) { return edid::applyOption(m, n, v); });
}

void EdidEditorWindow::restore(const std::vector<std::uint8_t>& bytes) {
    edid::Model model;
    if (edid::parse(bytes, model).ok)
        model_ = std::move(model);
    bytes_ = bytes;
    refresh();
}

bool EdidEditorWindow::undo() {
    if (undo_.empty())
        return false;
    redo_.push_back(bytes_);
    const std::vector<std::uint8_t> previous = std::move(undo_.back());
    undo_.pop_back();
    restore(previous);
    showMessage(tr("Undone."), false);
    return true;
}

bool EdidEditorWindow::redo() {
    if (redo_.empty())
        return false;
    undo_.push_back(bytes_);
    const std::vector<std::uint8_t> next = std::move(redo_.back());
    redo_.pop_back();
    restore(next);
    showMessage(tr("Redone."), false);
    return true;
}

void EdidEditorWindow::showMessage(const QString& text, bool problem) {
    message_->setText(text);
    message_->setStyleSheet(problem ? QStringLiteral("color: #c00000") : QString());
}

QString EdidEditorWindow::message() const {
    return message_->text();
}

std::vector<int> EdidEditorWindow::selectedVics() const {
    std::vector<int> vics;
    for (const QModelIndex& index : vics_->selectionModel()->selectedRows())
        vics.push_back(vics_->item(index.row(), 0)->text().toInt());
    return vics;
}

void EdidEditorWindow::refresh() {
    refreshing_ = true;
    const edid::Identity id = edid::identityOf(model_);
    manufacturer_->setText(QString::fromStdString(id.manufacturer));
    product_->setText(QStringLiteral("0x%1").arg(id.productCode, 4, 16, QLatin1Char('0')));
    serial_->setText(QString::number(id.serial));
    date_->setText(QStringLiteral("%1/%2").arg(id.week).arg(id.year));
    name_->setText(QString::fromStdString(id.name));

    const auto hdr = edid::blocksOf(model_, edid::BlockKind::HdrStatic);
    const std::vector<std::uint8_t> h =
        hdr.empty() ? std::vector<std::uint8_t>{} : hdr.front()->payload;
    const std::uint8_t eotfs = h.size() > 1 ? h[1] : 0;
    sdr_->setChecked(eotfs & edid::kEotfSdr);
    hlg_->setChecked(eotfs & edid::kEotfHlg);
    pq_->setChecked(eotfs & edid::kEotfPq);
    const double max = h.size() > 3 ? edid::luminanceOf(h[3]) : 0;
    maxLum_->setText(h.size() > 3 ? number(max) : QString());
    avgLum_->setText(h.size() > 4 ? number(edid::luminanceOf(h[4])) : QString());
    minLum_->setText(h.size() > 5 ? number(edid::minLuminanceOf(h[5], max)) : QString());

    const auto vendor = edid::blocksOf(model_, edid::BlockKind::HdmiVendor);
    if (!vendor.empty() && vendor.front()->payload.size() >= 5) {
        const auto& p = vendor.front()->payload;
        address_->setText(QStringLiteral("%1.%2.%3.%4")
                              .arg(p[3] >> 4, 0, 16)
                              .arg(p[3] & 15, 0, 16)
                              .arg(p[4] >> 4, 0, 16)
                              .arg(p[4] & 15, 0, 16));
    } else {
        address_->clear();
    }
    maxTmds_->setText(QString::number(edid::maxTmdsMhz(model_)));
    scdc_->setChecked(edid::scdcPresent(model_));
    speakers_->setText(speakersText(edid::speakersOf(model_)));
    refreshVideo();
    refreshAudio();

    findings_->clear();
    for (const edid::Finding& f : edid::checkEdid(bytes_, {.forDevice = true})) {
        const bool failure = f.kind == edid::FindingKind::Failure;
        auto* item = new QListWidgetItem(
            (failure ? tr("Failure: %1") : tr("Note: %1")).arg(QString::fromStdString(f.text)),
            findings_);
        if (failure)
            item->setForeground(QColor(0xC0, 0, 0));
    }
    if (findings_->count() == 0)
        new QListWidgetItem(tr("No problems found."), findings_);

    undoButton_->setEnabled(canUndo());
    redoButton_->setEnabled(canRedo());
    refreshing_ = false;
}

void EdidEditorWindow::refreshVideo() {
    const std::vector<VicRow> rows = vicRows(model_);
    const int preferred = preferredVic(model_);
    vics_->setRowCount(static_cast<int>(rows.size()));
    const QString mark = QStringLiteral("\u2713");
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const VicRow& row = rows[static_cast<std::size_t>(r)];
        const QString cells[] = {QString::number(row.vic),
                                 QString::fromLatin1(edid::vicName(row.vic)),
                                 row.native ? mark : QString(), row.y420 ? mark : QString(),
                                 row.vic == preferred ? mark : QString()};
        for (int c = 0; c < 5; ++c)
            vics_->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
}

void EdidEditorWindow::refreshAudio() {
    const std::vector<edid::AudioFormat> formats = edid::audioFormats(model_);
    audio_->setRowCount(static_cast<int>(formats.size()));
    for (int r = 0; r < static_cast<int>(formats.size()); ++r)
        audio_->setItem(r, 0,
                        new QTableWidgetItem(QString::fromStdString(
                            edid::audioFormatText(formats[static_cast<std::size_t>(r)]))));
}

std::optional<edid::Model> EdidEditorWindow::loadSource(Source source, const QString& preset) {
    std::vector<std::uint8_t> bytes;
    switch (source) {
    case Source::Editor:
        return model_;
    case Source::Device:
    case Source::Top:
    case Source::Bottom: {
        const session::EdidSource from = source == Source::Device ? session::EdidSource::Device
                                         : source == Source::Top  ? session::EdidSource::Top
                                                                  : session::EdidSource::Bottom;
        const session::EdidReadResult read =
            session::readEdid(*reporter_, session::stageCommand(from));
        // Unstaged, the chunks would hold whatever table the device staged last.
        if (!read.staged || !read.complete) {
            showMessage(tr("Could not read that EDID from the device."), true);
            return std::nullopt;
        }
        bytes.assign(read.image.begin(), read.image.end());
        break;
    }
    case Source::File: {
        const QString path = platform().dialogs->openFileName(
            this, tr("Open file"), QString(), tr("Binary Files (*.bin);;All files (*.*)"));
        if (path.isEmpty())
            return std::nullopt;
        EdidImage image{};
        QString error;
        if (!loadEdidFile(path, &image, &error)) {
            showMessage(error, true);
            return std::nullopt;
        }
        bytes.assign(image.begin(), image.end());
        break;
    }
    case Source::Preset: {
        const edid::PresetBuild built = edid::buildPreset(preset);
        if (!built.ok) {
            showMessage(QString::fromStdString(built.message), true);
            return std::nullopt;
        }
        return built.model;
    }
    }
    edid::Model model;
    const edid::ParseResult parsed = edid::parse(bytes, model);
    if (!parsed.ok) {
        showMessage(tr("That table is no EDID: %1").arg(QString::fromStdString(parsed.error)),
                    true);
        return std::nullopt;
    }
    return model;
}

bool EdidEditorWindow::merge(Source video, Source audio, bool commonSubset,
                             const QString& videoPreset, const QString& audioPreset) {
    const std::optional<edid::Model> a = loadSource(video, videoPreset);
    if (!a)
        return false;
    const std::optional<edid::Model> b = loadSource(audio, audioPreset);
    if (!b)
        return false;
    const edid::MergeResult merged = commonSubset ? edid::commonSubset(*a, "first", *b, "second")
                                                  : edid::mergeVideoAudio(*a, "video", *b, "audio");
    if (!merged.ok) {
        showMessage(tr("Refused: %1").arg(QString::fromStdString(merged.message)), true);
        return false;
    }
    return apply([&merged](edid::Model& m) {
        m = merged.model;
        return edid::EditResult{true, merged.message};
    });
}

void EdidEditorWindow::chooseMerge() {
    QDialog dialog(this);
    dialog.setWindowTitle(tr("Merge EDIDs"));
    auto* form = new QFormLayout(&dialog);
    const std::vector<edid::PresetInfo> presets = edid::listPresets();
    auto sources = [&](QComboBox* box) {
        box->addItem(tr("This editor"), -1);
        box->addItem(tr("Device"), -2);
        box->addItem(tr("TOP display"), -3);
        box->addItem(tr("BOT display"), -4);
        box->addItem(tr("File\u2026"), -5);
        for (int i = 0; i < static_cast<int>(presets.size()); ++i)
            box->addItem(tr("Preset: %1").arg(presets[static_cast<std::size_t>(i)].name), i);
    };
    auto* video = new QComboBox(&dialog);
    auto* audio = new QComboBox(&dialog);
    sources(video);
    sources(audio);
    auto* common = new QCheckBox(tr("Common subset of the two instead"), &dialog);
    form->addRow(tr("Video from"), video);
    form->addRow(tr("Audio from"), audio);
    form->addRow(common);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted)
        return;
    auto pick = [&](const QComboBox* box, QString& preset) {
        const int data = box->currentData().toInt();
        if (data >= 0) {
            preset = presets[static_cast<std::size_t>(data)].id;
            return Source::Preset;
        }
        return static_cast<Source>(-data - 1);
    };
    QString videoPreset, audioPreset;
    const Source v = pick(video, videoPreset);
    const Source a = pick(audio, audioPreset);
    merge(v, a, common->isChecked(), videoPreset, audioPreset);
}

bool EdidEditorWindow::useInEditor() {
    if (!editor_)
        return false;
    if (bytes_.size() > static_cast<std::size_t>(kEdidSize)) {
        platform().dialogs->message(
            this, Dialogs::Icon::Warning, tr("Edit EDID"),
            tr("The EDID is %1 bytes long; the device stores only %2. Remove extension blocks "
               "first.")
                .arg(bytes_.size())
                .arg(kEdidSize),
            Dialogs::Ok, Dialogs::Ok);
        return false;
    }
    if (edid::hasFailure(edid::checkEdid(bytes_, {.forDevice = true})) &&
        platform().dialogs->message(this, Dialogs::Icon::Question, tr("Edit EDID"),
                                    tr("The check finds failures in this EDID. Put it into the "
                                       "EDID editor all the same?"),
                                    Dialogs::Yes | Dialogs::No, Dialogs::No) != Dialogs::Yes)
        return false;
    EdidImage image{};
    std::copy(bytes_.begin(), bytes_.end(), image.begin());
    editor_->setPlainText(edidHexText(image));
    showMessage(tr("Put into the EDID editor; write it to the device from there."), false);
    return true;
}

EdidEditorWindow* openEdidEditor(QTextEdit* editor) {
    QWidget* owner = editor->window();
    EdidEditorWindow* window = nullptr;
    for (EdidEditorWindow* open : owner->findChildren<EdidEditorWindow*>(
             QString::fromLatin1(kWindowName), Qt::FindDirectChildrenOnly))
        if (open->isVisible())
            window = open;
    if (!window)
        window = new EdidEditorWindow(editor, owner);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}
