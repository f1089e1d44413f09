#include "ui/main/frmMain.h"

#include "frame/fitpicture.h"
#include "frame/pictureformats.h"
#include "platform/numbers.h"
#include "platform/system.h"
#include "project/imagelist.h"
#include "project/listedit.h"
#include "ui/main/busycursor.h"

#include <QAction>
#include <QActionGroup>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScrollBar>
#include <QSettings>
#include <QTreeWidget>
#include <QUrl>

#include <algorithm>

namespace kelbo {

namespace {

const QString kFitKey = QStringLiteral("Cadrage");

QSettings userSettings()
{
    return QSettings(QStringLiteral("Kelbo"), QStringLiteral("Kelbo"));
}

// The local files and folders a drag carries.
QStringList droppedPaths(const QMimeData *data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl &url : data->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    return paths;
}

} // namespace

void frmMain::buildPictureMenus()
{
    QMenu *mnuFit = menuBar()->addMenu(QStringLiteral("Cadrage"));
    mnuFit->setObjectName(QStringLiteral("mnuFit"));
    auto *group = new QActionGroup(mnuFit);
    group->setExclusive(true);
    const auto entry = [&](const QString &text, const QString &tip) {
        QAction *action = mnuFit->addAction(text);
        action->setCheckable(true);
        action->setStatusTip(tip);
        group->addAction(action);
        return action;
    };
    mnuFitStretch = entry(QStringLiteral("Étirer"), QStringLiteral("L'image remplit le cadre, déformée s'il le faut"));
    mnuFitLetterbox = entry(QStringLiteral("Bandes noires"),
                            QStringLiteral("L'image entière, proportions gardées, sur fond noir"));
    mnuFitCrop = entry(QStringLiteral("Recadrer"),
                       QStringLiteral("Le cadre rempli, proportions gardées, ce qui dépasse est coupé"));
    const std::optional<FrameFit> saved = frameFitFromName(userSettings().value(kFitKey).toString());
    m_fit = saved.value_or(FrameFit::Stretch);
    (m_fit == FrameFit::Letterbox ? mnuFitLetterbox : m_fit == FrameFit::Crop ? mnuFitCrop : mnuFitStretch)
        ->setChecked(true);

    QMenu *mnuList = menuBar()->addMenu(QStringLiteral("Liste"));
    mnuList->setObjectName(QStringLiteral("mnuList"));
    mnuListRepeat = mnuList->addAction(QStringLiteral("Répéter l'image…"));
}

void frmMain::connectPictures()
{
    connect(mnuFitStretch, &QAction::triggered, this, [this] { setFrameFit(FrameFit::Stretch); });
    connect(mnuFitLetterbox, &QAction::triggered, this, [this] { setFrameFit(FrameFit::Letterbox); });
    connect(mnuFitCrop, &QAction::triggered, this, [this] { setFrameFit(FrameFit::Crop); });
    connect(mnuListRepeat, &QAction::triggered, this, &frmMain::mnuListRepeat_Click);
    // The list's own menu offers the same command.
    lvwFiles->setContextMenuPolicy(Qt::ActionsContextMenu);
    lvwFiles->addAction(mnuListRepeat);
    // Files dropped anywhere on the window, the list included, are added.
    setAcceptDrops(true);
    lvwFiles->setAcceptDrops(false);
}

void frmMain::setFrameFit(FrameFit fit)
{
    m_fit = fit;
    (fit == FrameFit::Letterbox ? mnuFitLetterbox : fit == FrameFit::Crop ? mnuFitCrop : mnuFitStretch)
        ->setChecked(true);
    userSettings().setValue(kFitKey, frameFitName(fit));
    // The preview shows the new framing at once.
    if (m_files->count() > 0 && slPre->isEnabled())
        slPre_Change();
}

void frmMain::dragEnterEvent(QDragEnterEvent *event)
{
    if (!m_exporting && !droppedPaths(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void frmMain::dropEvent(QDropEvent *event)
{
    const QStringList paths = droppedPaths(event->mimeData());
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    dropPictures(paths);
}

void frmMain::dropPictures(const QStringList &paths)
{
    if (m_exporting) {
        m_services.message(QStringLiteral("Une vidéo est en cours d'enregistrement : les images ne peuvent "
                                          "pas être ajoutées maintenant."),
                           app::title(), MsgIcon::Exclamation);
        return;
    }
    DroppedPictures dropped;
    qsizetype added = 0;
    {
        const BusyCursor busy;
        // The rule of adding: usable at the largest frame, cropped.
        dropped = picturesFromDrop(paths, largestFrameSize(), FrameFit::Crop);
        const int room = std::max(0, kMaxImageEntries - m_files->count());
        added = std::min<qsizetype>(room, dropped.pictures.size());
        for (qsizetype i = 0; i < added; ++i)
            m_files->add(dropped.pictures[i]);
        if (added > 0) {
            m_files->select(m_files->count());
            drawThumbnail(m_files->text(m_files->count()));
            updateSliderMaximum();
            slPre->setEnabled(true);
        }
    }
    if (!dropped.leftOut.isEmpty())
        m_services.message(leftOutText(dropped.leftOut), app::title(), MsgIcon::Exclamation);
    if (added < dropped.pictures.size())
        m_services.message(imageListFullMessage()
                               + QStringLiteral("\n%1 images n'ont pas été ajoutées.").arg(dropped.pictures.size() - added),
                           app::title(), MsgIcon::Exclamation);
}

void frmMain::mnuListRepeat_Click()
{
    const int position = m_files->selected();
    if (position < 1) {
        m_services.message(QStringLiteral("Choisissez d'abord dans la liste l'image à répéter."), app::title(),
                           MsgIcon::Information);
        return;
    }
    const std::optional<QString> answer = m_services.inputText(
        {QStringLiteral("Répéter l'image"),
         QStringLiteral("Durée à l'écran, en secondes, de l'image :\n") + m_files->text(position),
         QStringLiteral("2")});
    if (!answer)
        return;
    const std::optional<double> seconds = numberValue(*answer);
    if (!seconds || !(*seconds > 0) || *seconds > 3600) {
        m_services.message(QStringLiteral("La durée doit être un nombre de secondes supérieur à 0 et d'au plus "
                                          "une heure : « %1 ».").arg(*answer),
                           app::title(), MsgIcon::Exclamation);
        return;
    }
    const int copies = repeatCount(*seconds, framesPerSecond(m_fps->text()));
    const int inserted = insertCopies(*m_files, position, copies, kMaxImageEntries);
    updateSliderMaximum();
    if (inserted < copies)
        m_services.message(imageListFullMessage()
                               + QStringLiteral("\n%1 copies sur %2 ont été ajoutées.").arg(inserted).arg(copies),
                           app::title(), MsgIcon::Exclamation);
}

} // namespace kelbo
