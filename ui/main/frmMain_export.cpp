#include "ui/main/frmMain.h"

#include "ui/widgets/exportprogressdialog.h"

#include <QAction>
#include <QApplication>
#include <QScopeGuard>
#include <QScopedValueRollback>

#include <memory>

namespace kelbo {

namespace {

// The window's side of an export: the preview follows each written frame (the composed frame,
// reduced, not a second decode of its picture) and the progress
// window shows where the export stands. Events run between two frames, so the windows repaint
// and "Arrêter" can be pressed; the progress window being modal, input to the main window is
// refused meanwhile rather than queued.
class WindowExportObserver final : public ExportObserver {
public:
    explicit WindowExportObserver(frmMain &window) : m_window(window) {}

    void writingStarted(int count) override
    {
        m_dialog = std::make_unique<ExportProgressDialog>(&m_window);
        ExportProgress start;
        start.count = count;
        m_dialog->showProgress(start);
        m_dialog->show();
        pumpEvents();
    }
    void frameComposed(int position, const QImage &frame) override
    {
        m_framePosition = position;
        m_frame = frame;
    }
    void frameWritten(const ExportProgress &progress) override
    {
        // The preview shows the frame just written, reduced, rather than decoding its picture
        // again.
        if (m_framePosition == progress.written && !m_frame.isNull())
            m_window.showExportedFrame(progress.written, m_frame);
        else
            m_window.showPosition(progress.written);
        m_frame = QImage();
        if (m_dialog)
            m_dialog->showProgress(progress);
        pumpEvents();
    }
    ExportRequest request() override
    {
        return m_dialog && m_dialog->stopRequested() ? ExportRequest::Finish : ExportRequest::Continue;
    }
    void writingEnded() override { m_dialog.reset(); }

private:
    static void pumpEvents() { QApplication::processEvents(QEventLoop::AllEvents); }

    frmMain &m_window;
    std::unique_ptr<ExportProgressDialog> m_dialog;
    int m_framePosition = 0;
    QImage m_frame; // the frame of m_framePosition, until it is shown
};

} // namespace

void frmMain::connectExport()
{
    connect(mnuFileSaveAvi, &QAction::triggered, this, &frmMain::mnuFileSaveAvi_Click);
}

ExportOutcome frmMain::mnuFileSaveAvi_Click()
{
    WindowExportObserver observer(*this);
    ExportJob job{*m_files, settingsFields(), picSave->surface(), picTemp->surface(), m_services,
                  &observer};
    job.fit = m_fit;
    // Pictures dropped meanwhile are refused: the list is what the video is made of.
    // An export started while another's compression dialog is open ends first: the flag goes
    // back to what it was, not to false.
    const QScopedValueRollback exporting(m_exporting, true);
    return SaveAvi(job);
}

} // namespace kelbo
