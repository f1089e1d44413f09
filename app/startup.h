#pragma once
// What `kelbo` does at start-up besides showing its window: the desktop identity of the program
// and the files named on its command line.

#include "platform/services.h"

#include <QStringList>

#include <deque>

namespace kelbo {

class frmMain;

// The name of the desktop entry (org.example.Kelbo.desktop, without ".desktop"): the icon,
// the AppStream id and the window's application id use it too.
QString desktopFileName();

// The program's Services with answers given in advance to the next open dialogs: a picture
// named on the command line goes through the very same "Ajouter" command as one chosen in its
// dialog. Everything else goes to `inner`.
class StartupServices final : public Services {
public:
    explicit StartupServices(Services &inner) : m_inner(inner) {}

    // The next open dialog returns `path` without being shown.
    void answerNextOpen(const QString &path) { m_openAnswers.push_back(path); }
    // Drops the answers not taken yet.
    void clearOpenAnswers() { m_openAnswers.clear(); }

    MsgResult messageBox(const MessageRequest &request) override;
    QString showOpen(const FileDialogRequest &request) override;
    QString showSave(const FileDialogRequest &request) override;
    void showModal(QDialog &dialog) override;
    std::optional<QString> inputText(const InputRequest &request) override;
    bool openUrl(const QString &url) override;
    bool startProgram(const QString &program) override;
    long chooseCompression(QWidget *owner, std::uint32_t flags, const AVISTREAMINFOA &stream,
                        AVICOMPRESSOPTIONS &options) override;

private:
    Services &m_inner;
    std::deque<QString> m_openAnswers;
};

// Opens the files named on the command line, in order, in `window` (built with `services`):
// a name ending in ".kelbo" (in any case) is opened as "Ouvrir un Projet" opens the chosen
// file; any other name is added to the list as "Ajouter" adds the chosen picture. With no
// names nothing happens.
void openCommandLineFiles(frmMain &window, StartupServices &services, const QStringList &paths);

} // namespace kelbo
