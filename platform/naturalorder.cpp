#include "platform/naturalorder.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>

namespace kelbo {

namespace {

const QCollator &collator()
{
    static const QCollator c = [] {
        QCollator french(QLocale(QLocale::French, QLocale::France));
        french.setNumericMode(true);
        french.setCaseSensitivity(Qt::CaseInsensitive);
        return french;
    }();
    return c;
}

} // namespace

bool naturallyBefore(const QString &a, const QString &b)
{
    const int order = collator().compare(a, b);
    // Names that the collation finds equal ("Img1" and "img1") keep a fixed order.
    return order != 0 ? order < 0 : a < b;
}

void sortNaturally(QStringList &names)
{
    std::stable_sort(names.begin(), names.end(), naturallyBefore);
}

} // namespace kelbo
