#pragma once
// A project: the image list and the three numeric settings, wherever they live (the main
// window's controls, or memory for kelbo-export), and the commands that open and save it.

#include "platform/services.h"
#include "project/fields.h"
#include "project/settings.h"

#include <QString>

namespace kelbo {

// The parts of a project that the commands read and change.
struct ProjectParts {
    SettingsFields fields;
    ListEntries &files;
};

// A project kept in memory, for running without a window. Its fields follow the per-change
// rule as the window's text boxes do; they start at "30", "320" and "240".
class ProjectModel {
public:
    ProjectModel();
    ProjectModel(const ProjectModel &) = delete;
    ProjectModel &operator=(const ProjectModel &) = delete;

    ProjectParts parts() { return {{m_fps, m_width, m_height}, m_files}; }
    MemoryList &files() { return m_files; }
    MemoryField &fps() { return m_fps; }
    MemoryField &width() { return m_width; }
    MemoryField &height() { return m_height; }

private:
    MemoryField m_fps, m_width, m_height;
    MemoryList m_files;
};

enum class OpenOutcome {
    Opened,     // the three settings were read and the pictures appended
    Missing,    // no file of that name: nothing changed, nothing said
    Unreadable, // not a readable project-sized regular file: the user has been told
    Incomplete, // fewer than three lines: the lines present were applied, nothing said
};

// What "Ouvrir un Projet" does once a name has been chosen: reads the file, puts its settings
// into the fields through their change rule, appends its pictures after the existing entries
// (up to the list limit, telling how many were left out).
OpenOutcome openProject(const QString &path, ProjectParts project, Services &services);

// What "Enregistrer le Projet" does once a name has been chosen: writes the fields and the
// entries, replacing any previous file only once the new one is complete. False when it could
// not be written (the user has been told).
bool saveProject(const QString &path, ProjectParts project, Services &services);

} // namespace kelbo
