#pragma once
// The WaWi's product-group hierarchy as a tree without widgets: the
// transfer places groups by it ("hiernr" = position in display order,
// "hierident" = depth) and the article list shows it.

#include <QHash>
#include <QString>
#include <QVector>

namespace mv {

class TVLBTable;

class GroupTree {
public:
    struct Node {
        int number = 0;          // group number carried by the node
        QString text;            // prefix + text field
        int parent = -1;         // index into Nodes(), -1 = top level
        int level = 0;           // 0 = top level
        QVector<int> children;   // indexes into Nodes(), in index order
    };

    void Clear();
    bool IsEmpty() const { return m_nodes.isEmpty(); }
    int Count() const { return int(m_nodes.size()); }
    const QVector<Node> &Nodes() const { return m_nodes; }
    // Node indexes of the top level, in order.
    const QVector<int> &Roots() const { return m_roots; }
    // Node indexes in display order (parents before their children,
    // children before the next sibling of their parent).
    const QVector<int> &DisplayOrder() const { return m_display; }

    // First node in display order carrying number: its display position
    // (hiernr) and level (hierident). False when no node carries it.
    bool FindGroupNode(int number, int *hiernr, int *hierident) const;
    // Texts from the top down to the first node carrying number, joined
    // by "_"; "" when no node carries it.
    QString GroupPath(int number) const;

    // Used by the builder.
    int Add(int number, const QString &text, int parent);
    void Finish();

private:
    QVector<Node> m_nodes;
    QVector<int> m_roots;
    QVector<int> m_display;
    QHash<int, int> m_firstByNumber;   // number -> display position of its first node
};

// Builds the groups of a Mandant into tree: the table's index indexName has
// the key (Mandant, parent); groups with a parent up to 0 form the top
// level, children follow level by level in index order. Groups left over
// (their parent is missing, or they sit in a cycle of parents) are placed
// at the top level with their subtrees; every group is placed once, so
// cyclic data cannot loop.
void BuildGroupTree(GroupTree &tree, TVLBTable &groups, int mandant, const QString &textField,
                    const QString &prefix, const QString &parentField, const QString &indexName);

} // namespace mv
