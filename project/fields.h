#pragma once
// What the logic below the windows reads and changes of a project: a text field and the list
// of picture entries. The main window hands adapters over its Qt widgets; kelbo-export and
// tests use the in-memory implementations below.

#include <QString>

#include <QStringList>

#include <functional>

namespace kelbo {

class TextField {
public:
    virtual ~TextField() = default;
    virtual QString text() const = 0;
    // Setting the text runs the field's change notification, as typing does.
    virtual void setText(const QString &text) = 0;
};

// The list of entries of a list view; positions are 1-based.
class ListEntries {
public:
    virtual ~ListEntries() = default;
    virtual int count() const = 0;
    virtual QString text(int position) const = 0;
    virtual void add(const QString &text) = 0;                    // at the end
    virtual void insert(int position, const QString &text) = 0;   // becomes entry `position`
    virtual void remove(int position) = 0;
    virtual void clear() = 0;
    virtual int selected() const = 0;  // 0 when no entry is selected
    virtual void select(int position) = 0;
};

// Entries kept in memory; `selected` and `select` follow one selected position.
class MemoryList final : public ListEntries {
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

// A field kept in memory. `onChange`, when set, runs after each change of the text, as a
// text box's change notification does.
class MemoryField final : public TextField {
public:
    explicit MemoryField(QString t = {}) : value(std::move(t)) {}
    QString text() const override { return value; }
    void setText(const QString &t) override
    {
        value = t;
        if (onChange)
            onChange();
    }
    QString value;
    std::function<void()> onChange;
};

} // namespace kelbo
