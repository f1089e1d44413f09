#include "ui/main/frmMain.h"

#include <QScrollBar>

namespace kelbo {

void frmMain::connectPreview()
{
    connect(slPre, &QScrollBar::valueChanged, this, &frmMain::slPre_Change);
}

void frmMain::slPre_Change()
{
    // Drawing the frame at the slider position comes with the preview.
}

} // namespace kelbo
