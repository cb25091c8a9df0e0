#include "window/DecodeWindow.h"

#include "session/Reporter.h"
#include "window/Variant.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTextEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

namespace {

// The 200 % build's form uses smaller points throughout; the decode window keeps
// the same proportion to it.
struct DecodeWindowLook {
    int pointSize;
    int headingPointSize;
    int width, height;
};
constexpr DecodeWindowLook kLook =
    kDpi200Build ? DecodeWindowLook{7, 9, 660, 620} : DecodeWindowLook{9, 11, 800, 700};
constexpr int kProblemListRows = 4;
constexpr int kProblemListPadding = 4; // the list's margins around its rows
constexpr int kLabelColumnSharePercent = 45;

const QColor kProblemColour(0xB0, 0x00, 0x20);
const QColor kCleanColour(0x1E, 0x6E, 0x2E);

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

void paint(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

void addNodes(QTreeWidgetItem* parent, const std::vector<decode::Node>& nodes,
              const QIcon& problemIcon) {
    for (const decode::Node& node : nodes) {
        // Nodes without a label exist for JSON only.
        if (node.label.empty())
            continue;
        auto* item = new QTreeWidgetItem(parent, {fromStd(node.label), fromStd(node.text)});
        item->setToolTip(0, fromStd(node.label));
        item->setToolTip(1, fromStd(node.text));
        if (node.problem) {
            item->setIcon(0, problemIcon);
            for (int column = 0; column < 2; ++column)
                item->setForeground(column, kProblemColour);
        }
        addNodes(item, node.children, problemIcon);
    }
}

void addSideRows(QTreeWidgetItem* parent, const std::vector<DecodeWindow::SideRow>& rows) {
    for (const DecodeWindow::SideRow& row : rows) {
        auto* item = new QTreeWidgetItem(parent, QStringList{row.label} + row.values);
        for (int column = 0; column < item->columnCount(); ++column)
            item->setToolTip(column, row.tip.isEmpty() ? item->text(column) : row.tip);
        addSideRows(item, row.children);
    }
}

} // namespace

class DecodeWindow::NoteReporter final : public session::Reporter {
public:
    explicit NoteReporter(DecodeWindow& window) : window_(window) {}
    void status(session::Level level, const char* text, int) override {
        window_.lastReport_ = DecodeWindow::tr(text);
        window_.showNote(window_.lastReport_, level != session::Level::Done);
    }
    // Like the main window's: standard output only.
    void diagnostic(const char* text) override {
        std::fputs(text, stdout);
        std::fflush(stdout);
    }

private:
    DecodeWindow& window_;
};

DecodeWindow::DecodeWindow(QWidget* owner, const QString& title)
    : QWidget(owner, Qt::Window), reporter_(std::make_unique<NoteReporter>(*this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("%1 - KORVANTA Utility").arg(title));
    QFont base = font();
    base.setPointSize(kLook.pointSize);
    setFont(base);

    heading_ = new QLabel(this);
    QFont headingFont = base;
    headingFont.setPointSize(kLook.headingPointSize);
    headingFont.setBold(true);
    heading_->setFont(headingFont);
    note_ = new QLabel(this);
    note_->setWordWrap(true);
    choices_ = new QHBoxLayout;
    choices_->addStretch(1);

    tree_ = new QTreeWidget(this);
    tree_->setColumnCount(2);
    tree_->setHeaderLabels({tr("Field"), tr("Value")});
    tree_->header()->setFont(base); // styles may give headers a font of their own
    tree_->setAlternatingRowColors(true);
    tree_->setUniformRowHeights(true);
    // Widths set by fitColumns(): long values scroll rather than being cut.
    tree_->header()->setStretchLastSection(false);
    tree_->setTextElideMode(Qt::ElideMiddle);
    tree_->viewport()->installEventFilter(this);

    summary_ = new QLabel(this);
    QFont summaryFont = base;
    summaryFont.setBold(true);
    summary_->setFont(summaryFont);
    problems_ = new QListWidget(this);
    problems_->setWordWrap(true);
    problems_->setMaximumHeight(problems_->fontMetrics().lineSpacing() * kProblemListRows +
                                2 * problems_->frameWidth() + kProblemListPadding);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading_);
    layout->addWidget(note_);
    layout->addLayout(choices_);
    layout->addWidget(tree_, 1);
    layout->addWidget(summary_);
    layout->addWidget(problems_);
    resize(kLook.width, kLook.height);
    // Until there is a decode there is nothing to count.
    heading_->setText(title);
    summary_->hide();
    problems_->hide();
}

DecodeWindow::~DecodeWindow() = default;

DecodeWindow* DecodeWindow::findOpen(QWidget* owner, const QString& name) {
    const auto windows = owner->findChildren<DecodeWindow*>(name, Qt::FindDirectChildrenOnly);
    for (DecodeWindow* window : windows)
        if (window->isVisible())
            return window;
    return nullptr;
}

void DecodeWindow::present() {
    show();
    raise();
    activateWindow();
}

void DecodeWindow::follow(QTextEdit* field, Decoder decoder) {
    followWith(field, [this, decoder = std::move(decoder)](const QString& text) {
        showDecoded(decoder(text));
    });
}

void DecodeWindow::followSideBySide(QTextEdit* field, SideBySideView view) {
    followWith(field,
               [this, view = std::move(view)](const QString& text) { showSideBySide(view(text)); });
}

void DecodeWindow::followWith(QTextEdit* field, std::function<void(const QString&)> show) {
    disconnect(following_);
    field_ = field;
    show_ = std::move(show);
    following_ = connect(field, &QTextEdit::textChanged, this, &DecodeWindow::refresh);
    refresh();
}

void DecodeWindow::refresh() {
    if (field_ && show_)
        show_(field_->toPlainText());
}

void DecodeWindow::showDecoded(const decode::Decoded& decoded) {
    // Typing redraws the tree at each key; keep the reader's place in it.
    const int scrolled = tree_->verticalScrollBar()->value();
    heading_->setText(fromStd(decoded.title));
    tree_->clear();
    addNodes(tree_->invisibleRootItem(), decoded.nodes,
             style()->standardIcon(QStyle::SP_MessageBoxWarning));
    tree_->expandAll();
    if (wholeLabels_)
        widenForLabels();
    else
        fitColumns();
    tree_->verticalScrollBar()->setValue(scrolled);
    showProblems(decoded.problems, decoded.problems.empty() ? tr("No problems found.") : QString());
}

void DecodeWindow::showSideBySide(const SideBySide& view) {
    const int scrolled = tree_->verticalScrollBar()->value();
    heading_->setText(view.heading);
    tree_->clear();
    tree_->setColumnCount(1 + static_cast<int>(view.sides.size()));
    tree_->setHeaderLabels(QStringList{tr("Field")} + view.sides);
    addSideRows(tree_->invisibleRootItem(), view.rows);
    tree_->expandAll();
    widenForLabels();
    tree_->verticalScrollBar()->setValue(scrolled);
    showProblems(view.problems, view.verdict);
}

void DecodeWindow::showProblems(const std::vector<std::string>& found, const QString& verdict) {
    problems_->clear();
    for (const std::string& problem : found) {
        auto* item = new QListWidgetItem(fromStd(problem), problems_);
        item->setForeground(kProblemColour);
    }
    const int count = static_cast<int>(found.size());
    problems_->setVisible(count > 0);
    QStringList parts;
    if (!verdict.isEmpty())
        parts << verdict;
    if (count > 0)
        parts << (count == 1 ? tr("1 problem:") : tr("%1 problems:").arg(count));
    summary_->setText(parts.join(QLatin1Char(' ')));
    summary_->setVisible(!parts.isEmpty());
    paint(summary_, count == 0 ? kCleanColour : kProblemColour);
}

QString DecodeWindow::summary() const {
    return summary_->isVisibleTo(this) ? summary_->text() : QString();
}

void DecodeWindow::fitColumns() {
    const auto needed = [this](int column) {
        tree_->resizeColumnToContents(column);
        return tree_->columnWidth(column);
    };
    const int available = tree_->viewport()->width();
    const int last = tree_->columnCount() - 1;
    int values = 0;
    for (int column = 1; column < last; ++column)
        values += needed(column);
    const int lastValues = needed(last);
    // Labels get what the values leave, and never less than their share;
    // whole labels take what they need, the values scrolling beside them.
    const int label = wholeLabels_
                          ? needed(0)
                          : std::min(needed(0), std::max(available * kLabelColumnSharePercent / 100,
                                                         available - values - lastValues));
    tree_->setColumnWidth(0, label);
    tree_->setColumnWidth(last, std::max(lastValues, available - label - values));
}

bool DecodeWindow::eventFilter(QObject* watched, QEvent* event) {
    // The tree's own size, known only once the layout has placed it.
    if (watched == tree_->viewport() && event->type() == QEvent::Resize)
        fitColumns();
    return QWidget::eventFilter(watched, event);
}

void DecodeWindow::showNote(const QString& text, bool problem) {
    note_->setText(text);
    paint(note_, problem ? kProblemColour : QApplication::palette().color(QPalette::WindowText));
}

QString DecodeWindow::note() const {
    return note_->text();
}

void DecodeWindow::showWholeLabels() {
    wholeLabels_ = true;
    tree_->setTextElideMode(Qt::ElideNone);
}

void DecodeWindow::widenForLabels() {
    int columns = 0;
    for (int column = 0; column < tree_->columnCount(); ++column) {
        tree_->resizeColumnToContents(column);
        columns += tree_->columnWidth(column);
    }
    const int besideColumns =
        width() - tree_->viewport()->width() + tree_->verticalScrollBar()->sizeHint().width();
    const int wanted = columns + besideColumns;
    const QScreen* shown = screen();
    const int most = shown ? shown->availableGeometry().width() : wanted;
    if (wanted > width())
        resize(std::min(wanted, most), height());
    fitColumns();
}

QPushButton* DecodeWindow::addChoice(const QString& text) {
    auto* button = new QPushButton(text, this);
    choices_->insertWidget(choices_->count() - 1, button); // ahead of the stretch
    return button;
}
