#include "ui/widgets/qtservices.h"

#include "ui/widgets/fileicons.h"

#include "avi/avifile.h"
#include "ui/widgets/compressdialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QEventLoop>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
#include <QInputDialog>
#include <QLineEdit>
#include <QFileInfo>
#include <QMainWindow>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>
#include <QWindow>

namespace kelbo {

QStringList qtNameFilters(const QString &classicFilter)
{
    const QStringList pieces = classicFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < pieces.size(); i += 2) {
        const QString &description = pieces.at(i);
        QString patterns = pieces.at(i + 1).trimmed();
        if (description.isEmpty() && patterns.isEmpty())
            continue;
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // The patterns in parentheses are what QFileDialog filters on; the description keeps
        // its own text, and HideNameFilterDetails hides the appended part.
        filters << description + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return filters;
}

namespace {

QMessageBox::Icon toQtIcon(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Exclamation: return QMessageBox::Warning;
    case MsgIcon::Question: return QMessageBox::Question;
    case MsgIcon::Critical: return QMessageBox::Critical;
    case MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

// Message texts may separate their lines with a carriage return alone, which a message box
// breaks on as on a line feed; Qt's labels break on line feeds only.
QString displayText(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

MsgResult runMessageBox(const MessageRequest &request,
                        QMessageBox::StandardButton questionDefault = QMessageBox::Yes)
{
    QMessageBox box(toQtIcon(request.icon), request.title, displayText(request.text),
                    QMessageBox::NoButton,
                    QApplication::activeWindow());
    if (request.buttons == MsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(questionDefault);
        return box.exec() == QMessageBox::Yes ? MsgResult::Yes : MsgResult::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return MsgResult::Ok;
}

// Asked before an existing file is replaced. Qt's own question takes the dialog's title, too
// long for the box's title bar, and its French text lacks the full stop of the first line.
bool confirmReplace(const QString &path)
{
    const MessageRequest question{
        QStringLiteral("« %1 » existe déjà.\nVoulez-vous le remplacer ?").arg(QFileInfo(path).fileName()),
        QStringLiteral("Enregistrer sous"), MsgIcon::Question, MsgButtons::YesNo};
    // No is the default: Enter must not destroy a file.
    return runMessageBox(question, QMessageBox::No) == MsgResult::Yes;
}

QString runFileDialog(const FileDialogRequest &request, QFileDialog::AcceptMode mode, const QString &folder)
{
    NameOnlyIconProvider icons; // outlives the dialog, which keeps a pointer to it
    QFileDialog dialog(QApplication::activeWindow(), request.title);
    dialog.setIconProvider(&icons);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true); // asked below
    dialog.setNameFilters(qtNameFilters(request.filter));
    dialog.setDirectory(folder);
    // A name typed without an extension gets the one of the files the dialog is for (the
    // overwrite question below then asks about the file that would really be replaced).
    if (!request.defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    for (;;) {
        if (dialog.exec() != QDialog::Accepted)
            return {};
        const QStringList files = dialog.selectedFiles();
        if (files.isEmpty())
            return {};
        const QString chosen = files.first();
        if (mode == QFileDialog::AcceptOpen || !QFileInfo(chosen).exists()
            || confirmReplace(chosen))
            return chosen;
        // No: back to the dialog, where the same name stands chosen.
        dialog.selectFile(chosen);
    }
}

// The main window the user works in: the active window when it is one, else the first main
// window shown.
QWidget *activeMainWindow()
{
    if (QWidget *active = QApplication::activeWindow(); qobject_cast<QMainWindow *>(active))
        return active;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (qobject_cast<QMainWindow *>(window) && window->isVisible())
            return window;
    }
    return nullptr;
}

} // namespace

MsgResult QtServices::messageBox(const MessageRequest &request)
{
    return runMessageBox(request);
}

QString QtServices::showOpen(const FileDialogRequest &request)
{
    const QString chosen = runFileDialog(request, QFileDialog::AcceptOpen, nextDialogFolder());
    if (!chosen.isEmpty())
        m_lastFolder = QFileInfo(chosen).absolutePath();
    return chosen;
}

QString QtServices::showSave(const FileDialogRequest &request)
{
    const QString chosen = runFileDialog(request, QFileDialog::AcceptSave, nextDialogFolder());
    if (!chosen.isEmpty())
        m_lastFolder = QFileInfo(chosen).absolutePath();
    return chosen;
}

QString QtServices::nextDialogFolder() const
{
    if (!m_lastFolder.isEmpty() && QFileInfo(m_lastFolder).isDir())
        return m_lastFolder;
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return QFileInfo(pictures).isDir() ? pictures : QDir::homePath();
}

std::optional<QString> QtServices::inputText(const InputRequest &request)
{
    bool ok = false;
    const QString text = QInputDialog::getText(QApplication::activeWindow(), request.title, request.prompt,
                                               QLineEdit::Normal, request.initial, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

void QtServices::showModal(QDialog &dialog)
{
    dialog.exec();
}

bool QtServices::openUrl(const QString &url)
{
    return QDesktopServices::openUrl(QUrl(url));
}

bool QtServices::startProgram(const QString &program)
{
    return QProcess::startDetached(program, {});
}

long QtServices::chooseCompression(QWidget *owner, std::uint32_t flags, const AVISTREAMINFOA &stream,
                                AVICOMPRESSOPTIONS &options)
{
    CompressionDialog dialog(flags, QSize(stream.rcFrame.right - stream.rcFrame.left,
                                          stream.rcFrame.bottom - stream.rcFrame.top),
                             options, owner);
    if (owner) {
        if (dialog.exec() != QDialog::Accepted)
            return 0;
    } else {
        // No owner: the dialog blocks only its caller; every window stays usable. It stays
        // above the main window all the same (a transient window of it), so that a click on
        // the main window does not hide it.
        dialog.setWindowModality(Qt::NonModal);
        if (QWidget *main = activeMainWindow()) {
            dialog.createWinId();
            dialog.windowHandle()->setTransientParent(main->windowHandle());
        }
        QEventLoop loop;
        QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
        dialog.show();
        dialog.raise();
        dialog.activateWindow();
        loop.exec();
        if (dialog.result() != QDialog::Accepted)
            return 0;
    }
    options = dialog.options();
    return 1;
}

} // namespace kelbo
