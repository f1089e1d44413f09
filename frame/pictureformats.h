#pragma once
// The picture files Kelbo offers and takes: the classic four kinds (BMP, GIF, JPEG) and every
// other format Qt can read on this machine.

#include "frame/fitpicture.h"

#include <QSize>
#include <QString>
#include <QStringList>

namespace kelbo {

// Suffixes ("png", "tif", …) of the formats Qt reads here, besides bmp, gif, jpg and jpeg.
QStringList otherPictureSuffixes();

// "Autres images (*.png, *.tif, …)|*.png;*.tif;…|": the filter entry of the other formats, in
// the classic form of the file dialogs.
QString otherPicturesFilter();

// True when `path` ends with the suffix of a format Qt reads (case-insensitive).
bool hasPictureSuffix(const QString &path);

// What a drop of files and folders adds: the pictures, in natural order (a folder gives the
// files of a picture format directly inside it, not those of its subfolders), and the files
// left out because they cannot be read as pictures, or not drawn onto a `target` frame as `fit`
// says (see checkPicture).
struct DroppedPictures {
    QStringList pictures;
    QStringList leftOut;
};
DroppedPictures picturesFromDrop(const QStringList &paths, QSize target = {}, FrameFit fit = FrameFit::Stretch);

// The message that names the files left out: the first ten, then how many more.
QString leftOutText(const QStringList &leftOut);

} // namespace kelbo
