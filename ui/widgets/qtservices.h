#pragma once
// The Services of the running program: real Qt message boxes, file dialogs and the
// compression dialog.

#include "platform/services.h"

#include <QStringList>

namespace kelbo {

// Splits a classic filter ("Desc|*.a;*.b|Desc2|*.c|") into Qt name filters
// ("Desc (*.a *.b)", "Desc2 (*.c)"). A trailing piece without a pattern is ignored.
QStringList qtNameFilters(const QString &classicFilter);

class QtServices final : public Services {
public:
    MsgResult messageBox(const MessageRequest &request) override;
    QString showOpen(const FileDialogRequest &request) override;
    QString showSave(const FileDialogRequest &request) override;
    void showModal(QDialog &dialog) override;
    std::optional<QString> inputText(const InputRequest &request) override;
    bool openUrl(const QString &url) override;
    bool startProgram(const QString &program) override;
    long chooseCompression(QWidget *owner, std::uint32_t flags, const AVISTREAMINFOA &stream,
                        AVICOMPRESSOPTIONS &options) override;

    // The folder the next file dialog opens in: that of the last file chosen in any of them,
    // the user's pictures folder before the first.
    QString nextDialogFolder() const;

private:
    QString m_lastFolder;
};

} // namespace kelbo
