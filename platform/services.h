#pragma once
// The one door through which Kelbo asks the user anything: message boxes, file dialogs and
// modal windows. Windows and the export receive a Services reference; the program passes
// QtServices (ui/widgets/qtservices.h), tests pass a scripted implementation that answers in order and records every
// request, so that no test ever waits on a modal window.

#include <QString>

#include <cstdint>
#include <optional>

class QDialog;
class QWidget;

namespace kelbo {

struct AVISTREAMINFOA;
struct AVICOMPRESSOPTIONS;

enum class MsgIcon { None, Information, Exclamation, Question, Critical };
enum class MsgButtons { Ok, YesNo };
enum class MsgResult { Ok, Yes, No };

struct MessageRequest {
    QString text;
    QString title;
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::Ok;
};

// A common file dialog request. `filter` is given in the classic form: description and pattern
// pairs separated by vertical bars, with a closing bar ("Projet AVI (*.kelbo)|*.kelbo|").
struct FileDialogRequest {
    QString title;
    QString filter;
    QString fileName; // the initial name; callers set it to ""
    // Save dialogs: the extension added to a name typed without one ("kelbo", "avi").
    QString defaultSuffix = {};
};

// A question answered by a line of text.
struct InputRequest {
    QString title;
    QString prompt;
    QString initial;
};

class Services {
public:
    virtual ~Services() = default;

    // Modal message box; returns the button pressed. With YesNo, Yes is the default button.
    virtual MsgResult messageBox(const MessageRequest &request) = 0;

    // Open and save dialogs; return the chosen file name, or "" when the user cancelled.
    virtual QString showOpen(const FileDialogRequest &request) = 0;
    virtual QString showSave(const FileDialogRequest &request) = 0;

    // Shows `dialog` modally and returns when it has been closed or hidden.
    virtual void showModal(QDialog &dialog) = 0;

    // Asks for a line of text; std::nullopt when the user cancelled.
    virtual std::optional<QString> inputText(const InputRequest &request) = 0;

    // Opens a web or mail address with the desktop's handler; false when nothing could open it.
    virtual bool openUrl(const QString &url) = 0;

    // Starts a program without waiting for it; false when it could not be started.
    virtual bool startProgram(const QString &program) = 0;

    // The video compression dialog for a stream described by `stream` (its frame rectangle
    // decides which compressors are offered). `flags` holds ICMF_CHOOSE_KEYFRAME and/or
    // ICMF_CHOOSE_DATARATE for the settings to offer; `options` holds the initial choice when
    // its dwFlags has AVICOMPRESSF_VALID. 1 when confirmed (`options` filled in), 0 when
    // cancelled, anything else for a failure. With no `owner` no window is disabled meanwhile.
    virtual long chooseCompression(QWidget *owner, std::uint32_t flags, const AVISTREAMINFOA &stream,
                                AVICOMPRESSOPTIONS &options) = 0;

    // Convenience: an OK message box.
    void message(const QString &text, const QString &title, MsgIcon icon)
    {
        messageBox({text, title, icon, MsgButtons::Ok});
    }
};

// The answers of nobody at the keyboard (a script, a benchmark): messages are acknowledged
// (No to a question), dialogs cancelled, windows closed at once, nothing opened or started.
// Derived classes answer the requests they expect.
class DecliningServices : public Services {
public:
    MsgResult messageBox(const MessageRequest &request) override
    {
        return request.buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok;
    }
    QString showOpen(const FileDialogRequest &) override { return {}; }
    QString showSave(const FileDialogRequest &) override { return {}; }
    void showModal(QDialog &) override {}
    std::optional<QString> inputText(const InputRequest &) override { return std::nullopt; }
    bool openUrl(const QString &) override { return false; }
    bool startProgram(const QString &) override { return false; }
    long chooseCompression(QWidget *, std::uint32_t, const AVISTREAMINFOA &, AVICOMPRESSOPTIONS &) override
    {
        return 0;
    }
};

} // namespace kelbo
