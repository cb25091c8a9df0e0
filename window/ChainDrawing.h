#pragma once

#include "chain/SignalChain.h"

#include <QColor>
#include <QIcon>
#include <QString>
#include <QStringList>
#include <QWidget>

class QPainter;
class QRectF;

// The signal chain as a small picture: source → device → TOP / BOT, each
// output with a mark for its verdict. The mark's shape tells the verdict
// apart as well as its colour does.

// One box of the picture and what it says.
struct ChainBox {
    QString caption;
    QStringList lines;
    bool marked = false; // the outputs carry a verdict mark
    chain::Verdict mark = chain::Verdict::Unknown;
    bool carried = true; // the line into the box carries the signal
};

struct ChainPicture {
    ChainBox source;
    ChainBox device;
    ChainBox outputs[2]; // TOP, BOT
};

// What the boxes say, from the check and the data it was made from.
ChainPicture chainPicture(const chain::ChainReport& report, const chain::ChainData& data);

// "LUMAVIEW 65", or what became of the display's read.
QString displayText(const chain::OutputReport& output, const chain::Display& display);

QColor verdictColour(chain::Verdict verdict);
// The mark alone, filling `area`.
void paintVerdictMark(QPainter& painter, const QRectF& area, chain::Verdict verdict);
QIcon verdictIcon(chain::Verdict verdict, int size);

class ChainDrawing : public QWidget {
    Q_OBJECT

public:
    explicit ChainDrawing(QWidget* parent = nullptr);

    void setPicture(const ChainPicture& picture);
    const ChainPicture& picture() const { return picture_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Layout;
    Layout layout() const;

    ChainPicture picture_;
};
