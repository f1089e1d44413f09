#include "project/project.h"

#include "platform/system.h"
#include "project/imagelist.h"
#include "project/projectfile.h"

#include <QFile>
#include <QFileInfo>

namespace kelbo {

namespace {

// The per-change rule on a field kept in memory.
void followPerChangeRule(MemoryField &field, NumericField which)
{
    field.onChange = [&field, which] {
        const QString corrected = perChangeText(which, field.value);
        if (corrected != field.value)
            field.setText(corrected);
    };
}

} // namespace

ProjectModel::ProjectModel()
{
    followPerChangeRule(m_fps, NumericField::Fps);
    followPerChangeRule(m_width, NumericField::Width);
    followPerChangeRule(m_height, NumericField::Height);
    resetToDefaults({m_fps, m_width, m_height});
}

OpenOutcome openProject(const QString &path, ProjectParts project, Services &services)
{
    const auto cannotRead = [&] {
        services.message(QStringLiteral("Impossible de lire le projet :\n") + path, app::title(),
                         MsgIcon::Critical);
        return OpenOutcome::Unreadable;
    };
    // A name typed into the dialog for a file that does not exist changes nothing.
    const QFileInfo info(path);
    if (!info.exists())
        return OpenOutcome::Missing;
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
    const AppliedProject applied = applyProjectLines(splitProjectLines(decodeProjectBytes(bytes)),
                                                     project.fields, project.files);
    if (!applied.complete)
        return OpenOutcome::Incomplete;
    if (applied.refused > 0)
        services.message(imageListFullMessage()
                             + QStringLiteral("\n%1 images du projet n'ont pas été ajoutées.")
                                   .arg(applied.refused),
                         app::title(), MsgIcon::Exclamation);
    return OpenOutcome::Opened;
}

bool saveProject(const QString &path, ProjectParts project, Services &services)
{
    QStringList entries;
    for (int i = 1; i <= project.files.count(); ++i)
        entries << project.files.text(i);
    const QString text = composeProjectText(project.fields.fps.text(), project.fields.width.text(),
                                            project.fields.height.text(), entries);
    if (writeProjectFile(path, text))
        return true;
    services.message(QStringLiteral("Impossible d'enregistrer le projet :\n") + path, app::title(),
                     MsgIcon::Critical);
    return false;
}

} // namespace kelbo
