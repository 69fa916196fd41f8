#include "ui/dialogs.h"

#include "ui/settings.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QVBoxLayout>

namespace tideplot {

QString WidgetDialogs::askFileName(const QString& title, const QString& filter, FileQuestion question,
                                   const QString& folder)
{
    QFileDialog dialog(parent_, title, folder, filter);
    // Qt's own dialog matches the filters without regard to case (TRACK.TP1 and race.tp1);
    // some desktops' dialogs would not.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(question == FileQuestion::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    if (question == FileQuestion::Create) {
        // A new race may take the name of an existing file: it is kept until the next Save.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Create"));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QStringList WidgetDialogs::askFileNames(const QString& title, const QString& filter, const QString& folder)
{
    QFileDialog dialog(parent_, title, folder, filter);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

std::optional<QStringList> WidgetDialogs::askTexts(const QString& title, const QString& text, const QStringList& labels,
                                                   const QStringList& values)
{
    QDialog dialog(parent_);
    dialog.setWindowTitle(title);
    auto* layout = new QVBoxLayout(&dialog);
    auto* said = new QLabel(text, &dialog);
    said->setWordWrap(true);
    layout->addWidget(said);
    auto* form = new QFormLayout;
    std::vector<QLineEdit*> boxes;
    for (qsizetype i = 0; i < labels.size(); ++i) {
        auto* box = new QLineEdit(values.value(i), &dialog);
        auto* label = new QLabel(labels[i], &dialog);
        label->setBuddy(box); // names the box for screen readers
        form->addRow(label, box);
        boxes.push_back(box);
    }
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    QStringList texts;
    for (QLineEdit* box : boxes)
        texts << box->text();
    return texts;
}

SaveAnswer WidgetDialogs::askToSave(const QString& question)
{
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kProgramTitle), question,
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent_);
    box.setDefaultButton(QMessageBox::Save);
    switch (box.exec()) {
    case QMessageBox::Save:
        return SaveAnswer::Save;
    case QMessageBox::Discard:
        return SaveAnswer::Discard;
    default:
        return SaveAnswer::Cancel;
    }
}

bool WidgetDialogs::askYesNo(const QString& question, const QString& yes, const QString& no)
{
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(kProgramTitle), question, QMessageBox::NoButton,
                    parent_);
    QPushButton* yesButton = box.addButton(yes, QMessageBox::YesRole);
    box.addButton(no, QMessageBox::NoRole);
    box.setDefaultButton(yesButton);
    box.exec();
    return box.clickedButton() == yesButton;
}

void WidgetDialogs::tell(const QString& text, MessageKind kind)
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (kind) {
    case MessageKind::Information:
        icon = QMessageBox::Information;
        break;
    case MessageKind::Warning:
        icon = QMessageBox::Warning;
        break;
    case MessageKind::Error:
        icon = QMessageBox::Critical;
        break;
    case MessageKind::Plain:
        break;
    }
    QMessageBox box(icon, QString::fromLatin1(kProgramTitle), text, QMessageBox::Ok, parent_);
    box.exec();
}

void WidgetDialogs::tellWithDetails(const QString& text, const QString& details)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kProgramTitle), text, QMessageBox::Ok, parent_);
    box.setDetailedText(details);
    box.exec();
}

namespace {

class DialogProgress : public ProgressReport {
public:
    DialogProgress(QWidget* parent, const QString& label, ProgressKind kind)
        : dialog_(label, QStringLiteral("Cancel"), 0, kSteps, parent)
    {
        dialog_.setWindowTitle(QString::fromLatin1(kProgramTitle));
        dialog_.setWindowModality(Qt::WindowModal);
        if (kind == ProgressKind::Plain)
            dialog_.setCancelButton(nullptr);
        dialog_.setMinimumDuration(400);
        dialog_.setAutoClose(false);
        dialog_.setValue(0);
    }
    void setProgress(std::int64_t done, std::int64_t total) override
    {
        if (total <= 0)
            return;
        const auto steps = static_cast<int>(std::min<std::int64_t>(done, total) * kSteps / total);
        if (steps != dialog_.value())
            dialog_.setValue(steps); // a modal progress dialog keeps the windows painted
    }
    bool cancelled() const override { return dialog_.wasCanceled(); }

private:
    static constexpr int kSteps = 1000;
    QProgressDialog dialog_;
};

} // namespace

std::unique_ptr<ProgressReport> WidgetDialogs::showProgress(const QString& label, ProgressKind kind)
{
    return std::make_unique<DialogProgress>(parent_, label, kind);
}

} // namespace tideplot
