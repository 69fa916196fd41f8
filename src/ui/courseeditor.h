#pragma once

#include "core/course.h"
#include "ui/coursetable.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QUndoStack;
class QVBoxLayout;

// Chart > Course...: the race course as a table (the start line, the marks and gates in the
// order a lap sails them, the finish line) and its laps, each position typed as decimal
// degrees or placed by clicking the chart, the marks dragged on the chart (Undo puts a moved
// mark back); a course proposed from the fleet's tracks fills the table. Nothing reaches the
// course file until Save, which keeps the file's other lines. While the window is open the
// view draws the table's course; closed unsaved, the view draws the saved one again.
namespace tideplot {

class ApplicationGE;
class UserDialogs;

class CourseEditor : public QDialog {
public:
    struct Hooks {
        // A course proposed from the fleet's tracks (no finish line); throws Error saying why
        // there is none.
        std::function<Course()> propose;
        // The course was saved in the course file.
        std::function<void(const Course&)> saved;
    };

    // `view` draws the table's course (null: none); when it is a chart (replayView()), its
    // clicks place positions and its buoys can be dragged.
    CourseEditor(std::string raceFile, const Course& course, ApplicationGE* view, UserDialogs& dialogs, Hooks hooks,
                 QWidget* parent = nullptr);
    ~CourseEditor() override;

    // The course the table says now, or nothing (and why in the status line).
    std::optional<Course> tableCourse();

    // The finish line was set elsewhere (in the chart) and kept in the course file: the table's
    // finish row shows it, and it is part of the saved course; other unsaved edits stay.
    void finishLineKept(const FinishLine& line);

    // Close, Escape and the window's frame: asks to save unsaved changes first, then the
    // view draws the saved course again.
    void reject() override;

private:
    void makeControls();
    void makeTable();
    QVBoxLayout* makeButtons();
    void fill(const Course& course);
    std::vector<CourseRow> rows() const;
    void setRowCells(int row, const CourseRow& cells);
    void addRow(bool gate);
    void cellEdited(int row, int column);
    void changed();
    void say(const QString& text, bool fault = false);
    void rowButtons();
    void moveRow(int by);
    void removeRow();
    void placeOnChart();
    void buoyDragged(std::size_t mark, int end, double lat, double lon);
    // Sets the cells of rows as one step that Undo takes back.
    struct CellChange {
        int Row, Column;
        QString Before, After;
    };
    void pushChange(const QString& what, std::vector<CellChange> changes);
    void propose();
    bool save();
    void release();

    std::string raceFile_;
    Course saved_;
    std::vector<CourseMark> kept_; // marks of the course file no lap sails
    Course drawn_;                 // what the view draws now
    ApplicationGE* view_;
    UserDialogs& dialogs_;
    Hooks hooks_;
    bool dirty_ = false;
    bool filling_ = false;
    bool fault_ = false; // the status line says what is wrong
    QTableWidget* table_ = nullptr;
    QSpinBox* laps_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* remove_ = nullptr;
    QPushButton* up_ = nullptr;
    QPushButton* down_ = nullptr;
    QPushButton* place_ = nullptr;
    QPushButton* undo_ = nullptr;
    QUndoStack* undoStack_ = nullptr;
};

} // namespace tideplot
