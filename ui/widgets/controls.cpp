#include "ui/widgets/controls.h"

#include <QLineEdit>
#include <QTreeWidget>

#include <algorithm>

namespace kelbo {

namespace {

// Keeps user edits (typing, pasting, dropping) within the limit: the characters the edit
// inserted are cut so that the text holds at most the limit, as a field with a maximum length
// does. A key typed into a full field therefore changes nothing, and a pasted text is cut to
// what fits. An edit that only deleted characters from a longer text the program had set is
// kept. QLineEdit emits textEdited, for user edits only, before textChanged; the text before
// the edit is the one of the last textChanged.
class TypingLimit final : public QObject {
public:
    TypingLimit(QLineEdit &edit, int characters)
        : QObject(&edit), m_edit(edit), m_characters(characters), m_before(edit.text())
    {
        connect(&edit, &QLineEdit::textEdited, this, &TypingLimit::edited);
        connect(&edit, &QLineEdit::textChanged, this, [this] { m_before = m_edit.text(); });
    }

private:
    // True when `after` is `before` with one run of characters removed.
    static bool onlyDeleted(const QString &before, const QString &after)
    {
        if (after.size() >= before.size())
            return false;
        qsizetype prefix = 0;
        while (prefix < after.size() && after.at(prefix) == before.at(prefix))
            ++prefix;
        return QStringView(before).right(after.size() - prefix) == QStringView(after).mid(prefix);
    }

    void edited(const QString &text)
    {
        if (text.size() <= m_characters || onlyDeleted(m_before, text))
            return;
        // The edit replaced the middle of the old text by the run between the unchanged
        // start and the unchanged end; that run keeps only the characters that fit.
        qsizetype prefix = 0;
        while (prefix < m_before.size() && prefix < text.size()
               && m_before.at(prefix) == text.at(prefix))
            ++prefix;
        qsizetype suffix = 0;
        while (suffix < m_before.size() - prefix && suffix < text.size() - prefix
               && m_before.at(m_before.size() - 1 - suffix) == text.at(text.size() - 1 - suffix))
            ++suffix;
        const qsizetype inserted = text.size() - prefix - suffix;
        const qsizetype room = std::max<qsizetype>(0, m_characters - prefix - suffix);
        const qsizetype kept = std::min(inserted, room);
        const QString cut = text.left(prefix + kept) + text.right(suffix);
        m_edit.setText(cut);
        m_edit.setCursorPosition(int(prefix + kept));
    }

    QLineEdit &m_edit;
    int m_characters;
    QString m_before;
};

} // namespace

void setTypingLimit(QLineEdit &edit, int characters)
{
    new TypingLimit(edit, characters);
}

QString LineEditField::text() const
{
    return m_edit.text();
}

void LineEditField::setText(const QString &text)
{
    m_edit.setText(text);
}

int TreeListEntries::count() const
{
    return m_tree.topLevelItemCount();
}

QString TreeListEntries::text(int position) const
{
    const QTreeWidgetItem *item = m_tree.topLevelItem(position - 1);
    return item ? item->text(0) : QString();
}

void TreeListEntries::add(const QString &text)
{
    insert(count() + 1, text);
}

void TreeListEntries::insert(int position, const QString &text)
{
    auto *item = new QTreeWidgetItem(QStringList{text});
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    m_tree.insertTopLevelItem(position - 1, item);
}

void TreeListEntries::remove(int position)
{
    delete m_tree.takeTopLevelItem(position - 1);
}

void TreeListEntries::clear()
{
    m_tree.clear();
}

int TreeListEntries::selected() const
{
    const QList<QTreeWidgetItem *> items = m_tree.selectedItems();
    if (items.isEmpty())
        return 0;
    return m_tree.indexOfTopLevelItem(items.first()) + 1;
}

void TreeListEntries::select(int position)
{
    QTreeWidgetItem *item = m_tree.topLevelItem(position - 1);
    if (!item)
        return;
    m_tree.setCurrentItem(item);
    item->setSelected(true);
    m_tree.scrollToItem(item);
}

} // namespace kelbo
