#include "window/ChainDrawing.h"

#include "settings/ListEntries.h"
#include "settings/SettingsMap.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>
#include <cmath>

namespace {

// Names the source sent are bytes, shown as Latin-1 like the status header.
QString latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

QStringList sourceLines(const chain::Input& input) {
    QStringList lines;
    const QString name =
        latin1(input.vendor).trimmed() + QLatin1Char(' ') + latin1(input.product).trimmed();
    if (!name.trimmed().isEmpty())
        lines << name.trimmed();
    if (input.vic == 0 && input.statusCode == 0) {
        lines << ChainDrawing::tr("No signal");
        return lines;
    }
    lines << (input.formatName.empty() ? ChainDrawing::tr("Format code %1")
                                             .arg(input.statusCode ? input.statusCode : input.vic)
                                       : QString::fromStdString(input.formatName));
    if (!input.hdmi) {
        lines << ChainDrawing::tr("DVI: no audio, no InfoFrames");
        return lines;
    }
    lines << ChainDrawing::tr("HDMI, %1").arg(QLatin1String(chain::encodingName(input.encoding)));
    if (input.colorimetry != chain::Colorimetry::None)
        lines << QLatin1String(chain::colorimetryName(input.colorimetry));
    if (input.eotf != chain::Eotf::None) {
        QString hdr = QLatin1String(chain::eotfName(input.eotf));
        if (input.maxCll > 0)
            hdr += ChainDrawing::tr(", MaxCLL %1 cd/m\u00B2").arg(input.maxCll);
        lines << hdr;
    }
    return lines;
}

QStringList deviceLines(const chain::ChainData& data) {
    QStringList lines;
    const int position = settings::blockPosition(settings::kActiveInput);
    const int entry = data.settings[static_cast<std::size_t>(position)] - 1;
    if (!data.settingsKnown || entry < 0 ||
        entry >= static_cast<int>(settings::kInputEntries.size()))
        lines << ChainDrawing::tr("Input mode unknown");
    else
        lines << QLatin1String(settings::kInputEntries[static_cast<std::size_t>(entry)]);
    if (data.input.linkMode == 1)
        lines << ChainDrawing::tr("4:2:0 10-bit link");
    else if (data.input.linkMode == 2)
        lines << ChainDrawing::tr("600 MHz link");
    return lines;
}

QString feedLine(const chain::OutputReport& output) {
    QString line = QString::fromStdString(output.link);
    if (!output.active)
        return ChainDrawing::tr("%1, inactive").arg(line);
    if (output.port)
        line += ChainDrawing::tr(", input %1").arg(QLatin1Char(output.port));
    // The status describes one input; the other one's format is not known.
    if (!output.described)
        line += ChainDrawing::tr(" (format unknown)");
    if (output.to420)
        line += ChainDrawing::tr(", as 4:2:0");
    return line;
}

// Box geometry in units of the font's line height, so that both builds'
// fonts get the same proportions.
constexpr double kArrowLines = 2.5;
constexpr double kGapLines = 0.8;
constexpr double kMarkLines = 1.6;

} // namespace

QString displayText(const chain::OutputReport& output, const chain::Display& display) {
    switch (display.state) {
    case chain::DisplayState::Read:
        return output.display.empty() ? ChainDrawing::tr("Display without a name")
                                      : latin1(output.display);
    case chain::DisplayState::NoDisplay:
        return ChainDrawing::tr("No display");
    case chain::DisplayState::ReadFailed:
        return ChainDrawing::tr("Display not read");
    case chain::DisplayState::NotRead:
        break;
    }
    return ChainDrawing::tr("Display not read yet");
}

ChainPicture chainPicture(const chain::ChainReport& report, const chain::ChainData& data) {
    ChainPicture picture;
    picture.source.caption = ChainDrawing::tr("Source");
    picture.source.lines = sourceLines(report.input);
    picture.device.caption = ChainDrawing::tr("KORVANTA");
    picture.device.lines = deviceLines(data);
    for (int i = 0; i < 2; ++i) {
        const chain::OutputReport& output = report.outputs[i];
        ChainBox& box = picture.outputs[i];
        box.caption = QString::fromStdString(output.name);
        box.lines << displayText(output, data.displays[i]) << feedLine(output)
                  << QLatin1String(chain::verdictText(output.verdict));
        box.marked = true;
        box.mark = output.verdict;
        box.carried = output.active;
    }
    return picture;
}

QColor verdictColour(chain::Verdict verdict) {
    switch (verdict) {
    case chain::Verdict::Fine:
        return {0x1E, 0x6E, 0x2E};
    case chain::Verdict::Degraded:
        return {0xB3, 0x6B, 0x00};
    case chain::Verdict::WontShow:
        return {0xB0, 0x00, 0x20};
    case chain::Verdict::NoDisplay:
        return {0x60, 0x60, 0x60};
    case chain::Verdict::Unknown:
        break;
    }
    return {0x3A, 0x5A, 0x8C};
}

void paintVerdictMark(QPainter& painter, const QRectF& area, chain::Verdict verdict) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const double side = std::min(area.width(), area.height());
    const QRectF r(area.center().x() - side / 2, area.center().y() - side / 2, side, side);
    const QColor colour = verdictColour(verdict);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    // Outline and symbol both differ per verdict, for readers without colour.
    switch (verdict) {
    case chain::Verdict::Degraded: {
        QPainterPath triangle;
        triangle.moveTo(r.center().x(), r.top());
        triangle.lineTo(r.right(), r.bottom());
        triangle.lineTo(r.left(), r.bottom());
        triangle.closeSubpath();
        painter.drawPath(triangle);
        break;
    }
    case chain::Verdict::WontShow:
        painter.drawRect(r.adjusted(side * 0.06, side * 0.06, -side * 0.06, -side * 0.06));
        break;
    default:
        painter.drawEllipse(r);
        break;
    }
    QPen pen(Qt::white, std::max(1.5, side * 0.13), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const auto at = [&r, side](double x, double y) {
        return QPointF(r.left() + x * side, r.top() + y * side);
    };
    switch (verdict) {
    case chain::Verdict::Fine:
        painter.drawPolyline(QPolygonF{at(0.27, 0.52), at(0.44, 0.69), at(0.74, 0.33)});
        break;
    case chain::Verdict::Degraded:
        painter.drawLine(at(0.5, 0.40), at(0.5, 0.66));
        painter.drawPoint(at(0.5, 0.82));
        break;
    case chain::Verdict::WontShow:
        painter.drawLine(at(0.30, 0.30), at(0.70, 0.70));
        painter.drawLine(at(0.70, 0.30), at(0.30, 0.70));
        break;
    case chain::Verdict::NoDisplay:
        painter.drawLine(at(0.28, 0.5), at(0.72, 0.5));
        break;
    case chain::Verdict::Unknown: {
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(std::max(6, static_cast<int>(side * 0.72)));
        painter.setFont(font);
        painter.drawText(r, Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    }
    painter.restore();
}

QIcon verdictIcon(chain::Verdict verdict, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paintVerdictMark(painter, QRectF(1, 1, size - 2, size - 2), verdict);
    painter.end();
    return QIcon(pixmap);
}

ChainDrawing::ChainDrawing(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
}

void ChainDrawing::setPicture(const ChainPicture& picture) {
    picture_ = picture;
    updateGeometry();
    update();
}

struct ChainDrawing::Layout {
    double line = 0, pad = 0, mark = 0;
    QRectF source, device, outputs[2];
    QSizeF size;
};

ChainDrawing::Layout ChainDrawing::layout() const {
    QFont bold = font();
    bold.setBold(true);
    const QFontMetricsF plain(font());
    const QFontMetricsF heading(bold);
    Layout l;
    l.line = std::ceil(heading.height());
    l.pad = std::round(l.line * 0.5);
    l.mark = std::round(l.line * kMarkLines);
    const auto measure = [&](const ChainBox& box) {
        double width = heading.horizontalAdvance(box.caption);
        for (const QString& text : box.lines)
            width = std::max(width, plain.horizontalAdvance(text));
        if (box.marked)
            width += l.mark + l.pad;
        const double height = l.line * static_cast<double>(1 + box.lines.size());
        return QSizeF(std::ceil(width + 2 * l.pad), height + 2 * l.pad);
    };
    const QSizeF source = measure(picture_.source);
    const QSizeF device = measure(picture_.device);
    QSizeF output = measure(picture_.outputs[0]).expandedTo(measure(picture_.outputs[1]));
    const double arrow = std::round(l.line * kArrowLines);
    const double gap = std::round(l.line * kGapLines);
    const double height =
        std::max({source.height(), device.height(), 2 * output.height() + gap}) + 2;
    const double middle = height / 2;
    double x = 1;
    l.source = QRectF(QPointF(x, middle - source.height() / 2), source);
    x += source.width() + arrow;
    l.device = QRectF(QPointF(x, middle - device.height() / 2), device);
    x += device.width() + arrow;
    l.outputs[0] = QRectF(QPointF(x, middle - gap / 2 - output.height()), output);
    l.outputs[1] = QRectF(QPointF(x, middle + gap / 2), output);
    l.size = QSizeF(x + output.width() + 1, height);
    return l;
}

QSize ChainDrawing::sizeHint() const {
    return layout().size.toSize() + QSize(2, 2);
}

void ChainDrawing::paintEvent(QPaintEvent*) {
    const Layout l = layout();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Centred in whatever width the window gives.
    painter.translate(std::floor((width() - l.size.width()) / 2), 0);
    const QColor ink = palette().color(QPalette::WindowText);
    // Dimmer than the ink, yet still seen on a light background.
    const QColor idle(0x90, 0x90, 0x90);

    const auto arrowTo = [&](const QPointF& from, const QPointF& to, bool carried) {
        QPen pen(carried ? ink : idle, carried ? 1.6 : 1.2, carried ? Qt::SolidLine : Qt::DashLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        const double bend = from.x() + (to.x() - from.x()) / 2;
        painter.drawPolyline(
            QPolygonF{from, QPointF(bend, from.y()), QPointF(bend, to.y()), to - QPointF(2, 0)});
        if (!carried)
            return;
        const double head = l.line * 0.35;
        painter.setPen(Qt::NoPen);
        painter.setBrush(ink);
        painter.drawPolygon(
            QPolygonF{to, to - QPointF(head * 1.6, head), to - QPointF(head * 1.6, -head)});
    };
    const auto rightOf = [](const QRectF& r) { return QPointF(r.right(), r.center().y()); };
    const auto leftOf = [](const QRectF& r) { return QPointF(r.left(), r.center().y()); };
    arrowTo(rightOf(l.source), leftOf(l.device), true);
    // Idle lines first: where they share a stretch with a carrying one, the
    // carrying one is drawn over it.
    for (bool carried : {false, true})
        for (int i = 0; i < 2; ++i)
            if (picture_.outputs[i].carried == carried)
                arrowTo(rightOf(l.device), leftOf(l.outputs[i]), carried);

    QFont bold = font();
    bold.setBold(true);
    const auto drawBox = [&](const ChainBox& box, const QRectF& r) {
        const QColor edge = box.marked ? verdictColour(box.mark) : ink;
        painter.setPen(QPen(edge, box.marked ? 2.0 : 1.2));
        painter.setBrush(palette().color(QPalette::Base));
        painter.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), l.pad / 2, l.pad / 2);
        const double textLeft = r.left() + l.pad;
        const double textWidth = r.width() - 2 * l.pad - (box.marked ? l.mark + l.pad : 0);
        double y = r.top() + l.pad;
        painter.setPen(ink);
        painter.setFont(bold);
        painter.drawText(QRectF(textLeft, y, textWidth, l.line), Qt::AlignLeft | Qt::AlignVCenter,
                         box.caption);
        painter.setFont(font());
        for (int i = 0; i < box.lines.size(); ++i) {
            y += l.line;
            // An output's last line is its verdict, in the mark's colour.
            const bool verdict = box.marked && i == box.lines.size() - 1;
            painter.setPen(verdict ? verdictColour(box.mark) : ink);
            painter.drawText(QRectF(textLeft, y, textWidth, l.line),
                             Qt::AlignLeft | Qt::AlignVCenter, box.lines.at(i));
        }
        if (box.marked)
            paintVerdictMark(
                painter,
                QRectF(r.right() - l.pad - l.mark, r.center().y() - l.mark / 2, l.mark, l.mark),
                box.mark);
    };
    drawBox(picture_.source, l.source);
    drawBox(picture_.device, l.device);
    for (int i = 0; i < 2; ++i)
        drawBox(picture_.outputs[i], l.outputs[i]);
}
