#include "ui/main/frmMain.h"

#include "platform/registry.h"
#include "ui/about/frmAbout.h"

#include <QAction>

namespace kelbo {

void frmMain::connectAbout()
{
    connect(Mnu_Apropos, &QAction::triggered, this, &frmMain::Mnu_Apropos_Click);
}

// Shows the About box modally; it is unloaded when it closes. The system-information program
// is looked for in this desktop's registry stand-in, read afresh each time.
void frmMain::Mnu_Apropos_Click()
{
    reg::DesktopRegistry registry;
    frmAbout box(services(), registry, this);
    services().showModal(box);
}

} // namespace kelbo
