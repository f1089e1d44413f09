#include "ui/filechooser/frmFile.h"

#include "frame/fitpicture.h"
#include "frame/pictureformats.h"
#include "platform/system.h"
#include "project/chosenfiles.h"
#include "ui/filechooser/filelists.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QShowEvent>

namespace kelbo {

namespace {

// The layout is given in twips, 15 to the pixel.
QRect twips(int left, int top, int width, int height)
{
    return {left / 15, top / 15, width / 15, height / 15};
}

template <typename W>
W *place(W *widget, const QRect &rect)
{
    widget->setGeometry(rect);
    return widget;
}

// The picture of `path` at `size`, upright and stretched on each axis; a null image when the
// file cannot be decoded. Large JPEG pictures are decoded straight at the reduced size.
QImage stretchedPicture(const QString &path, QSize size)
{
    Surface scratch;
    Surface target(size);
    if (!FitPicture(path, scratch, target))
        return {};
    return target.image();
}

} // namespace

const QStringList &frmFile::patterns()
{
    static const QStringList list = [] {
        QStringList l{QStringLiteral("*.bmp;*.gif;*.jpg;*.jpeg"), QStringLiteral("*.gif"), QStringLiteral("*.jpg"),
                      QStringLiteral("*.jpeg"), QStringLiteral("*.bmp")};
        QStringList others;
        for (const QString &suffix : otherPictureSuffixes())
            others << QStringLiteral("*.") + suffix;
        if (!others.isEmpty())
            l << QStringLiteral("Autres images (") + others.join(QLatin1Char(';')) + QLatin1Char(')');
        return l;
    }();
    return list;
}

frmFile::frmFile(Services &services, QWidget *parent)
    : QDialog(parent), m_services(services)
{
    setObjectName(QStringLiteral("frmFile"));
    setWindowTitle(QStringLiteral("Choix des fichiers"));
    // A fixed tool window: no resizing, no minimize or maximize button, not in the taskbar.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSizeF(8.25);
    font.setStretch(90); // as in the main window: the classic 8-point face is narrower
    setFont(font);
    setFixedSize(5880 / 15, 3030 / 15);

    cmbList = place(new QComboBox(this), twips(120, 120, 2175, 315));
    cmbList->setEditable(false);
    cmbList->addItems(patterns());

    File1 = place(new FileListBox(this), twips(120, 480, 2175, 2430));
    File1->setPattern(QStringLiteral("*.jpg; *.bmp; *.gif"));

    Dir1 = place(new DirListBox(this), twips(2400, 120, 2175, 2340));
    Drive1 = place(new DriveListBox(this), twips(2400, 2640, 2175, 315));

    cmdOk = place(new QPushButton(QStringLiteral("&Ok"), this), twips(4680, 120, 1095, 375));
    cmdCan = place(new QPushButton(QStringLiteral("&Annuler"), this), twips(4680, 480, 1095, 375));
    // Enter opens a folder of the folder list; it must not confirm the dialog as well.
    for (QPushButton *b : {cmdOk, cmdCan}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    imgPre = place(new QLabel(this), twips(4680, 960, 1095, 855));
    imgPre->setScaledContents(true);

    connect(cmbList, &QComboBox::currentIndexChanged, this, &frmFile::cmbList_Click);
    connect(Drive1, &DriveListBox::driveChanged, this, &frmFile::Drive1_Change);
    connect(Dir1, &DirListBox::pathChanged, this, &frmFile::Dir1_Change);
    connect(File1, &QListWidget::currentRowChanged, this, &frmFile::File1_Click);
    connect(cmdOk, &QPushButton::clicked, this, &frmFile::cmdOK_Click);
    connect(cmdCan, &QPushButton::clicked, this, &frmFile::cmdCan_Click);

    // The folder list starts at the process's current folder, the drive list at its volume.
    Dir1->setPath(QDir::currentPath());
}

frmFile::~frmFile() = default;

void frmFile::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    if (!m_loaded) {
        m_loaded = true;
        Form_Load();
        return;
    }
    // Showing again: what was mounted, created or deleted meanwhile shows, and the volume,
    // folder, filter and selection stay as the user left them.
    Drive1->refresh();
    Dir1->refresh();
    File1->refresh();
}

void frmFile::Form_Load()
{
    {
        const QSignalBlocker blocker(cmbList);
        cmbList->setCurrentIndex(0);
    }
    cmbList_Click(); // choosing the first item is a click, also when it was chosen already
}

void frmFile::cmbList_Click()
{
    // "Autres images (*.png;*.tif)" filters by what stands between its parentheses.
    QString pattern = cmbList->currentText();
    const qsizetype open = pattern.indexOf(QLatin1Char('('));
    if (open >= 0 && pattern.endsWith(QLatin1Char(')')))
        pattern = pattern.mid(open + 1, pattern.size() - open - 2);
    File1->setPattern(pattern);
}

void frmFile::Drive1_Change()
{
    const QString root = Drive1->drive();
    if (!Dir1->setPath(root)) {
        m_services.message(QStringLiteral("Le lecteur « %1 » n'est pas accessible.").arg(root),
                           app::title(), MsgIcon::Exclamation);
        Drive1->showVolumeOf(Dir1->path());
    }
}

void frmFile::Dir1_Change()
{
    imgPre->clear(); // the preview belonged to the folder left
    File1->setPath(Dir1->path());
    Drive1->showVolumeOf(Dir1->path());
}

void frmFile::File1_Click()
{
    const QListWidgetItem *entry = File1->currentItem();
    if (!entry)
        return;
    QString path = Dir1->path();
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    path += entry->text();
    // A file that cannot be decoded leaves the box empty rather than showing another picture.
    const QImage picture = stretchedPicture(path, imgPre->size());
    if (picture.isNull())
        imgPre->clear();
    else
        imgPre->setPixmap(QPixmap::fromImage(picture));
}

void frmFile::cmdOK_Click()
{
    mFile = packChosenFiles(Dir1->path(), File1->selectedNames());
    mOk = true;
    hide();
}

void frmFile::cmdCan_Click()
{
    mOk = false;
    hide();
}

void frmFile::reject()
{
    cmdCan_Click();
}

} // namespace kelbo
