#pragma once
// The drive, folder and file lists of the chooser, built on Qt widgets. Each list fills
// itself at once from the file system (no background thread), so that what it shows is
// settled as soon as its path or pattern is set.

#include <QComboBox>
#include <QListWidget>

namespace kelbo {

// The mounted volumes of the machine, by their root folder ("/", "/media/me/USB" ...).
class DriveListBox : public QComboBox {
    Q_OBJECT
public:
    explicit DriveListBox(QWidget *parent = nullptr);

    // Lists the mounted volumes again, keeping the chosen one when it is still mounted.
    void refresh();
    // The root folder of the chosen volume.
    QString drive() const;
    // Chooses the volume that holds `path`, without the change notification.
    void showVolumeOf(const QString &path);

Q_SIGNALS:
    // The user chose another volume.
    void driveChanged();
};

// The folder list: the folders from the root down to the current one, each one level further
// in, then the sub-folders of the current one. Activating an entry (double click, Enter)
// makes it the current folder; a single click only highlights it.
class DirListBox : public QListWidget {
    Q_OBJECT
public:
    explicit DirListBox(QWidget *parent = nullptr);

    // The current folder: absolute, no trailing "/" except for the root.
    QString path() const { return m_path; }
    // Makes `path` the current folder and notifies a change when it differs. A path that is
    // not an existing folder is refused (returns false).
    bool setPath(const QString &path);
    // Reads the folders again; a current folder that has gone is replaced by its nearest
    // existing parent.
    void refresh();

Q_SIGNALS:
    void pathChanged();

private:
    void fill();
    QString m_path;
};

// The names of the files of one folder that match a pattern list ("*.bmp;*.gif"), sorted by
// name; hidden files are left out and the patterns ignore case, as on the desktop's own
// dialogs. The selection is extended: click, Shift+click and Ctrl+click.
class FileListBox : public QListWidget {
    Q_OBJECT
public:
    explicit FileListBox(QWidget *parent = nullptr);

    QString path() const { return m_path; }
    QString pattern() const { return m_pattern; }
    // Each change fills the list again, with no entry selected.
    void setPath(const QString &path);
    void setPattern(const QString &pattern);
    // Reads the folder again, keeping the selected and the current names that are still there.
    void refresh();

    // The names of the selected entries, from the top of the list to the bottom.
    QStringList selectedNames() const;

private:
    void fill(const QStringList &keepSelected, const QString &keepCurrent);
    QString m_path;
    QString m_pattern;
};

} // namespace kelbo
