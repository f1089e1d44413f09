#include "ui/main/frmMain.h"

namespace kelbo {

void frmMain::connectListEditing()
{
}

} // namespace kelbo
