#pragma once
// Icons and type names for the file dialogs, from names alone. Qt's own provider asks the MIME
// database, which opens a file whose name says nothing to read its first bytes: a pipe, or a
// file under /proc such as /proc/kmsg, then blocks the dialog for good.

#include <QFileIconProvider>

namespace kelbo {

class NameOnlyIconProvider final : public QFileIconProvider {
public:
    QIcon icon(IconType type) const override { return QFileIconProvider::icon(type); }
    QIcon icon(const QFileInfo &info) const override;
    QString type(const QFileInfo &info) const override;
};

} // namespace kelbo
