#include "earth/chart/chartlegend.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tideplot {

namespace {

const QColor kBox(255, 255, 255, 215);
const QColor kInk(0x18, 0x28, 0x38);
constexpr double kMarginPx = 10;

// Black on light colours, white on dark ones (relative luminance, ITU-R BT.709).
QColor TextOn(const QColor& colour)
{
    const double luminance = 0.2126 * colour.redF() + 0.7152 * colour.greenF() + 0.0722 * colour.blueF();
    return luminance > 0.45 ? QColor(Qt::black) : QColor(Qt::white);
}

} // namespace

void DrawReplayLegend(QPainter& painter, const QRect& picture, const QString& raceTimeText,
                      const std::vector<ReplayLegendRow>& rows)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    QFont font = painter.font();
    font.setPixelSize(std::clamp(picture.height() / 42, 11, 48));
    QFont bold = font;
    bold.setBold(true);
    const QFontMetricsF metrics(font), boldMetrics(bold);
    const double pad = std::round(metrics.height() * 0.35);
    const double rowHeight = std::ceil(metrics.height() + pad);
    const double gap = std::round(pad * 0.5);

    const QString title = QStringLiteral("Race time");
    const QString unit = QStringLiteral(" nm");
    // The rows that fit under the title in the picture, the last one saying how many
    // were left out when some were.
    const double room = picture.height() - 2 * kMarginPx - 2 * pad - rowHeight - gap;
    const auto fitting = static_cast<std::size_t>(std::max(0.0, std::floor(room / (rowHeight + gap))));
    std::size_t shown = rows.size();
    QString more;
    if (rows.size() > fitting) {
        shown = fitting > 0 ? fitting - 1 : 0;
        more = QStringLiteral("and %1 more").arg(rows.size() - shown);
    }

    double captionWidth = metrics.horizontalAdvance(more);
    double distanceWidth = 0;
    for (std::size_t i = 0; i < shown; ++i) {
        captionWidth = std::max(captionWidth, metrics.horizontalAdvance(rows[i].Caption) + 2 * pad);
        if (!rows[i].Distance.isEmpty())
            distanceWidth = std::max(distanceWidth, metrics.horizontalAdvance(rows[i].Distance + unit));
    }
    const double titleWidth =
        boldMetrics.horizontalAdvance(title) + 2 * pad + boldMetrics.horizontalAdvance(raceTimeText);
    const double distanceColumn = distanceWidth > 0 ? distanceWidth + 2 * pad : 0;
    const double innerWidth = std::max(titleWidth, captionWidth + distanceColumn);
    const std::size_t lines = 1 + shown + (more.isEmpty() ? 0 : 1);
    const double boxWidth = innerWidth + 2 * pad;
    const double boxHeight = 2 * pad + static_cast<double>(lines) * rowHeight + static_cast<double>(lines - 1) * gap;
    const QRectF box(picture.right() + 1 - kMarginPx - boxWidth, picture.bottom() + 1 - kMarginPx - boxHeight, boxWidth,
                     boxHeight);

    painter.setPen(Qt::NoPen);
    painter.setBrush(kBox);
    painter.drawRoundedRect(box, pad, pad);

    const double left = box.left() + pad;
    double top = box.top() + pad;
    painter.setFont(bold);
    painter.setPen(kInk);
    painter.drawText(QRectF(left, top, innerWidth, rowHeight), Qt::AlignLeft | Qt::AlignVCenter, title);
    painter.drawText(QRectF(left, top, innerWidth, rowHeight), Qt::AlignRight | Qt::AlignVCenter, raceTimeText);
    painter.setFont(font);
    for (std::size_t i = 0; i < shown; ++i) {
        top += rowHeight + gap;
        const ReplayLegendRow& row = rows[i];
        const QRectF caption(left, top, metrics.horizontalAdvance(row.Caption) + 2 * pad, rowHeight);
        painter.setPen(Qt::NoPen);
        painter.setBrush(row.Colour);
        painter.drawRect(caption);
        painter.setPen(TextOn(row.Colour));
        painter.drawText(caption, Qt::AlignCenter, row.Caption);
        if (!row.Distance.isEmpty()) {
            painter.setPen(kInk);
            painter.drawText(QRectF(left, top, innerWidth, rowHeight), Qt::AlignRight | Qt::AlignVCenter,
                             row.Distance + unit);
        }
    }
    if (!more.isEmpty()) {
        top += rowHeight + gap;
        painter.setPen(kInk);
        painter.drawText(QRectF(left, top, innerWidth, rowHeight), Qt::AlignLeft | Qt::AlignVCenter, more);
    }
    painter.restore();
}

} // namespace tideplot
