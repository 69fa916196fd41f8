#include "ui/trackbrowser.h"

#include "core/error.h"
#include "core/linereader.h"
#include "ui/dialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <QStyle>
#include <QStyledItemDelegate>

namespace tideplot {

namespace {

using K = ControlKind;
constexpr ControlRow kBrowserRows[] = {
    {"Drive1", K::DriveList, 600, 2280, 2055, 315, "", "Select track file", 2},
    {"File1", K::FileList, 120, 5040, 2535, 5355, "", "Select track file", 4},
    {"Dir1", K::FolderList, 120, 2640, 2535, 2340, "", "Select track file", 3},
};

constexpr int kPathRole = Qt::UserRole;
constexpr int kDepthRole = Qt::UserRole + 1;

// Indents each folder by its depth below the root, as a folder list does.
class FolderDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem indented(option);
        indented.rect.adjust(kIndentPx * index.data(kDepthRole).toInt(), 0, 0, 0);
        QStyledItemDelegate::paint(painter, indented, index);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(kIndentPx * index.data(kDepthRole).toInt(), 0);
    }

private:
    static constexpr int kIndentPx = 8;
};

QString Native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

std::string TrackPreview(const std::string& path, int maxLines)
{
    LineReader reader(path);
    std::string text;
    for (int n = 0; n < maxLines && !reader.AtEnd(); ++n) {
        text += reader.ReadLine();
        text += "\r\n";
    }
    return text;
}

std::span<const ControlRow> TrackBrowser::Layout()
{
    return kBrowserRows;
}

TrackBrowser::TrackBrowser(QWidget* form, QPlainTextEdit* preview, UserDialogs& dialogs)
    : Drive1(new QComboBox(form)), File1(new QListWidget(form)), Dir1(new QListWidget(form)), preview_(preview),
      dialogs_(dialogs)
{
    Drive1->setObjectName(QStringLiteral("Drive1"));
    File1->setObjectName(QStringLiteral("File1"));
    Dir1->setObjectName(QStringLiteral("Dir1"));
    Drive1->setAccessibleName(QStringLiteral("Drives"));
    Dir1->setAccessibleName(QStringLiteral("Folders"));
    File1->setAccessibleName(QStringLiteral("Track files"));
    Dir1->setItemDelegate(new FolderDelegate(Dir1));
    File1->setSelectionMode(QAbstractItemView::SingleSelection);

    fillDrives();
    if (!openFolder(QDir::currentPath()))
        openFolder(QDir::rootPath());

    QObject::connect(Drive1, &QComboBox::activated, Drive1, [this] { Drive1_Change(); });
    QObject::connect(Dir1, &QListWidget::itemActivated, Dir1,
                     [this](QListWidgetItem* item) { openFolder(item->data(kPathRole).toString()); });
    QObject::connect(File1, &QListWidget::itemSelectionChanged, File1, [this] { File1_Click(); });
}

void TrackBrowser::fillDrives()
{
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        if (volume.isValid() && volume.isReady())
            roots << volume.rootPath();
    roots << QDir::rootPath();
    roots.removeDuplicates();
    roots.sort();
    for (const QString& root : roots)
        Drive1->addItem(Native(root), root);
}

void TrackBrowser::showDriveOf(const QString& path)
{
    QString root = QStorageInfo(path).rootPath();
    if (root.isEmpty())
        root = QDir::rootPath();
    int i = Drive1->findData(root);
    if (i < 0) {
        Drive1->addItem(Native(root), root);
        i = Drive1->count() - 1;
    }
    const QSignalBlocker quiet(Drive1);
    Drive1->setCurrentIndex(i);
}

void TrackBrowser::Drive1_Change()
{
    if (!openFolder(Drive1->currentData().toString()))
        showDriveOf(folder_);
}

bool TrackBrowser::openFolder(const QString& path)
{
    const QDir dir(path);
    if (!dir.exists() || !dir.isReadable()) {
        dialogs_.tell(QStringLiteral("The folder %1 cannot be read.").arg(Native(path)), MessageKind::Warning);
        return false;
    }
    const QString folder = QDir::cleanPath(dir.absolutePath());
    const QStringList subfolders = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);

    folder_ = folder;
    showDriveOf(folder_);

    const QSignalBlocker quiet(Dir1);
    Dir1->clear();
    const QIcon open = Dir1->style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = Dir1->style()->standardIcon(QStyle::SP_DirClosedIcon);
    QStringList chain; // the folder and its parents, root last
    for (QDir up(folder_);;) {
        chain << up.absolutePath();
        if (up.isRoot() || !up.cdUp())
            break;
    }
    int depth = 0;
    for (auto it = chain.crbegin(); it != chain.crend(); ++it, ++depth) {
        const QString name = depth == 0 ? Native(*it) : QDir(*it).dirName();
        auto* item = new QListWidgetItem(open, name, Dir1);
        item->setData(kPathRole, *it);
        item->setData(kDepthRole, depth);
    }
    Dir1->setCurrentRow(Dir1->count() - 1);
    for (const QString& sub : subfolders) {
        auto* item = new QListWidgetItem(closed, sub, Dir1);
        item->setData(kPathRole, dir.absoluteFilePath(sub));
        item->setData(kDepthRole, depth);
    }
    Dir1_Change();
    return true;
}

bool TrackBrowser::showFile(const QString& path)
{
    const QFileInfo file(path);
    if (!openFolder(file.absolutePath()))
        return false;
    const QList<QListWidgetItem*> found = File1->findItems(file.fileName(), Qt::MatchExactly);
    if (found.isEmpty())
        return false;
    File1->setCurrentItem(found.constFirst());
    File1->scrollToItem(found.constFirst());
    return true;
}

void TrackBrowser::Dir1_Change()
{
    const QDir dir(folder_);
    const QSignalBlocker quiet(File1);
    File1->clear();
    // The instruments' wind files that an import writes beside track files are no tracks.
    QStringList tracks = dir.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    tracks.removeIf([](const QString& name) { return name.endsWith(QLatin1String(".wind.txt"), Qt::CaseInsensitive); });
    File1->addItems(tracks);
    File1->setCurrentRow(-1);
}

QString TrackBrowser::folderPath() const
{
    return Native(folder_);
}

QString TrackBrowser::selectedFileName() const
{
    const QList<QListWidgetItem*> selected = File1->selectedItems();
    return selected.isEmpty() ? QString() : selected.constFirst()->text();
}

void TrackBrowser::File1_Click()
{
    const QString name = selectedFileName();
    if (name.isEmpty())
        return;
    preview_->clear();
    const QString path = QDir(folder_).filePath(name);
    try {
        const std::string text = TrackPreview(QFile::encodeName(path).toStdString());
        if (text.empty()) {
            dialogs_.tell(QStringLiteral("The track file %1 is empty.").arg(Native(path)), MessageKind::Warning);
            return;
        }
        // The box shows the lines; each one ends in CR LF in the file's preview text.
        QString shown = QString::fromLocal8Bit(text);
        shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        preview_->setPlainText(shown);
    } catch (const Error& e) {
        dialogs_.tell(QString::fromLocal8Bit(e.what()), MessageKind::Warning);
    }
}

} // namespace tideplot
