#include "frame/picturecheck.h"

#include <QFileInfo>
#include <QImageReader>

namespace kelbo {

bool pictureHeaderReadable(const QString &path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile() || !info.isReadable())
        return false;
    QImageReader reader(path);
    return reader.canRead() && reader.size().isValid();
}

} // namespace kelbo
