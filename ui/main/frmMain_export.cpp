#include "ui/main/frmMain.h"

namespace kelbo {

void frmMain::connectExport()
{
}

} // namespace kelbo
