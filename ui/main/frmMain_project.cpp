#include "ui/main/frmMain.h"

#include "platform/system.h"
#include "project/projectfile.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>

namespace kelbo {

void frmMain::connectProjectCommands()
{
    connect(mnuFileNPrj, &QAction::triggered, this, &frmMain::mnuFileNPrj_Click);
    connect(mnuFileOPrj, &QAction::triggered, this, &frmMain::mnuFileOPrj_Click);
    connect(mnuFileSavePrj, &QAction::triggered, this, &frmMain::mnuFileSavePrj_Click);
}

void frmMain::mnuFileNPrj_Click()
{
    const MsgResult answer = m_services.messageBox(
        {QStringLiteral("Etes vous sur de créer un nouveau projet ?"),
         QStringLiteral("Nouveau projet"), MsgIcon::Question, MsgButtons::YesNo});
    if (answer != MsgResult::Yes)
        return;
    resetToDefaults(settingsFields());
    m_files->clear();
    picPre->surface().clearPicture();
    picMini->surface().clearPicture();
}

void frmMain::mnuFileOPrj_Click()
{
    const QString path = m_services.showOpen(
        {QStringLiteral("Ouvrir un projet AVI"), kProjectFilter, QString()});
    if (path.isEmpty()) {
        selectTab(1);
        return;
    }
    openProjectFile(path);
}

bool frmMain::openProjectFile(const QString &path)
{
    const auto cannotRead = [&] {
        m_services.message(QStringLiteral("Impossible de lire le projet :\n") + path, app::title(),
                           MsgIcon::Critical);
        return false;
    };
    // A name typed into the dialog for a file that does not exist changes nothing.
    const QFileInfo info(path);
    if (!info.exists())
        return false;
    // Only a regular file of a project's size is read: a pipe or a device would block or never
    // end, and a huge file is no project.
    if (!info.isFile() || info.size() > kMaxProjectFileBytes)
        return cannotRead();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return cannotRead();
    const QByteArray bytes = file.readAll();
    const bool readWhole = file.error() == QFileDevice::NoError;
    file.close();
    if (!readWhole)
        return cannotRead();
    const AppliedProject applied =
        applyProjectLines(splitProjectLines(decodeProjectBytes(bytes)), settingsFields(), *m_files);
    if (!applied.complete)
        return false;
    if (applied.refused > 0)
        m_services.message(imageListFullMessage()
                               + QStringLiteral("\n%1 images du projet n'ont pas été ajoutées.").arg(applied.refused),
                           app::title(), MsgIcon::Exclamation);
    selectTab(1);
    return true;
}

void frmMain::mnuFileSavePrj_Click()
{
    const QString path = m_services.showSave(
        {QStringLiteral("Enregistrer le projet sous"), kProjectFilter, QString()});
    if (path.isEmpty())
        return;
    QStringList entries;
    for (int i = 1; i <= m_files->count(); ++i)
        entries << m_files->text(i);
    const QString text = composeProjectText(m_fps->text(), m_width->text(), m_height->text(), entries);
    if (!writeProjectFile(path, text))
        m_services.message(QStringLiteral("Impossible d'enregistrer le projet :\n") + path,
                           app::title(), MsgIcon::Critical);
}

} // namespace kelbo
