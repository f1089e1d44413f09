#include "ui/main/frmMain.h"

#include <QAction>
#include <QScrollBar>

namespace kelbo {

void frmMain::connectExport()
{
    connect(mnuFileSaveAvi, &QAction::triggered, this, &frmMain::mnuFileSaveAvi_Click);
}

ExportOutcome frmMain::mnuFileSaveAvi_Click()
{
    ExportWindow window{*m_files, settingsFields(), picSave->surface(), picTemp->surface(),
                        [this](int position) {
                            // The preview follows the export even when the list grew since
                            // its range was set.
                            if (slPre->maximum() < position)
                                slPre->setMaximum(position);
                            slPre->setValue(position);
                        },
                        m_services};
    return SaveAvi(window);
}

} // namespace kelbo
