#pragma once
// Adapters that hand the main window's Qt widgets to the logic as project fields and entries.

#include "project/fields.h"

class QLineEdit;
class QTreeWidget;

namespace kelbo {

// Limits what the user can type or paste into `edit` to `characters` characters: a key typed
// into a full field changes nothing, a pasted text is cut to what fits. Text set by the
// program is kept whole (QLineEdit's own maximum length would cut it too).
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
