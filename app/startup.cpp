#include "app/startup.h"

#include "ui/main/frmMain.h"

namespace kelbo {

QString desktopFileName() { return QStringLiteral("org.example.Kelbo"); }

MsgResult StartupServices::messageBox(const MessageRequest &request) { return m_inner.messageBox(request); }

QString StartupServices::showOpen(const FileDialogRequest &request)
{
    if (m_openAnswers.empty())
        return m_inner.showOpen(request);
    QString answer = m_openAnswers.front();
    m_openAnswers.pop_front();
    return answer;
}

QString StartupServices::showSave(const FileDialogRequest &request) { return m_inner.showSave(request); }
std::optional<QString> StartupServices::inputText(const InputRequest &request) { return m_inner.inputText(request); }
void StartupServices::showModal(QDialog &dialog) { m_inner.showModal(dialog); }
bool StartupServices::openUrl(const QString &url) { return m_inner.openUrl(url); }
bool StartupServices::startProgram(const QString &program) { return m_inner.startProgram(program); }

long StartupServices::chooseCompression(QWidget *owner, std::uint32_t flags, const AVISTREAMINFOA &stream,
                                     AVICOMPRESSOPTIONS &options)
{
    return m_inner.chooseCompression(owner, flags, stream, options);
}

void openCommandLineFiles(frmMain &window, StartupServices &services, const QStringList &paths)
{
    for (const QString &path : paths) {
        if (path.endsWith(QStringLiteral(".kelbo"), Qt::CaseInsensitive)) {
            window.openProjectFile(path);
        } else {
            services.answerNextOpen(path);
            window.cmdAdd_Click();
            // "Ajouter" does not ask when the list is full: the answer must not reach a later
            // dialog the user opens.
            services.clearOpenAnswers();
        }
    }
}

} // namespace kelbo
