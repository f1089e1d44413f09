#include "project/project.h"

#include "platform/files.h"
#include "platform/system.h"
#include "project/imagelist.h"
#include "project/projectfile.h"

#include <QFile>

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

namespace {

// The encoding a byte-order mark or the zero bytes of its first characters give away, when it
// is one that project files are never written in.
QString foreignEncoding(const QByteArray &bytes)
{
    if (bytes.startsWith(QByteArray("\xFF\xFE\x00\x00", 4)) || bytes.startsWith(QByteArray("\x00\x00\xFE\xFF", 4)))
        return QStringLiteral("UTF-32");
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"))
        return QStringLiteral("UTF-16");
    // "3\0" "0\0" or "\0" "3" "\0" "0": digits of the first line interleaved with zero bytes.
    if (bytes.size() >= 4
        && ((bytes[1] == '\0' && bytes[3] == '\0') || (bytes[0] == '\0' && bytes[2] == '\0')))
        return QStringLiteral("UTF-16");
    return {};
}

QString sentence(const QString &phrase)
{
    return phrase.left(1).toUpper() + phrase.mid(1) + QLatin1Char('.');
}

} // namespace

OpenOutcome openProject(const QString &path, ProjectParts project, Services &services)
{
    const auto cannotRead = [&](const QString &why) {
        services.message(QStringLiteral("Impossible de lire le projet :\n") + path + QLatin1Char('\n') + why,
                         app::title(), MsgIcon::Critical);
        return OpenOutcome::Unreadable;
    };
    // Only a regular file of a project's size is read: a pipe or a device would block or never
    // end, and a huge file is no project. A name that does not exist changes nothing.
    QFile file;
    const FileProblem problem = openRegularFile(path, file);
    if (problem == FileProblem::Missing)
        return OpenOutcome::Missing;
    if (problem != FileProblem::None)
        return cannotRead(sentence(fileProblemText(problem)));
    if (file.size() > kMaxProjectFileBytes)
        return cannotRead(QStringLiteral("Il est trop grand pour être un projet."));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return cannotRead(sentence(fileProblemText(FileProblem::Unreadable)));
    file.close();
    if (const QString encoding = foreignEncoding(bytes); !encoding.isEmpty())
        return cannotRead(QStringLiteral("Il est écrit en %1 ; un projet Kelbo est en UTF-8 ou en "
                                         "Windows-1252.").arg(encoding));

    const AppliedProject applied = applyProjectLines(splitProjectLines(decodeProjectBytes(bytes)),
                                                     project.fields, project.files);
    if (!applied.complete) {
        // The settings lines present have been applied; a file whose lines end with LF alone
        // is one line, and the user is told why nothing more was read.
        if (bytes.contains('\n') && !bytes.contains("\r\n"))
            services.message(QStringLiteral("Le projet n'a pas pu être lu en entier :\n") + path
                                 + QStringLiteral("\nSes lignes se terminent par LF seul ; un projet "
                                                  "Kelbo sépare ses lignes par CR LF."),
                             app::title(), MsgIcon::Exclamation);
        return OpenOutcome::Incomplete;
    }
    if (applied.refused > 0)
        services.message(imageListFullMessage()
                             + QStringLiteral("\n%1 images du projet n'ont pas été ajoutées.")
                                   .arg(applied.refused),
                         app::title(), MsgIcon::Exclamation);
    if (!applied.nulLines.isEmpty()) {
        QStringList numbers;
        for (int line : applied.nulLines)
            numbers << QString::number(line);
        services.message(QStringLiteral("Des chemins d'image du projet contiennent un caractère nul ; "
                                        "ces lignes ont été ignorées : %1.\n")
                                 .arg(numbers.join(QStringLiteral(", ")))
                             + path,
                         app::title(), MsgIcon::Exclamation);
    }
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
