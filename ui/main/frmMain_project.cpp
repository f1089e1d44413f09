#include "ui/main/frmMain.h"

namespace kelbo {

void frmMain::connectProjectCommands()
{
}

} // namespace kelbo
