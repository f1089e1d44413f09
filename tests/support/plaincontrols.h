#pragma once
// In-memory stand-ins for the window's image list and fields, for code that takes the
// ListEntries and TextField interfaces without a window.

#include "platform/controls.h"

#include <QString>
#include <QStringList>

namespace kelbo::test {

// Entries are 1-based, as in the list view.
class PlainList final : public ListEntries {
public:
    QStringList items;
    int count() const override { return int(items.size()); }
    QString text(int position) const override { return items.at(position - 1); }
    void add(const QString &text) override { items.append(text); }
    void insert(int position, const QString &text) override { items.insert(position - 1, text); }
    void remove(int position) override { items.removeAt(position - 1); }
    void clear() override { items.clear(); }
    int selected() const override { return 0; }
    void select(int) override {}
};

class PlainField final : public TextField {
public:
    explicit PlainField(QString t) : value(std::move(t)) {}
    QString text() const override { return value; }
    void setText(const QString &t) override { value = t; }
    QString value;
};

} // namespace kelbo::test
