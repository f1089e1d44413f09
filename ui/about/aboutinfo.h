#pragma once
// What the About box says about who distributes Kelbo: the notices, the addresses, the
// tooltips and the donation picture. A distributor changes them here and nowhere else.
// Keep each text short enough for its box (the tests check that they fit).

#include <QPixmap>
#include <QString>

namespace kelbo::about {

// Upper notice, under the version (259 x 22 pixels).
inline QString description() { return QStringLiteral("Crée une vidéo AVI à partir d'une suite d'images."); }
// Lower notice, above the donation picture (185 x 17 pixels).
inline QString notice() { return QStringLiteral("Logiciel fourni sans garantie."); }

// Who makes Kelbo, as the details message names them.
inline QString maker() { return QStringLiteral("L'équipe Kelbo"); }
// The e-mail address, shown after "E-Mail : " and opened as a "mailto:" link.
inline QString email() { return QStringLiteral("kelbo@example.org"); }
// The web site: the address shown after "URL : " and the address opened.
inline QString webSiteText() { return QStringLiteral("kelbo.example.org"); }
inline QString webSiteUrl() { return QStringLiteral("https://kelbo.example.org/"); }
// The donation page opened by the donation picture.
inline QString donationUrl() { return QStringLiteral("https://kelbo.example.org/don"); }

// The closing line of the details message.
inline QString licenceNotice()
{
    return QStringLiteral("Ce logiciel est fourni tel quel, sans aucune garantie.");
}

// Tooltips of the web address and of the donation picture.
inline QString visitTip() { return QStringLiteral("Visiter le site de Kelbo"); }
inline QString donateTip() { return QStringLiteral("Soutenir Kelbo par un don"); }

// The donation picture, 100 x 44 pixels, drawn rather than shipped as a file.
QPixmap donationPicture();

} // namespace kelbo::about
