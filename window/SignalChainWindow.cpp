#include "window/SignalChainWindow.h"

#include "link/AppState.h"
#include "session/ChainRead.h"
#include "session/Readback.h"
#include "session/Reporter.h"
#include "settings/SettingsMap.h"
#include "window/ChainDrawing.h"
#include "window/MainWindow.h"
#include "window/StatusRelay.h"
#include "window/Variant.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kWindowName = "signal-chain";

// In proportion to each build's form, like the decode window.
struct ChainWindowLook {
    int pointSize;
    int width, height;
};
constexpr ChainWindowLook kLook =
    kDpi200Build ? ChainWindowLook{7, 640, 560} : ChainWindowLook{9, 780, 720};

const QColor kProblemColour(0xB0, 0x00, 0x20);

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

// Never inside another transaction: the poll tick holds back the same way.
bool deviceFree() {
    return appState.deviceHandle != kNoDevice && !appState.inTransaction;
}

QString outputDetail(const chain::OutputReport& output, const chain::Display& display) {
    QString text =
        SignalChainWindow::tr("%1 on %2").arg(displayText(output, display), fromStd(output.link));
    if (output.port)
        text += SignalChainWindow::tr(", fed by input %1").arg(QLatin1Char(output.port));
    if (!output.described)
        text += SignalChainWindow::tr(" (its format is not reported)");
    return text;
}

QString settingText(const chain::Finding& finding) {
    if (finding.setting.empty())
        return {};
    const QString command =
        QStringLiteral("korvanta set %1=%2").arg(fromStd(finding.setting), fromStd(finding.value));
    return finding.also.empty() ? command
                                : command + QStringLiteral(", which ") + fromStd(finding.also);
}

constexpr int kSentenceColumn = 1;

// Item views size rows for one line of text; sentences are wrapped to the
// column's width instead of being cut.
class WrappingDelegate final : public QStyledItemDelegate {
public:
    explicit WrappingDelegate(QTreeWidget* tree) : QStyledItemDelegate(tree), tree_(tree) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        if (index.column() != kSentenceColumn)
            return size;
        // The text's margins inside the cell, as the style draws them.
        const int margin = 2 * (tree_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
        const int width = tree_->columnWidth(kSentenceColumn) - margin;
        if (width <= 0)
            return size;
        const QRect text = option.fontMetrics.boundingRect(
            QRect(0, 0, width, 1 << 20), Qt::TextWordWrap, index.data().toString());
        // The cell's own padding above and below one line, kept for several,
        // and a little more between wrapped rows, which would otherwise touch.
        const int wrapped = text.height() > option.fontMetrics.height() ? 4 : 0;
        const int padding = size.height() - option.fontMetrics.height() + wrapped;
        size.setHeight(std::max(size.height(), text.height() + padding));
        return size;
    }

private:
    QTreeWidget* tree_;
};

} // namespace

class SignalChainWindow::NoteReporter final : public session::Reporter {
public:
    explicit NoteReporter(SignalChainWindow& window) : window_(window) {}
    void status(session::Level level, const char* text, int) override {
        window_.showNote(SignalChainWindow::tr(text), level != session::Level::Done);
    }
    // Like the main window's: standard output only.
    void diagnostic(const char* text) override {
        std::fputs(text, stdout);
        std::fflush(stdout);
    }

private:
    SignalChainWindow& window_;
};

SignalChainWindow::SignalChainWindow(QWidget* owner)
    : QWidget(owner, Qt::Window), reporter_(std::make_unique<NoteReporter>(*this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QLatin1String(kWindowName));
    setWindowTitle(tr("Signal chain - KORVANTA Utility"));
    QFont base = font();
    base.setPointSize(kLook.pointSize);
    setFont(base);

    drawing_ = new ChainDrawing(this);
    note_ = new QLabel(this);
    note_->setWordWrap(true);
    readButton_ = new QPushButton(tr("Read displays again"), this);
    readButton_->setToolTip(tr("Reads the EDIDs of the displays on TOP and BOT"));
    connect(readButton_, &QPushButton::clicked, this, [this] { readDisplays(); });

    findings_ = new QTreeWidget(this);
    findings_->setColumnCount(3);
    findings_->setHeaderLabels({tr("Verdict"), tr("Finding"), tr("Setting to try")});
    findings_->header()->setFont(base); // styles may give headers a font of their own
    findings_->setWordWrap(true);
    findings_->setUniformRowHeights(false);
    findings_->setRootIsDecorated(true);
    findings_->header()->setStretchLastSection(false);
    findings_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    findings_->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    findings_->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    findings_->setTextElideMode(Qt::ElideNone);
    findings_->setItemDelegate(new WrappingDelegate(findings_));
    // The tree is the context, not this: the header resizes while ~QWidget hides the children.
    connect(findings_->header(), &QHeaderView::sectionResized, findings_,
            [tree = findings_](int column) {
                if (column == kSentenceColumn)
                    tree->doItemsLayout();
            });

    auto* row = new QHBoxLayout;
    row->addWidget(note_, 1);
    row->addWidget(readButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(drawing_, 0, Qt::AlignHCenter);
    layout->addLayout(row);
    layout->addWidget(findings_, 1);
    resize(kLook.width, kLook.height);

    if (auto* main = qobject_cast<MainWindow*>(owner))
        connect(&statusRelay(), &StatusRelay::statusRead, this,
                [this, main](const MainWindow* from, const session::StatusReplies& replies) {
                    if (from == main)
                        followStatus(replies);
                });
    showReport();
}

SignalChainWindow::~SignalChainWindow() = default;

SignalChainWindow* SignalChainWindow::findOpen(QWidget* owner) {
    for (SignalChainWindow* open : owner->findChildren<SignalChainWindow*>(
             QLatin1String(kWindowName), Qt::FindDirectChildrenOnly))
        if (open->isVisible())
            return open;
    return nullptr;
}

void SignalChainWindow::present() {
    show();
    raise();
    activateWindow();
}

QString SignalChainWindow::note() const {
    return note_->text();
}

void SignalChainWindow::showNote(const QString& text, bool problem) {
    note_->setText(text);
    QPalette palette = note_->palette();
    palette.setColor(QPalette::WindowText,
                     problem ? kProblemColour : this->palette().color(QPalette::WindowText));
    note_->setPalette(palette);
}

SignalChainWindow::FormatKey SignalChainWindow::formatKey(const chain::Input& input) {
    return {input.vic, input.statusCode, input.linkMode, input.encoding};
}

bool SignalChainWindow::readDisplays() {
    if (appState.deviceHandle == kNoDevice) {
        showNote(tr("No device is open."), true);
        return false;
    }
    if (appState.inTransaction) {
        showNote(tr("The device is busy; read the displays again in a moment."), true);
        return false;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    showNote(QString(), false);
    const session::ChainRead read = session::readChainData(*reporter_, &data_, true);
    QApplication::restoreOverrideCursor();
    // Also after a failure: a silent device is not asked again on every tick.
    displaysReadFor_ = formatKey(data_.input);
    showReport();
    if (read != session::ChainRead::Ok) {
        showNote(tr("The device did not answer; what is shown may be out of date."), true);
        return false;
    }
    showNote(tr("Displays read; the input follows the main window."), false);
    return true;
}

void SignalChainWindow::followStatus(const session::StatusReplies& replies) {
    if (!isVisible())
        return;
    data_.input = chain::inputFromStatus(replies.input, replies.product, replies.hdr);
    // The tick read the settings just before the status.
    std::memcpy(data_.settings.data(), appState.settingsMirror, kSettingsBlockSize);
    data_.settingsKnown = true;
    if (formatKey(data_.input) != displaysReadFor_ && deviceFree()) {
        readDisplays();
        return;
    }
    showReport();
}

void SignalChainWindow::showReport() {
    report_ = chain::checkChain(data_);
    drawing_->setPicture(chainPicture(report_, data_));
    fillFindings();
}

void SignalChainWindow::fillFindings() {
    findings_->clear();
    const int iconSize = fontMetrics().height();
    QFont bold = font();
    bold.setBold(true);
    const auto addFindings = [&](QTreeWidgetItem* group, const std::vector<chain::Finding>& list) {
        for (const chain::Finding& finding : list) {
            auto* item =
                new QTreeWidgetItem(group, {QLatin1String(chain::verdictText(finding.verdict)),
                                            fromStd(finding.sentence), settingText(finding)});
            item->setIcon(0, verdictIcon(finding.verdict, iconSize));
            item->setForeground(0, verdictColour(finding.verdict));
            item->setToolTip(1, fromStd(finding.sentence));
            if (const settings::Setting* s = settings::byName(finding.setting); s && s->summary)
                item->setToolTip(2, QLatin1String(s->summary));
        }
    };
    if (!report_.inputFindings.empty()) {
        const chain::Input& input = report_.input;
        auto* group = new QTreeWidgetItem(
            findings_,
            {tr("Input"), input.formatName.empty() ? QString() : fromStd(input.formatName)});
        group->setFont(0, bold);
        addFindings(group, report_.inputFindings);
    }
    for (int i = 0; i < 2; ++i) {
        const chain::OutputReport& output = report_.outputs[i];
        auto* group = new QTreeWidgetItem(
            findings_, {tr("%1: %2").arg(fromStd(output.name),
                                         QLatin1String(chain::verdictText(output.verdict))),
                        outputDetail(output, data_.displays[i])});
        group->setIcon(0, verdictIcon(output.verdict, iconSize));
        group->setFont(0, bold);
        addFindings(group, output.findings);
    }
    findings_->expandAll();
}

SignalChainWindow* openSignalChain(QWidget* mainWindow) {
    if (!mainWindow)
        return nullptr;
    SignalChainWindow* window = SignalChainWindow::findOpen(mainWindow);
    if (window) {
        window->present();
        return window;
    }
    window = new SignalChainWindow(mainWindow);
    window->present();
    window->readDisplays();
    return window;
}
