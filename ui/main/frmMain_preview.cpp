#include "ui/main/frmMain.h"

namespace kelbo {

void frmMain::slPre_Change()
{
    // Drawing the frame at the slider position comes with the preview.
}

} // namespace kelbo
