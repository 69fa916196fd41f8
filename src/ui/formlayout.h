#pragma once

#include <QEvent>
#include <QRect>
#include <QString>

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

class QColor;
class QLabel;
class QWidget;

// The windows are laid out as designed, in twips (1440 to the inch), and placed at the
// screen's logical resolution so that they look the same at any scaling. Each window
// keeps its controls in one table; BuildForm applies it.
namespace tideplot {

enum class ControlKind {
    StatusBar,
    ToolBar,
    CommandButton,
    PictureButton,
    ListBox,
    Slider,
    DriveList,
    FolderList,
    FileList,
    TextBox,
    MultiLineTextBox,
    Label,
    AutoSizeLabel, // sized to its text
    Frame,
};

// One control as designed: Left, Top, Width and Height in twips from the top-left corner
// of its container, its caption or initial text, its tool tip and its place in the tab
// order (-1: none).
struct ControlRow {
    std::string_view Name;
    ControlKind Kind;
    int Left, Top, Width, Height;
    std::string_view Text;
    std::string_view ToolTip;
    int TabIndex;
};

inline constexpr double kTwipsPerInch = 1440.0;

int TwipsToPixels(double twips, double dpi);
QRect TwipsToPixels(const ControlRow& row, double dpi);

// Finds every control of `rows` among the children of `form` by its object name, places
// it at `dpi`, gives it its initial text and tool tip, and chains the tab order by tab
// index. A control named in the table and missing from the window is a programming fault.
void BuildForm(QWidget* form, std::span<const ControlRow> rows, double dpi);

// The logical resolution of the screen the widget is on (of the primary screen before it
// is shown), dots per inch.
double LogicalDpi(const QWidget* widget);

// A new control of the window, named as its layout table names it.
template <class W> W* MakeControl(QWidget* parent, const QString& name)
{
    auto* w = new W(parent);
    w->setObjectName(name);
    return w;
}

// Gives a label a background colour, its text in black or white, whichever reads better on it.
void SetLabelColour(QLabel* label, const QColor& colour);
// The same with a window colour value 0x00BBGGRR.
void SetLabelWindowColour(QLabel* label, std::uint32_t windowColour);

// Calls `then` whenever `watched` receives an event of `type` (a resize, a close), after
// the widget's own handling has been asked for; for as long as the widget lives.
void WatchEvent(QWidget* watched, QEvent::Type type, std::function<void()> then);

} // namespace tideplot
