#include "ui/main/frmMain.h"

#include "frame/fitpicture.h"
#include "frame/picturecheck.h"
#include "frame/pictureformats.h"
#include "platform/system.h"
#include "project/chosenfiles.h"
#include "project/imagelist.h"
#include "ui/filechooser/frmFile.h"
#include "ui/main/busycursor.h"

#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTreeWidget>

#include <algorithm>

namespace kelbo {

namespace {

// A picture joins the list when it can be exported at every frame size and framing the
// settings allow: the largest frame, filled by cropping, asks the most of its decoding. A
// photograph of 48 megapixels is decoded at a reduced scale there, as the export will.
PictureCheck checkForList(const QString &path)
{
    return checkPicture(path, largestFrameSize(), FrameFit::Crop);
}

} // namespace

void frmMain::connectListEditing()
{
    connect(cmdAdd, &QPushButton::clicked, this, &frmMain::cmdAdd_Click);
    connect(cmdAddM, &QPushButton::clicked, this, &frmMain::cmdAddM_Click);
    connect(cmdRem, &QPushButton::clicked, this, &frmMain::cmdRem_Click);
    connect(cmdClear, &QPushButton::clicked, this, &frmMain::cmdClear_Click);
    connect(cmdUp, &QPushButton::clicked, this, &frmMain::cmdUp_Click);
    connect(cmdDown, &QPushButton::clicked, this, &frmMain::cmdDown_Click);
    connect(lvwFiles, &QTreeWidget::itemClicked, this, &frmMain::lvwFiles_Click);
}

frmFile &frmMain::chooser()
{
    if (!m_chooser)
        m_chooser = new frmFile(m_services, this);
    return *m_chooser;
}

bool frmMain::refuseFullList()
{
    if (m_files->count() < kMaxImageEntries)
        return false;
    const CursorLifted lifted;
    m_services.message(imageListFullMessage(), app::title(), MsgIcon::Exclamation);
    return true;
}

bool frmMain::appendPicture(const QString &path, int notReached)
{
    // The header tells whether the picture can be used, without decoding it.
    if (checkForList(path).problem != PictureProblem::None) {
        // Nothing is added; say why rather than leave the user wondering, and say how many
        // chosen files the stop leaves out.
        QString text = QStringLiteral("Impossible de lire l'image :\n") + path
            + QStringLiteral("\nElle n'a pas été ajoutée à la liste.");
        if (notReached == 1)
            text += QStringLiteral("\nLe fichier choisi après elle n'a pas été ajouté non plus.");
        else if (notReached > 1)
            text += QStringLiteral("\nLes %1 fichiers choisis après elle n'ont pas été ajoutés non plus.")
                        .arg(notReached);
        const CursorLifted lifted;
        m_services.message(text, app::title(), MsgIcon::Exclamation);
        return false;
    }
    m_files->add(path);
    m_files->select(m_files->count());
    return true;
}

bool frmMain::drawThumbnail(const QString &path)
{
    if (!FitPicture(path, picTemp->surface(), picMini->surface()))
        return false;
    picMini->surface().refresh();
    return true;
}

void frmMain::updateSliderMaximum()
{
    // The minimum stays 1: an empty list keeps the maximum at 1 (the slider is then disabled
    // or shows no entry), and a longer list than the slider can carry stops at its end.
    slPre->setMaximum(std::clamp(m_files->count(), 1, kMaxImageEntries));
}

void frmMain::cmdAdd_Click()
{
    if (refuseFullList())
        return;
    const QString name = m_services.showOpen(
        {QStringLiteral("Ajouter une image à la liste"),
         QStringLiteral("Tous les fichiers images|*.bmp;*.gif;*.jpg;*.jpeg|Bitmaps (*.bmp)|*.bmp|"
                        "GIF (*.gif)|*.gif|JPEG (*.jpg, *.jpeg)|*.jpg;*.jpeg|")
             + otherPicturesFilter(),
         QString()});
    if (name.isEmpty() || !FileExists(name))
        return;
    const BusyCursor busy;
    if (!appendPicture(name))
        return;
    drawThumbnail(name);
    updateSliderMaximum();
}

void frmMain::cmdAddM_Click()
{
    if (refuseFullList())
        return;
    frmFile &dialog = chooser();
    m_services.showModal(dialog);
    if (!dialog.mOk || dialog.mFile.isEmpty())
        return;
    // Every name comes back whole, blanks included, with the long form of its folder.
    const ChosenFiles chosen = unpackChosenFiles(dialog.mFile);
    const BusyCursor busy;
    // Each entry is checked by its header; the thumbnail, which shows the last one added, is
    // decoded once, at the end.
    QString last;
    const auto showLast = qScopeGuard([&] {
        if (!last.isEmpty())
            drawThumbnail(last);
    });
    for (qsizetype i = 0; i < chosen.paths.size(); ++i) {
        const QString &path = chosen.paths.at(i);
        if (!FileExists(path))
            continue;
        if (refuseFullList())
            break;
        // A file that cannot be decoded ends the operation: the entries added before it stay,
        // the files chosen after it are not added.
        if (!appendPicture(path, int(chosen.paths.size() - 1 - i)))
            return;
        last = path;
    }
    updateSliderMaximum();
}

void frmMain::cmdRem_Click()
{
    const int position = m_files->selected();
    if (position == 0)
        return;
    m_files->remove(position);
    // A position beyond the new maximum is pulled back to it, which draws that frame.
    updateSliderMaximum();
    if (m_files->count() == 0)
        slPre->setEnabled(false);
}

void frmMain::cmdClear_Click()
{
    m_files->clear();
}

void frmMain::cmdUp_Click()
{
    const int position = m_files->selected();
    if (position <= 1)
        return;
    const QString text = m_files->text(position);
    m_files->remove(position);
    m_files->insert(position - 1, text);
    m_files->select(position - 1);
}

void frmMain::cmdDown_Click()
{
    const int position = m_files->selected();
    if (position == 0 || position == m_files->count())
        return;
    const QString text = m_files->text(position);
    m_files->remove(position);
    m_files->insert(position + 1, text);
    m_files->select(position + 1);
}

void frmMain::lvwFiles_Click()
{
    const int position = m_files->selected();
    if (position == 0)
        return;
    const QString path = m_files->text(position);
    if (FileExists(path))
        drawThumbnail(path);
}

} // namespace kelbo
