#include "ui/main/frmMain.h"

namespace kelbo {

void frmMain::connectAbout()
{
}

} // namespace kelbo
