#include "ui/main/frmMain.h"

#include "project/project.h"
#include "project/projectfile.h"

#include <QAction>

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
    if (openProject(path, projectParts(), m_services) != OpenOutcome::Opened)
        return false;
    selectTab(1);
    return true;
}

void frmMain::mnuFileSavePrj_Click()
{
    // The dialog adds ".kelbo" to a name typed without an extension.
    const QString path = m_services.showSave(
        {QStringLiteral("Enregistrer le projet sous"), kProjectFilter, QString(), QStringLiteral("kelbo")});
    if (path.isEmpty())
        return;
    (void)saveProject(path, projectParts(), m_services);
}

} // namespace kelbo
