#pragma once
// A Services implementation for tests: it answers from scripts given in advance and records
// every request, so that a test asserts the exact texts the user would have seen.

#include "avi/avifile.h"
#include "platform/services.h"

#include <QList>
#include <QStringList>

#include <deque>
#include <functional>

namespace kelbo::test {

class ScriptedServices final : public Services {
public:
    // What was asked, in order.
    QList<MessageRequest> messages;
    QList<FileDialogRequest> openRequests;
    QList<FileDialogRequest> saveRequests;
    QStringList dialogsShown;     // objectName or window title of each modal window
    QStringList urlsOpened;
    QStringList programsStarted;

    // Answers, taken in order. A message box without a scripted answer returns Ok for OK
    // boxes and No for questions; a file dialog without one returns "" (cancel).
    std::deque<MsgResult> messageAnswers;
    std::deque<QString> openAnswers;
    std::deque<QString> saveAnswers;
    // Text questions: recorded, answered in order; a null QString, or no answer, cancels.
    QList<InputRequest> inputRequests;
    std::deque<QString> inputAnswers;
    // The compression dialog: each request is recorded; the answers are taken in order. Without
    // a scripted answer the dialog counts as cancelled (0).
    struct CompressionRequest {
        QWidget *owner = nullptr;
        std::uint32_t flags = 0;
        AVISTREAMINFOA stream;
        AVICOMPRESSOPTIONS initial;
    };
    struct CompressionAnswer {
        long result = 1;
        AVICOMPRESSOPTIONS options; // copied into the caller's record when result is 1
    };
    QList<CompressionRequest> compressionRequests;
    std::deque<CompressionAnswer> compressionAnswers;
    // Queues a confirmed compression dialog choosing `handler` at its default quality.
    void answerCompression(FOURCC handler = comptypeDIB)
    {
        CompressionAnswer answer;
        answer.options.fccType = streamtypeVIDEO;
        answer.options.fccHandler = handler;
        answer.options.dwQuality = ICQUALITY_DEFAULT;
        answer.options.dwFlags = AVICOMPRESSF_VALID;
        compressionAnswers.push_back(answer);
    }
    // Run while the compression dialog is "open", before it answers (the caller's windows
    // stay usable meanwhile).
    std::function<void()> whileCompressionDialogOpen;

    // Run on a modal window while it is "shown"; it may press its buttons. Without one the
    // window is shown and closed at once.
    std::deque<std::function<void(QDialog &)>> modalScripts;
    bool openUrlResult = true;
    bool startProgramResult = true;

    MsgResult messageBox(const MessageRequest &request) override;
    QString showOpen(const FileDialogRequest &request) override;
    QString showSave(const FileDialogRequest &request) override;
    void showModal(QDialog &dialog) override;
    std::optional<QString> inputText(const InputRequest &request) override;
    bool openUrl(const QString &url) override;
    bool startProgram(const QString &program) override;
    long chooseCompression(QWidget *owner, std::uint32_t flags, const AVISTREAMINFOA &stream,
                        AVICOMPRESSOPTIONS &options) override;

    // The texts of the messages shown, in order.
    QStringList messageTexts() const;
};

} // namespace kelbo::test
