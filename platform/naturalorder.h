#pragma once
// The order in which people expect file names: numbers by their value (img2 before img10),
// letters without regard to case, accents as French sorts them.

#include <QStringList>

namespace kelbo {

// True when `a` comes before `b` in natural order.
bool naturallyBefore(const QString &a, const QString &b);

// Sorts `names` in natural order (stable: equal names keep their order).
void sortNaturally(QStringList &names);

} // namespace kelbo
