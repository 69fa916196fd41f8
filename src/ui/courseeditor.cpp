#include "ui/courseeditor.h"

#include "core/coursefile.h"
#include "core/error.h"
#include "core/text.h"
#include "earth/applicationge.h"
#include "earth/replayview.h"
#include "ui/dialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QUndoStack>
#include <QVBoxLayout>

namespace tideplot {

namespace {

const QColor kFaultBackground(255, 214, 214);

// A cell of a column of few values (the kind, the side) edited in a list box.
class ChoiceDelegate : public QStyledItemDelegate {
public:
    ChoiceDelegate(QStringList choices, QString name, QObject* parent)
        : QStyledItemDelegate(parent), choices_(std::move(choices)), name_(std::move(name))
    {
    }
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        auto* box = new QComboBox(parent);
        box->addItems(choices_);
        box->setAccessibleName(name_);
        return box;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        static_cast<QComboBox*>(editor)->setCurrentText(index.data().toString());
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        model->setData(index, static_cast<QComboBox*>(editor)->currentText());
    }

private:
    QStringList choices_;
    QString name_;
};

// A step of Undo: cells set, and set back.
class CellsCommand : public QUndoCommand {
public:
    CellsCommand(const QString& text, std::function<void(bool undo)> apply)
        : QUndoCommand(text), apply_(std::move(apply))
    {
    }
    void redo() override { apply_(false); }
    void undo() override { apply_(true); }

private:
    std::function<void(bool)> apply_;
};

QPushButton* Button(QWidget* parent, const char* name, const QString& text, const QString& tip)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAccessibleName(QString(text).remove(u'&'));
    button->setToolTip(tip);
    button->setAutoDefault(false);
    return button;
}

} // namespace

CourseEditor::CourseEditor(std::string raceFile, const Course& course, ApplicationGE* view, UserDialogs& dialogs,
                           Hooks hooks, QWidget* parent)
    : QDialog(parent), raceFile_(std::move(raceFile)), saved_(course), view_(view), dialogs_(dialogs),
      hooks_(std::move(hooks))
{
    setObjectName(QStringLiteral("frmCourse"));
    setWindowTitle(QStringLiteral("Course - ") + LocalText(FileLabel(raceFile_)));
    undoStack_ = new QUndoStack(this);
    makeControls();
    fill(course);
    for (const CourseMark& mark : course.Marks) {
        bool sailed = false;
        for (const std::size_t i : course.Lap())
            sailed = sailed || course.Marks[i].Name == mark.Name;
        if (!sailed)
            kept_.push_back(mark);
    }
    drawn_ = course;
    if (view_)
        view_->SetCourse(course == Course{} ? std::nullopt : std::optional<Course>(course));
    if (ReplayView* chart = view_ ? view_->replayView() : nullptr)
        chart->dragBuoys(
            [this](std::size_t mark, int end, double lat, double lon) { buoyDragged(mark, end, lat, lon); });
    say(QStringLiteral("Type the positions, place them by clicking the chart (Place on chart), or drag a mark on "
                       "the chart."));
}

// The view is not touched here: a window closed by the user let it go (reject()); one that
// goes with the chart window goes with its view.
CourseEditor::~CourseEditor()
{
    // The stack, a child, goes after this window has become a plain QWidget: it must not tell
    // the Undo button (through this) that it is being emptied.
    QObject::disconnect(undoStack_, nullptr, this, nullptr);
    QObject::disconnect(table_, nullptr, this, nullptr);
}

void CourseEditor::makeControls()
{
    auto* intro = new QLabel(
        QStringLiteral("The start line, the marks and gates in the order a lap sails them, and the finish line. "
                       "Positions in decimal degrees, north and east positive, \".\" as the decimal point. A line "
                       "runs from its first end to its second: boats cross it from the left to the right. A mark "
                       "is left to port (drawn red) or to starboard (green); boats pass between a gate's buoys."),
        this);
    intro->setWordWrap(true);
    makeTable();
    QVBoxLayout* side = makeButtons();
    laps_ = new QSpinBox(this); // before Save and Close: Tab comes to it first
    laps_->setObjectName(QStringLiteral("spnLaps"));
    laps_->setRange(1, kMaxLaps);
    laps_->setAccessibleName(QStringLiteral("Laps"));
    auto* lapsLabel = new QLabel(QStringLiteral("&Laps:"), this);
    lapsLabel->setBuddy(laps_);
    connect(laps_, &QSpinBox::valueChanged, this, [this] {
        if (!filling_) {
            dirty_ = true;
            changed();
        }
    });
    auto* saveButton =
        Button(this, "cmdSave", QStringLiteral("&Save"), QStringLiteral("Keeps the course in the course file"));
    auto* closeButton = Button(this, "cmdClose", QStringLiteral("&Close"), QStringLiteral("Closes the window"));
    connect(saveButton, &QPushButton::clicked, this, [this] { save(); });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("lblStatus"));
    status_->setAccessibleName(QStringLiteral("Status"));
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* lapsRow = new QHBoxLayout;
    lapsRow->addWidget(lapsLabel);
    lapsRow->addWidget(laps_);
    lapsRow->addStretch();
    lapsRow->addWidget(saveButton);
    lapsRow->addWidget(closeButton);
    auto* grid = new QGridLayout(this);
    grid->addWidget(intro, 0, 0, 1, 2);
    grid->addWidget(table_, 1, 0);
    grid->addLayout(side, 1, 1);
    grid->addLayout(lapsRow, 2, 0, 1, 2);
    grid->addWidget(status_, 3, 0, 1, 2);
    resize(900, 440);
}

void CourseEditor::makeTable()
{
    table_ = new QTableWidget(0, kCourseColumns, this);
    table_->setObjectName(QStringLiteral("tblCourse"));
    table_->setAccessibleName(QStringLiteral("Course"));
    table_->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Kind"), QStringLiteral("Side"),
                                       QStringLiteral("Latitude"), QStringLiteral("Longitude"),
                                       QStringLiteral("Latitude 2"), QStringLiteral("Longitude 2")});
    table_->setTabKeyNavigation(false); // Tab goes on to the buttons; the arrow keys move in the table
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->setItemDelegateForColumn(
        kCourseKind, new ChoiceDelegate({QString::fromLatin1(kMarkKind), QString::fromLatin1(kGateKind)},
                                        QStringLiteral("Kind"), this));
    table_->setItemDelegateForColumn(
        kCourseSide,
        new ChoiceDelegate({QStringLiteral("port"), QStringLiteral("starboard")}, QStringLiteral("Side"), this));
    connect(table_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!filling_)
            cellEdited(item->row(), item->column());
    });
    connect(table_, &QTableWidget::currentCellChanged, this, [this] { rowButtons(); });
}

QVBoxLayout* CourseEditor::makeButtons()
{
    auto* addMark = Button(this, "cmdAddMark", QStringLiteral("Add &mark"), QStringLiteral("A mark after the row"));
    auto* addGate = Button(this, "cmdAddGate", QStringLiteral("Add &gate"), QStringLiteral("A gate after the row"));
    remove_ = Button(this, "cmdRemove", QStringLiteral("&Remove"), QStringLiteral("Removes the mark or gate"));
    up_ = Button(this, "cmdMoveUp", QStringLiteral("Move &up"), QStringLiteral("Sails the mark earlier in the lap"));
    down_ =
        Button(this, "cmdMoveDown", QStringLiteral("Move &down"), QStringLiteral("Sails the mark later in the lap"));
    place_ = Button(this, "cmdPlace", QStringLiteral("&Place on chart"),
                    QStringLiteral("The row's position, or a line's or gate's two ends, clicked on the chart"));
    undo_ = Button(this, "cmdUndo", QStringLiteral("U&ndo"), QStringLiteral("Puts back the mark moved or placed last"));
    // Ctrl+Z besides the button's Alt+N (a shortcut set on the button would replace its
    // mnemonic); a cell being typed in takes its own Ctrl+Z first.
    auto* undoKey = new QShortcut(QKeySequence::Undo, this);
    connect(undoKey, &QShortcut::activated, undoStack_, &QUndoStack::undo);
    auto* proposeButton =
        Button(this, "cmdPropose", QStringLiteral("Pr&opose from tracks"),
               QStringLiteral("Fills the table with the course the fleet's turns say; Save keeps it"));
    connect(addMark, &QPushButton::clicked, this, [this] { addRow(false); });
    connect(addGate, &QPushButton::clicked, this, [this] { addRow(true); });
    connect(remove_, &QPushButton::clicked, this, [this] { removeRow(); });
    connect(up_, &QPushButton::clicked, this, [this] { moveRow(-1); });
    connect(down_, &QPushButton::clicked, this, [this] { moveRow(1); });
    connect(place_, &QPushButton::clicked, this, [this] { placeOnChart(); });
    connect(undo_, &QPushButton::clicked, undoStack_, &QUndoStack::undo);
    connect(undoStack_, &QUndoStack::canUndoChanged, undo_, &QPushButton::setEnabled);
    connect(undoStack_, &QUndoStack::undoTextChanged, this, [this](const QString& text) {
        undo_->setAccessibleName(text.isEmpty() ? QStringLiteral("Undo") : QStringLiteral("Undo ") + text);
    });
    undo_->setEnabled(false);
    connect(proposeButton, &QPushButton::clicked, this, [this] { propose(); });
    auto* side = new QVBoxLayout;
    for (QPushButton* b : {addMark, addGate, remove_, up_, down_, place_, undo_, proposeButton})
        side->addWidget(b);
    side->addStretch();
    return side;
}

void CourseEditor::fill(const Course& course)
{
    filling_ = true;
    const std::vector<CourseRow> cells = CourseRows(course);
    table_->setRowCount(static_cast<int>(cells.size()));
    for (std::size_t r = 0; r < cells.size(); ++r)
        setRowCells(static_cast<int>(r), cells[r]);
    laps_->setValue(course.Laps);
    filling_ = false;
    undoStack_->clear();
    table_->setCurrentCell(0, kCourseLat1);
    rowButtons();
}

std::vector<CourseRow> CourseEditor::rows() const
{
    std::vector<CourseRow> cells(static_cast<std::size_t>(table_->rowCount()));
    for (int r = 0; r < table_->rowCount(); ++r)
        for (int c = 0; c < kCourseColumns; ++c)
            if (const QTableWidgetItem* item = table_->item(r, c))
                cells[static_cast<std::size_t>(r)][c] = item->text();
    return cells;
}

void CourseEditor::setRowCells(int row, const CourseRow& cells)
{
    const bool line = row == 0 || row == table_->rowCount() - 1;
    const bool wasFilling = filling_;
    filling_ = true;
    for (int c = 0; c < kCourseColumns; ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        if (line && c <= kCourseSide)
            item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        table_->setItem(row, c, item);
    }
    filling_ = wasFilling;
}

void CourseEditor::addRow(bool gate)
{
    const char* kind = gate ? kGateKind : kMarkKind;
    const int last = table_->rowCount() - 1;
    const int row = std::clamp(table_->currentRow() + 1, 1, last);
    const QString prefix = QString::fromLatin1(gate ? "G" : "M");
    const std::vector<CourseRow> cells = rows();
    QString name;
    for (int n = 1; name.isEmpty(); ++n) {
        name = prefix + QString::number(n);
        for (const CourseRow& r : cells)
            if (r[kCourseName].trimmed() == name)
                name.clear();
    }
    CourseRow fresh;
    fresh[kCourseName] = name;
    fresh[kCourseKind] = QString::fromLatin1(kind);
    if (!gate)
        fresh[kCourseSide] = QStringLiteral("port");
    table_->insertRow(row);
    setRowCells(row, fresh);
    undoStack_->clear(); // its steps name rows by their place
    table_->setCurrentCell(row, kCourseLat1);
    table_->setFocus();
    dirty_ = true;
    changed();
}

void CourseEditor::cellEdited(int row, int column)
{
    if (column == kCourseSide || column == kCourseKind) {
        // A side typed in any case reads as the list box writes it.
        QTableWidgetItem* item = table_->item(row, column);
        const QString lower = item->text().trimmed().toLower();
        if (lower != item->text()) {
            filling_ = true;
            item->setText(lower);
            filling_ = false;
        }
    }
    dirty_ = true;
    changed();
}

void CourseEditor::changed()
{
    for (int r = 0; r < table_->rowCount(); ++r)
        for (int c = 0; c < kCourseColumns; ++c)
            if (QTableWidgetItem* item = table_->item(r, c); item && item->background() != QBrush()) {
                const bool wasFilling = filling_;
                filling_ = true;
                item->setBackground(QBrush());
                item->setToolTip({});
                filling_ = wasFilling;
            }
    const CourseReading reading = ReadCourseRows(rows(), laps_->value(), kept_, false);
    if (!reading.Plan) {
        say(reading.Fault, true);
        if (QTableWidgetItem* item =
                reading.Row >= 0 && reading.Column >= 0 ? table_->item(reading.Row, reading.Column) : nullptr) {
            const bool wasFilling = filling_;
            filling_ = true;
            item->setBackground(kFaultBackground);
            item->setToolTip(reading.Fault);
            filling_ = wasFilling;
        }
        return;
    }
    say(reading.Plan->Finish ? QString()
                             : QStringLiteral("No finish line yet: type its two ends or place it on the chart."));
    drawn_ = *reading.Plan;
    if (view_)
        view_->SetCourse(drawn_);
}

std::optional<Course> CourseEditor::tableCourse()
{
    const CourseReading reading = ReadCourseRows(rows(), laps_->value(), kept_);
    if (!reading.Plan) {
        say(reading.Fault, true);
        if (reading.Row >= 0)
            table_->setCurrentCell(reading.Row, std::max(reading.Column, 0));
    }
    return reading.Plan;
}

void CourseEditor::say(const QString& text, bool fault)
{
    fault_ = fault;
    status_->setText(text);
    status_->setStyleSheet(fault ? QStringLiteral("color: #a00000") : QString());
}

void CourseEditor::rowButtons()
{
    const int row = table_->currentRow();
    const int last = table_->rowCount() - 1;
    const bool mark = row >= 1 && row < last;
    remove_->setEnabled(mark);
    up_->setEnabled(mark && row > 1);
    down_->setEnabled(mark && row + 1 < last);
    place_->setEnabled(row >= 0 && view_ && view_->replayView());
}

void CourseEditor::moveRow(int by)
{
    const int row = table_->currentRow();
    const int to = row + by;
    if (row < 1 || to < 1 || to >= table_->rowCount() - 1)
        return;
    const std::vector<CourseRow> cells = rows();
    setRowCells(row, cells[static_cast<std::size_t>(to)]);
    setRowCells(to, cells[static_cast<std::size_t>(row)]);
    undoStack_->clear();
    table_->setCurrentCell(to, table_->currentColumn());
    dirty_ = true;
    changed();
}

void CourseEditor::removeRow()
{
    const int row = table_->currentRow();
    if (row < 1 || row >= table_->rowCount() - 1)
        return;
    table_->removeRow(row);
    undoStack_->clear();
    table_->setCurrentCell(std::min(row, table_->rowCount() - 2), kCourseName);
    dirty_ = true;
    changed();
}

void CourseEditor::placeOnChart()
{
    ReplayView* chart = view_ ? view_->replayView() : nullptr;
    const int row = table_->currentRow();
    if (!chart || row < 0)
        return;
    const std::vector<CourseRow> cells = rows();
    const bool oneEnd = cells[static_cast<std::size_t>(row)][kCourseKind] == QLatin1String(kMarkKind);
    const QString label = row == 0                        ? QStringLiteral("the start line")
                          : row + 1 == table_->rowCount() ? QStringLiteral("the finish line")
                                                          : cells[static_cast<std::size_t>(row)][kCourseName].trimmed();
    say(oneEnd ? QStringLiteral("Click the position of %1 on the chart (Escape there gives up).").arg(label)
               : QStringLiteral("Click the first end of %1 on the chart, then the second (Escape there gives up).")
                     .arg(label));
    QPointer<CourseEditor> self(this);
    chart->pickPositions(oneEnd ? 1 : 2, [self, row, label](std::vector<std::pair<double, double>> at) {
        if (!self || row >= self->table_->rowCount())
            return;
        std::vector<CellChange> changes;
        const int columns[] = {kCourseLat1, kCourseLon1, kCourseLat2, kCourseLon2};
        for (std::size_t i = 0; i < at.size() * 2; ++i) {
            const double value = i % 2 == 0 ? at[i / 2].first : at[i / 2].second;
            const int column = columns[i];
            changes.push_back({row, column, self->table_->item(row, column)->text(), DegreesText(value)});
        }
        self->pushChange(QStringLiteral("place ") + label, std::move(changes));
        self->raise();
        self->activateWindow();
    });
    chart->window()->raise();
    chart->window()->activateWindow();
}

void CourseEditor::buoyDragged(std::size_t mark, int end, double lat, double lon)
{
    if (mark >= drawn_.Marks.size())
        return;
    const QString name = LocalText(drawn_.Marks[mark].Name);
    std::vector<CellChange> changes;
    const int latColumn = end == 1 ? kCourseLat2 : kCourseLat1;
    for (int r = 1; r + 1 < table_->rowCount(); ++r) {
        if (table_->item(r, kCourseName)->text().trimmed() != name)
            continue;
        changes.push_back({r, latColumn, table_->item(r, latColumn)->text(), DegreesText(lat)});
        changes.push_back({r, latColumn + 1, table_->item(r, latColumn + 1)->text(), DegreesText(lon)});
    }
    if (changes.empty()) { // a mark no lap sails: it stays where the file has it
        changed();
        return;
    }
    pushChange(QStringLiteral("move ") + name, std::move(changes));
}

void CourseEditor::pushChange(const QString& what, std::vector<CellChange> changes)
{
    undoStack_->push(new CellsCommand(what, [this, changes = std::move(changes)](bool undo) {
        filling_ = true;
        for (const CellChange& change : changes)
            if (QTableWidgetItem* item = table_->item(change.Row, change.Column))
                item->setText(undo ? change.Before : change.After);
        filling_ = false;
        dirty_ = true;
        changed();
    }));
}

void CourseEditor::propose()
{
    if (!hooks_.propose)
        return;
    Course proposal;
    try {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        proposal = hooks_.propose();
        QApplication::restoreOverrideCursor();
    } catch (const std::exception& e) {
        QApplication::restoreOverrideCursor();
        say(LocalText(e.what()), true);
        return;
    }
    // The proposal has no finish line: the table's stays.
    const CourseRow finish = rows().back();
    kept_.clear();
    fill(proposal);
    setRowCells(table_->rowCount() - 1, finish);
    dirty_ = true;
    changed();
    if (!fault_)
        say(QStringLiteral("Proposed from the tracks: %1 marks and gates, %2 laps%3. Nothing is kept until you save.")
                .arg(proposal.Marks.size())
                .arg(proposal.Laps)
                .arg(proposal.Start ? QStringLiteral(", a start line") : QString()));
}

void CourseEditor::finishLineKept(const FinishLine& line)
{
    saved_.Finish = line;
    Course finishOnly;
    finishOnly.Finish = line;
    setRowCells(table_->rowCount() - 1, CourseRows(finishOnly).back());
    changed();
}

bool CourseEditor::save()
{
    const std::optional<Course> course = tableCourse();
    if (!course)
        return false;
    try {
        SaveCourse(raceFile_, *course);
    } catch (const std::exception& e) {
        dialogs_.tell(QStringLiteral("The course is not saved: %1").arg(LocalText(e.what())), MessageKind::Error);
        return false;
    }
    saved_ = *course;
    dirty_ = false;
    if (hooks_.saved)
        hooks_.saved(saved_);
    say(QStringLiteral("The course is kept in %1.")
            .arg(QDir::toNativeSeparators(QFile::decodeName(QByteArray::fromStdString(CourseFilePath(raceFile_))))));
    return true;
}

void CourseEditor::reject()
{
    if (dirty_) {
        switch (dialogs_.askToSave(
            QStringLiteral("Save the changes to the course of %1?").arg(LocalText(FileLabel(raceFile_))))) {
        case SaveAnswer::Save:
            if (!save())
                return;
            break;
        case SaveAnswer::Discard:
            dirty_ = false;
            break;
        case SaveAnswer::Cancel:
            return;
        }
    }
    release();
    QDialog::reject();
}

void CourseEditor::release()
{
    if (!view_)
        return;
    if (ReplayView* chart = view_->replayView()) {
        chart->dragBuoys(nullptr);
        chart->pickPositions(0, [](std::vector<std::pair<double, double>>) {});
    }
    view_->SetCourse(saved_ == Course{} ? std::nullopt : std::optional<Course>(saved_));
    view_ = nullptr;
}

} // namespace tideplot
