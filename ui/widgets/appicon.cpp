#include "ui/widgets/appicon.h"

#include <QSize>
#include <QString>

// The icon's PNG files live in a resource of this static library: naming its initialiser here
// links it in, since nothing else refers to it.
static void initAppIconResource()
{
    Q_INIT_RESOURCE(appicon);
}

namespace kelbo {

QIcon appIcon()
{
    static const bool initialised = (initAppIconResource(), true);
    (void)initialised;
    QIcon icon;
    for (const int size : kAppIconSizes)
        icon.addFile(QStringLiteral(":/kelbo/icons/%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace kelbo
