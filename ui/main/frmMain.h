#pragma once
// The main window: the whole project lives in its controls (the list view holds the image
// list, the text boxes and the combo box the settings). The handlers stay thin: they read the
// controls and call the logic of project/, frame/ and export/.

#include "export/saveavi.h"
#include "ui/widgets/controls.h"
#include "platform/services.h"
#include "ui/widgets/surfacewidget.h"
#include "platform/wait.h"
#include "project/project.h"
#include "project/settings.h"

#include <QMainWindow>

#include <array>
#include <memory>

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;
class QTabWidget;
class QTreeWidget;

namespace kelbo {

class frmFile;

class frmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMain(Services &services, QWidget *parent = nullptr);
    ~frmMain() override;

    // --- Controls, by their names. pagePreview is the "Aperçu" panel, pageFiles the "Fichiers" panel.
    QWidget *client = nullptr; // the 393 x 290 client area
    QTabWidget *tabMain = nullptr;
    QWidget *pagePreview = nullptr; // pic(1), the "Aperçu" panel
    QWidget *pageFiles = nullptr;   // pic(2), the "Fichiers" panel
    SurfaceWidget *picPre = nullptr;
    QScrollBar *slPre = nullptr;
    QPushButton *cmdFirst = nullptr, *cmdBack = nullptr, *cmdNext = nullptr, *cmdLast = nullptr;
    QPushButton *cmdPlay = nullptr, *cmdStop = nullptr;
    QGroupBox *fraPre = nullptr;
    QLabel *lblCount = nullptr;     // lbl(0) "Images : N"
    QLabel *lblRate = nullptr;      // lbl(1) "Image : "
    QLabel *lblPerSecond = nullptr; // lbl(2) "/sec"
    QLabel *lblWidth = nullptr;     // lbl(3)
    QLabel *lblHeight = nullptr;    // lbl(4)
    QLabel *lblCaption = nullptr;   // lbl(5) "Titre :"
    QLabel *lblAlign = nullptr;     // lbl(6) "Alignement du titre :"
    QLineEdit *txtFPS = nullptr, *txtWidth = nullptr, *txtHeight = nullptr;
    QPlainTextEdit *txtCap = nullptr;
    QComboBox *cmbAlign = nullptr;
    QTreeWidget *lvwFiles = nullptr;
    QPushButton *cmdUp = nullptr, *cmdDown = nullptr, *cmdRem = nullptr, *cmdClear = nullptr;
    SurfaceWidget *picMini = nullptr;
    QPushButton *cmdAdd = nullptr, *cmdAddM = nullptr;
    SurfaceWidget *picSave = nullptr; // hidden work surface of the export
    SurfaceWidget *picTemp = nullptr; // hidden scratch surface, sized by each decoded picture

    QAction *mnuFileSaveAvi = nullptr, *mnuFileNPrj = nullptr, *mnuFileSavePrj = nullptr;
    QAction *mnuFileOPrj = nullptr, *mnuFileExit = nullptr, *Mnu_Apropos = nullptr;
    // "Cadrage": how pictures fill the preview and the video; "Liste": "Répéter l'image…".
    QAction *mnuFitStretch = nullptr, *mnuFitLetterbox = nullptr, *mnuFitCrop = nullptr;
    QAction *mnuListRepeat = nullptr;

    // Stop request of playback.
    bool mStop = false;

    // --- Adapters through which the logic reads and changes the controls.
    TextField &fpsField() { return *m_fps; }
    TextField &widthField() { return *m_width; }
    TextField &heightField() { return *m_height; }
    SettingsFields settingsFields() { return {*m_fps, *m_width, *m_height}; }
    ProjectParts projectParts() { return {settingsFields(), *m_files}; }
    ListEntries &files() { return *m_files; }
    Services &services() { return m_services; }

    // --- Window
    void Form_Load();
    void Form_Unload();
    void tabMain_Click();
    // Selects tab `index` (1 or 2) and runs the tab change, also when it was selected already.
    void selectTab(int index);
    void mnuFileExit_Click();

    // --- Settings rules
    void txtFPS_Change();
    void txtWidth_Change();
    void txtHeight_Change();
    void txtFPS_LostFocus();
    void txtWidth_LostFocus();
    void txtHeight_LostFocus();

    // --- Project commands (frmMain_project.cpp)
    void mnuFileNPrj_Click();
    void mnuFileOPrj_Click();
    void mnuFileSavePrj_Click();
    // What "Ouvrir un Projet" does once a file name has been chosen: reads the file, fills
    // the fields, appends the pictures and selects the "Aperçu" tab. False when the file could
    // not be read (the user has been told) or lacks one of the three settings lines.
    bool openProjectFile(const QString &path);

    // --- List editing (frmMain_list.cpp)
    void cmdAdd_Click();
    void cmdAddM_Click();
    void cmdRem_Click();
    void cmdClear_Click();
    void cmdUp_Click();
    void cmdDown_Click();
    void lvwFiles_Click();
    // The several-files chooser: made at its first use, then only hidden between uses, so
    // that it reopens where the user left it.
    frmFile &chooser();

private:
    // Tells the user, and returns true, when the list cannot take another entry.
    bool refuseFullList();
    // Checks the header of `path`; when it is a usable picture, appends it as the selected
    // entry. False (nothing appended, the user told) when it is not; the message then also
    // counts the `notReached` chosen files that follow it.
    bool appendPicture(const QString &path, int notReached = 0);
    // Draws `path` on the thumbnail, decoded at a reduced scale; false when it cannot be.
    bool drawThumbnail(const QString &path);
    // The slider maximum follows the entry count, within the slider's range 1..32767.
    void updateSliderMaximum();
    frmFile *m_chooser = nullptr;

public:
    // --- Preview and playback (frmMain_preview.cpp)
    void slPre_Change();
    void cmdFirst_Click();
    void cmdBack_Click();
    void cmdNext_Click();
    void cmdLast_Click();
    void cmdPlay_Click();
    void cmdStop_Click();
    // Shows entries 1 to the entry count at the frame rate of txtFPS, until the last one or a
    // stop request (mStop). Events keep running, so a second playback can run inside it.
    void PlayAnimation();
    // Waits `seconds`, letting events run, until the time is up or mStop is set.
    void WaitSeconds(float &seconds);
    // Moves the slider to `position` (which draws that frame), first raising the slider
    // maximum when the list has grown past it. False, with nothing changed, when no entry
    // stands at `position`.
    bool showPosition(int position);
    // showPosition for a frame the export has just written: the preview shows `frame` (the
    // composed frame) reduced to the preview, with the caption, instead of decoding the
    // picture a second time.
    bool showExportedFrame(int position, const QImage &frame);
    // The clock, event pumping and idling of playback; tests replace them with a script.
    WaitHooks waitHooks = qtWaitHooks();

    // --- Export (frmMain_export.cpp)
    // "Enregistrer au format AVI": the export of the list, with the preview following it.
    ExportOutcome mnuFileSaveAvi_Click();

    // --- About box (frmMain_about.cpp)
    void Mnu_Apropos_Click();

    // --- Pictures as people have them (frmMain_pictures.cpp)
    // The framing of the preview and the export, remembered for the user between runs.
    FrameFit frameFit() const { return m_fit; }
    void setFrameFit(FrameFit fit);
    // Appends the pictures among `paths` (files, and the pictures directly inside folders) in
    // natural order; one message names those left out. Refused while a video is written.
    void dropPictures(const QStringList &paths);
    // "Répéter l'image…": asks for a duration and inserts that many seconds of copies of the
    // selected entry after it, at the current frame rate.
    void mnuListRepeat_Click();

Q_SIGNALS:
    // The main window was unloaded: the program ends.
    void programEnded();

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void buildLayout();
    void nameControls();
    void buildMenus();
    void connectHandlers();
    // Each part of the window connects its own handlers, in its own file.
    void connectProjectCommands();
    void connectListEditing();
    void connectPreview();
    void connectExport();
    void connectAbout();
    void buildPictureMenus();
    void connectPictures();
    FrameFit m_fit = FrameFit::Stretch;
    bool m_exporting = false;
    void runPerChangeRule(NumericField field, QLineEdit *edit);
    // Runs the range rule of a numeric field once the focus has gone from it to another
    // control of this window; a visit to the menu bar or to another window is not leaving.
    void focusMoved(QWidget *old, QWidget *now);

    Services &m_services;
    std::unique_ptr<LineEditField> m_fps, m_width, m_height;
    std::unique_ptr<TreeListEntries> m_files;
    bool m_unloaded = false;
    // The numeric field the focus last went out of, until the focus reaches another control
    // of this window or comes back to it.
    QLineEdit *m_leftField = nullptr;
    const QImage *m_exportedFrame = nullptr; // lent by showExportedFrame while the slider moves
};

} // namespace kelbo
