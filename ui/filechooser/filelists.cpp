#include "ui/filechooser/filelists.h"

#include "platform/naturalorder.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <QStyle>

#include <algorithm>

namespace kelbo {

namespace {

QString cleanFolder(const QString &path)
{
    return QDir::cleanPath(QDir(path).absolutePath());
}

bool isFolder(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() && info.isDir();
}

QStringList sortedEntries(const QString &folder, const QStringList &nameFilters, QDir::Filters filters)
{
    QDir dir(folder);
    dir.setNameFilters(nameFilters);
    dir.setFilter(filters);
    dir.setSorting(QDir::Unsorted);
    QStringList names = dir.entryList();
    sortNaturally(names); // img2 before img10
    return names;
}

} // namespace

// --- DriveListBox

DriveListBox::DriveListBox(QWidget *parent) : QComboBox(parent)
{
    setEditable(false);
    refresh();
    connect(this, &QComboBox::currentIndexChanged, this, &DriveListBox::driveChanged);
}

void DriveListBox::refresh()
{
    const QString kept = drive();
    QList<QStorageInfo> volumes;
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        // Single files mounted into place (as in containers) are not drives.
        if (volume.isValid() && volume.isReady() && isFolder(volume.rootPath()))
            volumes << volume;
    }
    std::sort(volumes.begin(), volumes.end(), [](const QStorageInfo &a, const QStorageInfo &b) {
        return a.rootPath() < b.rootPath();
    });

    const QSignalBlocker blocker(this);
    clear();
    for (const QStorageInfo &volume : volumes) {
        if (findData(volume.rootPath()) >= 0)
            continue;
        const QString name = volume.name();
        addItem(name.isEmpty() ? volume.rootPath() : volume.rootPath() + QStringLiteral(" [") + name + QLatin1Char(']'),
                volume.rootPath());
    }
    if (!kept.isEmpty())
        showVolumeOf(kept);
}

QString DriveListBox::drive() const
{
    return currentData().toString();
}

void DriveListBox::showVolumeOf(const QString &path)
{
    const QStorageInfo volume(path);
    const QString root = volume.isValid() ? volume.rootPath() : QStringLiteral("/");
    const QSignalBlocker blocker(this);
    int index = findData(root);
    if (index < 0) {
        addItem(root, root);
        index = count() - 1;
    }
    setCurrentIndex(index);
}

// --- DirListBox

DirListBox::DirListBox(QWidget *parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemActivated, this, [this](QListWidgetItem *item) {
        setPath(item->data(Qt::UserRole).toString());
    });
}

bool DirListBox::setPath(const QString &path)
{
    if (path.isEmpty() || !isFolder(path))
        return false;
    const QString clean = cleanFolder(path);
    if (clean == m_path)
        return true;
    m_path = clean;
    fill();
    Q_EMIT pathChanged();
    return true;
}

void DirListBox::refresh()
{
    QString path = m_path;
    while (!isFolder(path) && path != QDir::rootPath())
        path = QFileInfo(path).path();
    if (path != m_path)
        setPath(path);
    else
        fill();
}

void DirListBox::fill()
{
    const QSignalBlocker blocker(this);
    clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);

    // The chain of folders from the root down to the current one.
    QStringList chain;
    for (QString p = m_path;; p = QFileInfo(p).path()) {
        chain.prepend(p);
        if (QDir(p).isRoot() || QFileInfo(p).path() == p)
            break;
    }
    int level = 0;
    for (const QString &folder : chain) {
        const QString name = QDir(folder).isRoot() ? folder : QFileInfo(folder).fileName();
        auto *item = new QListWidgetItem(open, QString(level * 2, QLatin1Char(' ')) + name, this);
        item->setData(Qt::UserRole, folder);
        ++level;
    }
    QListWidgetItem *currentItem = item(count() - 1);

    const QString base = m_path.endsWith(QLatin1Char('/')) ? m_path : m_path + QLatin1Char('/');
    for (const QString &name : sortedEntries(m_path, {}, QDir::Dirs | QDir::NoDotAndDotDot)) {
        auto *item = new QListWidgetItem(closed, QString(level * 2, QLatin1Char(' ')) + name, this);
        item->setData(Qt::UserRole, base + name);
    }
    setCurrentItem(currentItem);
}

// --- FileListBox

FileListBox::FileListBox(QWidget *parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
}

void FileListBox::setPath(const QString &path)
{
    m_path = path;
    fill({}, {});
}

void FileListBox::setPattern(const QString &pattern)
{
    m_pattern = pattern;
    fill({}, {});
}

void FileListBox::refresh()
{
    fill(selectedNames(), currentItem() ? currentItem()->text() : QString());
}

QStringList FileListBox::selectedNames() const
{
    QStringList names;
    for (int row = 0; row < count(); ++row) {
        if (item(row)->isSelected())
            names << item(row)->text();
    }
    return names;
}

void FileListBox::fill(const QStringList &keepSelected, const QString &keepCurrent)
{
    const QSignalBlocker blocker(this);
    clear();
    if (m_path.isEmpty())
        return;
    QStringList filters;
    for (const QString &piece : m_pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString trimmed = piece.trimmed();
        if (!trimmed.isEmpty())
            filters << trimmed;
    }
    addItems(sortedEntries(m_path, filters, QDir::Files));
    for (int row = 0; row < count(); ++row) {
        QListWidgetItem *entry = item(row);
        if (entry->text() == keepCurrent)
            setCurrentItem(entry, QItemSelectionModel::NoUpdate);
        if (keepSelected.contains(entry->text()))
            entry->setSelected(true);
    }
}

} // namespace kelbo
