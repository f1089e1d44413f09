#pragma once
// The several-files chooser: the user picks pictures of one folder, with a preview of the
// last one clicked. The dialog adds nothing itself; when it hides, `mOk` says whether the
// user confirmed and `mFile` holds the choice (project/chosenfiles.h gives its format).
// Closing only hides it: the next showing finds the volume, folder, filter and selection
// the user left.

#include "platform/services.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

namespace kelbo {

class DriveListBox;
class DirListBox;
class FileListBox;

class frmFile : public QDialog {
    Q_OBJECT
public:
    explicit frmFile(Services &services, QWidget *parent = nullptr);
    ~frmFile() override;

    // The five filter patterns, in the order of cmbList.
    static const QStringList &patterns();

    // --- Result, read by the caller after the dialog has hidden itself.
    bool mOk = false;
    QString mFile;

    // --- Controls, by their names.
    QComboBox *cmbList = nullptr;
    FileListBox *File1 = nullptr;
    DirListBox *Dir1 = nullptr;
    DriveListBox *Drive1 = nullptr;
    QPushButton *cmdOk = nullptr;
    QPushButton *cmdCan = nullptr;
    QLabel *imgPre = nullptr;

    // --- Handlers
    void Form_Load();
    void cmbList_Click();
    void Drive1_Change();
    void Dir1_Change();
    void File1_Click();
    void cmdOK_Click();
    void cmdCan_Click();

    // The close box and Escape cancel, like "&Annuler".
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    Services &m_services;
    bool m_loaded = false;
};

} // namespace kelbo
