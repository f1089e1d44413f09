#pragma once
// Stand-ins for the controls that the logic below the windows reads and changes: a text box
// and the list view of file entries. The windows hand adapters over their Qt widgets to the
// logic; tests may hand plain implementations.

#include <QString>

class QLineEdit;
class QTreeWidget;

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

// Limits what the user can type or paste into `edit` to `characters` characters, while text
// set by the program is kept whole (QLineEdit's own maximum length would cut it too).
void setTypingLimit(QLineEdit &edit, int characters);

class LineEditField final : public TextField {
public:
    explicit LineEditField(QLineEdit &edit) : m_edit(edit) {}
    QString text() const override;
    void setText(const QString &text) override;

private:
    QLineEdit &m_edit;
};

// A one-column report list (QTreeWidget without a tree).
class TreeListEntries final : public ListEntries {
public:
    explicit TreeListEntries(QTreeWidget &tree) : m_tree(tree) {}
    int count() const override;
    QString text(int position) const override;
    void add(const QString &text) override;
    void insert(int position, const QString &text) override;
    void remove(int position) override;
    void clear() override;
    int selected() const override;
    void select(int position) override;

private:
    QTreeWidget &m_tree;
};

} // namespace kelbo
