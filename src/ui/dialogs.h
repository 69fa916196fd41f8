#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>

class QWidget;

// The questions the windows ask and the things they tell the user, behind one small
// interface: the program answers with real dialogs, a test answers in code.
namespace tideplot {

enum class FileQuestion {
    Open,   // an open-file dialog that also takes the name of a file that does not exist yet
    Save,   // a save dialog, which asks before replacing a file
    Create, // a dialog for the name of a new file, or of one to start afresh ("Create")
};

// The answers to "Save the changes?".
enum class SaveAnswer { Save, Discard, Cancel };

enum class MessageKind { Information, Warning, Error, Plain };

// Shown while long work runs; the work reports how far it is.
class ProgressReport {
public:
    virtual ~ProgressReport() = default;
    virtual void setProgress(std::int64_t done, std::int64_t total) = 0;
    // The user asked to stop the work (a progress that can be cancelled).
    virtual bool cancelled() const { return false; }
};

enum class ProgressKind { Plain, Cancellable };

class UserDialogs {
public:
    virtual ~UserDialogs() = default;

    // The full path of the chosen file, or an empty text when the user cancels.
    // `filter` is "Description (*.EXT)", or several of them joined by ";;", matched without
    // regard to case. The dialog opens in `folder` (the process's current folder when empty).
    virtual QString askFileName(const QString& title, const QString& filter, FileQuestion question,
                                const QString& folder) = 0;

    // Several existing files to open at once (an empty list when the user cancels); by
    // default the one file askFileName gives.
    virtual QStringList askFileNames(const QString& title, const QString& filter, const QString& folder)
    {
        const QString name = askFileName(title, filter, FileQuestion::Open, folder);
        return name.isEmpty() ? QStringList() : QStringList{name};
    }

    // A form of text boxes, one for each of `labels`, holding `values` to begin with; the
    // texts when the user accepts it, nothing when the user cancels.
    virtual std::optional<QStringList> askTexts(const QString& title, const QString& text, const QStringList& labels,
                                                const QStringList& values) = 0;

    // Asks `question` ("Save the changes to race.TP1?") with Save, Discard and Cancel.
    virtual SaveAnswer askToSave(const QString& question) = 0;

    // Asks `question` with two buttons, `yes` and `no`; true for `yes`.
    virtual bool askYesNo(const QString& question, const QString& yes, const QString& no) = 0;

    // A message box titled "Tideplot1" with an OK button.
    virtual void tell(const QString& text, MessageKind kind) = 0;
    // The same for a plain message with more to read behind a "Show Details..." button.
    virtual void tellWithDetails(const QString& text, const QString& details)
    {
        (void)details;
        tell(text, MessageKind::Plain);
    }

    // A progress window for `label` that appears only when the work takes a while; with a
    // Cancel button when `kind` says so.
    virtual std::unique_ptr<ProgressReport> showProgress(const QString& label,
                                                         ProgressKind kind = ProgressKind::Plain) = 0;
};

// The real dialogs, modal over `parent`.
class WidgetDialogs : public UserDialogs {
public:
    explicit WidgetDialogs(QWidget* parent) : parent_(parent) {}
    QString askFileName(const QString& title, const QString& filter, FileQuestion question,
                        const QString& folder) override;
    QStringList askFileNames(const QString& title, const QString& filter, const QString& folder) override;
    std::optional<QStringList> askTexts(const QString& title, const QString& text, const QStringList& labels,
                                        const QStringList& values) override;
    SaveAnswer askToSave(const QString& question) override;
    bool askYesNo(const QString& question, const QString& yes, const QString& no) override;
    void tell(const QString& text, MessageKind kind) override;
    void tellWithDetails(const QString& text, const QString& details) override;
    std::unique_ptr<ProgressReport> showProgress(const QString& label, ProgressKind kind) override;

private:
    QWidget* parent_;
};

} // namespace tideplot
