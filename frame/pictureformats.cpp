#include "frame/pictureformats.h"

#include "frame/picturecheck.h"
#include "platform/naturalorder.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>

namespace kelbo {

namespace {

const QStringList &classicSuffixes()
{
    static const QStringList s{QStringLiteral("bmp"), QStringLiteral("gif"), QStringLiteral("jpg"),
                               QStringLiteral("jpeg")};
    return s;
}

} // namespace

QStringList otherPictureSuffixes()
{
    // The formats do not change while the program runs: asked once, not for every file of a
    // dropped folder.
    static const QStringList cached = [] {
        QStringList suffixes;
        for (const QByteArray &format : QImageReader::supportedImageFormats()) {
            const QString suffix = QString::fromLatin1(format).toLower();
            if (!classicSuffixes().contains(suffix) && !suffixes.contains(suffix))
                suffixes << suffix;
        }
        suffixes.sort();
        return suffixes;
    }();
    return cached;
}

QString otherPicturesFilter()
{
    QStringList patterns;
    for (const QString &suffix : otherPictureSuffixes())
        patterns << QStringLiteral("*.") + suffix;
    return QStringLiteral("Autres images (") + patterns.join(QStringLiteral(", ")) + QStringLiteral(")|")
           + patterns.join(QLatin1Char(';')) + QLatin1Char('|');
}

bool hasPictureSuffix(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return !suffix.isEmpty() && (classicSuffixes().contains(suffix) || otherPictureSuffixes().contains(suffix));
}

DroppedPictures picturesFromDrop(const QStringList &paths, QSize target, FrameFit fit)
{
    QStringList candidates;
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (info.isDir()) {
            const QDir dir(path);
            for (const QString &name : dir.entryList(QDir::Files | QDir::NoDotAndDotDot))
                if (hasPictureSuffix(name))
                    candidates << dir.filePath(name);
        } else {
            candidates << path;
        }
    }
    sortNaturally(candidates);
    DroppedPictures result;
    for (const QString &candidate : candidates)
        (checkPicture(candidate, target, fit).problem == PictureProblem::None ? result.pictures : result.leftOut) << candidate;
    return result;
}

QString leftOutText(const QStringList &leftOut)
{
    constexpr int kListed = 10;
    QString text = leftOut.size() == 1
        ? QStringLiteral("Ce fichier n'est pas une image lisible, il n'a pas été ajouté :")
        : QStringLiteral("Ces %1 fichiers ne sont pas des images lisibles, ils n'ont pas été ajoutés :")
              .arg(leftOut.size());
    for (qsizetype i = 0; i < leftOut.size() && i < kListed; ++i)
        text += QLatin1Char('\n') + QFileInfo(leftOut[i]).fileName();
    if (leftOut.size() > kListed) {
        const qsizetype more = leftOut.size() - kListed;
        text += QLatin1Char('\n') + (more == 1 ? QStringLiteral("et 1 autre.") : QStringLiteral("et %1 autres.").arg(more));
    }
    return text;
}

} // namespace kelbo
