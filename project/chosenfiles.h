#pragma once
// The text through which the several-files chooser hands its choice to the list editing:
// the short form of the folder, then for each chosen file one blank and the short form of
// its name ("/home/me/My%20pictures a.bmp b%20c.jpg"). Short forms hold no blank, so the text
// splits back at its blanks without cutting a name.

#include <QString>
#include <QStringList>

namespace kelbo {

// The text for `names` chosen in `folder`, in the given order. The folder part is empty when
// the folder does not exist; with no name the text is the folder part alone.
QString packChosenFiles(const QString &folder, const QStringList &names);

struct ChosenFiles {
    // The long form of the folder ending with one "/" (a root keeps its single one); empty
    // when the folder part cannot be expanded.
    QString folder;
    // The folder followed by the long form of each name, in the order of the text. Names that
    // cannot be expanded (malformed, or nothing of that name exists) are left out.
    QStringList paths;
};

// Splits the chooser's text at every blank; the first piece is the folder.
ChosenFiles unpackChosenFiles(const QString &chosen);

} // namespace kelbo
