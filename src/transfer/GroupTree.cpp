#include "transfer/GroupTree.h"

#include "core/UiHooks.h"
#include "wawi/TVLBTable.h"

#include <QSet>

namespace mv {

void GroupTree::Clear()
{
    m_nodes.clear();
    m_roots.clear();
    m_display.clear();
    m_firstByNumber.clear();
}

int GroupTree::Add(int number, const QString &text, int parent)
{
    Node n;
    n.number = number;
    n.text = text;
    n.parent = parent;
    n.level = parent < 0 ? 0 : m_nodes[parent].level + 1;
    m_nodes.append(n);
    const int i = int(m_nodes.size()) - 1;
    if (parent < 0)
        m_roots.append(i);
    else
        m_nodes[parent].children.append(i);
    return i;
}

void GroupTree::Finish()
{
    m_display.clear();
    m_display.reserve(m_nodes.size());
    m_firstByNumber.clear();
    // Depth first without recursion: deep hierarchies cannot exhaust the stack.
    QVector<int> stack;
    for (auto it = m_roots.crbegin(); it != m_roots.crend(); ++it)
        stack.append(*it);
    while (!stack.isEmpty()) {
        const int i = stack.takeLast();
        const int pos = int(m_display.size());
        m_display.append(i);
        if (!m_firstByNumber.contains(m_nodes[i].number))
            m_firstByNumber.insert(m_nodes[i].number, pos);
        const QVector<int> &ch = m_nodes[i].children;
        for (auto it = ch.crbegin(); it != ch.crend(); ++it)
            stack.append(*it);
    }
}

bool GroupTree::FindGroupNode(int number, int *hiernr, int *hierident) const
{
    const auto it = m_firstByNumber.constFind(number);
    if (it == m_firstByNumber.constEnd())
        return false;
    if (hiernr)
        *hiernr = it.value();
    if (hierident)
        *hierident = m_nodes[m_display[it.value()]].level;
    return true;
}

QString GroupTree::GroupPath(int number) const
{
    const auto it = m_firstByNumber.constFind(number);
    if (it == m_firstByNumber.constEnd())
        return QString();
    int i = m_display[it.value()];
    QString path = m_nodes[i].text;
    for (i = m_nodes[i].parent; i >= 0; i = m_nodes[i].parent)
        path = m_nodes[i].text + QLatin1Char('_') + path;
    return path;
}

void BuildGroupTree(GroupTree &tree, TVLBTable &groups, int mandant, const QString &textField,
                    const QString &prefix, const QString &parentField, const QString &indexName)
{
    BusyScope busy;
    tree.Clear();
    if (!groups.Active())
        groups.Open();
    groups.SetIndexName(indexName);
    groups.Refresh();
    // The parent number comes through the index's last key field.
    const QStringList keys = groups.CurrentIndexFields();
    Field *parentF = keys.isEmpty() ? groups.FieldByName(parentField) : groups.FieldByName(keys.last());
    Field *numberF = groups.FieldAt(0);
    Field *textF = groups.FindField(textField);

    struct Group {
        int number;
        int parent;
        QString text;
    };
    // One pass over the Mandant's groups in index order; children are
    // found by their parent number from here on.
    groups.SetRange({mandant, -999999}, {mandant, 999999});
    QVector<Group> all;
    QHash<int, QVector<int>> byParent;   // parent number -> indexes into all, in index order
    for (groups.First(); !groups.Eof(); groups.Next()) {
        all.append({numberF->AsInteger(), parentF->AsInteger(), textF ? textF->AsString() : QString()});
        byParent[all.last().parent].append(int(all.size()) - 1);
    }
    groups.CancelRange();

    const int toPlace = int(all.size());
    QSet<int> placed;   // group numbers that have a node
    auto add = [&](int gi, int parentNode) {
        placed.insert(all[gi].number);
        return tree.Add(all[gi].number, prefix + all[gi].text, parentNode);
    };

    QVector<int> pending;   // nodes added but not yet expanded
    for (int gi = 0; gi < all.size(); ++gi)
        if (all[gi].parent <= 0 && !placed.contains(all[gi].number))
            pending.append(add(gi, -1));

    // Level by level.
    while (!pending.isEmpty() && tree.Count() < toPlace) {
        QVector<int> next;
        for (int node : std::as_const(pending)) {
            const auto it = byParent.constFind(tree.Nodes()[node].number);
            if (it == byParent.constEnd())
                continue;
            for (int gi : it.value())
                if (!placed.contains(all[gi].number))
                    next.append(add(gi, node));
        }
        pending = next;
        Ui().ProcessEvents();
    }

    // Left over: missing parents and cycles; each at the top with its subtree.
    if (tree.Count() < toPlace) {
        for (int gi = 0; gi < all.size(); ++gi) {
            if (placed.contains(all[gi].number))
                continue;
            QVector<int> stack{add(gi, -1)};
            while (!stack.isEmpty()) {
                const int node = stack.takeLast();
                const auto it = byParent.constFind(tree.Nodes()[node].number);
                if (it == byParent.constEnd())
                    continue;
                // Children in index order, each subtree before the next sibling.
                QVector<int> added;
                for (int ci : it.value())
                    if (!placed.contains(all[ci].number))
                        added.append(add(ci, node));
                for (auto r = added.crbegin(); r != added.crend(); ++r)
                    stack.append(*r);
            }
        }
    }
    tree.Finish();
}

} // namespace mv
