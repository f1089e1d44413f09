#include "ui/main/frmMain.h"

#include <QAction>

namespace kelbo {

void frmMain::connectExport()
{
    connect(mnuFileSaveAvi, &QAction::triggered, this, &frmMain::mnuFileSaveAvi_Click);
}

ExportOutcome frmMain::mnuFileSaveAvi_Click()
{
    // The preview follows the export, also past a slider range set before the list grew.
    ExportWindow window{*m_files, settingsFields(), picSave->surface(), picTemp->surface(),
                        [this](int position) { showPosition(position); }, m_services};
    return SaveAvi(window);
}

} // namespace kelbo
