#include "scriptedservices.h"

#include <QDialog>

namespace kelbo::test {

MsgResult ScriptedServices::messageBox(const MessageRequest &request)
{
    messages.append(request);
    if (!messageAnswers.empty()) {
        const MsgResult answer = messageAnswers.front();
        messageAnswers.pop_front();
        return answer;
    }
    return request.buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok;
}

namespace {
QString take(std::deque<QString> &answers)
{
    if (answers.empty())
        return {};
    QString answer = answers.front();
    answers.pop_front();
    return answer;
}
} // namespace

QString ScriptedServices::showOpen(const FileDialogRequest &request)
{
    openRequests.append(request);
    return take(openAnswers);
}

QString ScriptedServices::showSave(const FileDialogRequest &request)
{
    saveRequests.append(request);
    return take(saveAnswers);
}

std::optional<QString> ScriptedServices::inputText(const InputRequest &request)
{
    inputRequests.append(request);
    const QString answer = take(inputAnswers);
    if (answer.isNull())
        return std::nullopt;
    return answer;
}

void ScriptedServices::showModal(QDialog &dialog)
{
    dialogsShown.append(dialog.objectName().isEmpty() ? dialog.windowTitle() : dialog.objectName());
    dialog.setModal(true);
    dialog.show();
    if (!modalScripts.empty()) {
        auto script = std::move(modalScripts.front());
        modalScripts.pop_front();
        script(dialog);
    }
    if (dialog.isVisible())
        dialog.hide();
}

bool ScriptedServices::openUrl(const QString &url)
{
    urlsOpened.append(url);
    return openUrlResult;
}

bool ScriptedServices::startProgram(const QString &program)
{
    programsStarted.append(program);
    return startProgramResult;
}

long ScriptedServices::chooseCompression(QWidget *owner, std::uint32_t flags,
                                      const AVISTREAMINFOA &stream, AVICOMPRESSOPTIONS &options)
{
    compressionRequests.append({owner, flags, stream, options});
    if (whileCompressionDialogOpen)
        whileCompressionDialogOpen();
    if (compressionAnswers.empty())
        return 0;
    const CompressionAnswer answer = compressionAnswers.front();
    compressionAnswers.pop_front();
    if (answer.result == 1)
        options = answer.options;
    return answer.result;
}

QStringList ScriptedServices::messageTexts() const
{
    QStringList texts;
    for (const MessageRequest &m : messages)
        texts << m.text;
    return texts;
}

} // namespace kelbo::test
