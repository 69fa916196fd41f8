#include "ui/formlayout.h"

#include "core/colour.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace tideplot {

int TwipsToPixels(double twips, double dpi)
{
    return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch));
}

QRect TwipsToPixels(const ControlRow& row, double dpi)
{
    const int left = TwipsToPixels(row.Left, dpi);
    const int top = TwipsToPixels(row.Top, dpi);
    // Right and bottom edges are rounded too, so neighbours that touch in twips touch on screen.
    return QRect(QPoint(left, top),
                 QPoint(TwipsToPixels(row.Left + row.Width, dpi) - 1, TwipsToPixels(row.Top + row.Height, dpi) - 1));
}

namespace {

QString Utf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void SetInitialText(QWidget* w, const QString& text)
{
    if (auto* label = qobject_cast<QLabel*>(w))
        label->setText(text);
    else if (auto* edit = qobject_cast<QLineEdit*>(w))
        edit->setText(text);
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(w))
        plain->setPlainText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(w))
        button->setText(text);
    else if (auto* frame = qobject_cast<QGroupBox*>(w))
        frame->setTitle(text);
}

bool TakesFocus(ControlKind kind)
{
    switch (kind) {
    case ControlKind::StatusBar:
    case ControlKind::ToolBar:
    case ControlKind::Label:
    case ControlKind::AutoSizeLabel:
    case ControlKind::Frame:
        return false;
    default:
        return true;
    }
}

} // namespace

void BuildForm(QWidget* form, std::span<const ControlRow> rows, double dpi)
{
    std::vector<std::pair<int, QWidget*>> tabOrder;
    for (const ControlRow& row : rows) {
        auto* w = form->findChild<QWidget*>(Utf8(row.Name));
        if (!w)
            throw std::logic_error("the window has no control " + std::string(row.Name));
        w->setGeometry(TwipsToPixels(row, dpi));
        if (!row.Text.empty())
            SetInitialText(w, Utf8(row.Text));
        if (!row.ToolTip.empty())
            w->setToolTip(Utf8(row.ToolTip));
        if (row.Kind == ControlKind::AutoSizeLabel) {
            const QRect at = w->geometry();
            w->adjustSize();
            w->move(at.topLeft());
        }
        if (row.TabIndex >= 0 && TakesFocus(row.Kind))
            tabOrder.emplace_back(row.TabIndex, w);
    }
    std::stable_sort(tabOrder.begin(), tabOrder.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 1; i < tabOrder.size(); ++i)
        QWidget::setTabOrder(tabOrder[i - 1].second, tabOrder[i].second);
}

double LogicalDpi(const QWidget* widget)
{
    return widget->logicalDpiX();
}

void SetLabelColour(QLabel* label, const QColor& colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, colour);
    const int luma = (299 * colour.red() + 587 * colour.green() + 114 * colour.blue()) / 1000;
    palette.setColor(QPalette::WindowText, luma < 128 ? Qt::white : Qt::black);
    label->setPalette(palette);
    label->setAutoFillBackground(true);
}

void SetLabelWindowColour(QLabel* label, std::uint32_t windowColour)
{
    SetLabelColour(
        label, QColor(WindowColourRed(windowColour), WindowColourGreen(windowColour), WindowColourBlue(windowColour)));
}

namespace {

class EventWatcher : public QObject {
public:
    EventWatcher(QWidget* watched, QEvent::Type type, std::function<void()> then)
        : QObject(watched), type_(type), then_(std::move(then))
    {
        watched->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == type_)
            then_();
        return false;
    }

private:
    QEvent::Type type_;
    std::function<void()> then_;
};

} // namespace

void WatchEvent(QWidget* watched, QEvent::Type type, std::function<void()> then)
{
    new EventWatcher(watched, type, std::move(then));
}

} // namespace tideplot
