#pragma once
// Filter expressions of the table engine's syntax, shared by every dataset:
//   comparisons = <> != < <= > >=, AND, OR, NOT, parentheses, IS [NOT] NULL,
//   'text' with doubled apostrophes, numbers, TRUE/FALSE/WAHR/FALSCH, NULL,
//   field names (bare, [in brackets] or "in double quotes").
// Text literals compared with date fields are read in the short date and
// time formats. NULL rules: a NULL value sorts below every value (so an
// empty numeric field passes "ART<200"); on text fields NULL and '' are
// the same (so "Name<>''" drops empty names). "=" on text is case-sensitive.
//
// Parsed once and bound to field indexes once; Evaluate then runs per
// record with a callback that yields the value of a field index.

#include "data/Dataset.h"

#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

namespace mv {

class FilterExpr {
public:
    struct FieldRef {
        int index = -1;
        FieldType type = FieldType::String;
    };
    // Maps a field name to its index and type; nullopt when the dataset has
    // no such field (Compile then raises a DatasetError naming it).
    using Resolver = std::function<std::optional<FieldRef>(const QString &name)>;
    using ValueFn = std::function<QVariant(int fieldIndex)>;

    ~FilterExpr();

    // Syntax check only (no fields needed); DatasetError with the position.
    static void CheckSyntax(const QString &text);
    // Parses and binds; DatasetError on syntax errors, unknown fields and
    // literals that do not fit their field (a date that is no date).
    static std::shared_ptr<FilterExpr> Compile(const QString &text, const Resolver &resolve);

    bool Evaluate(const ValueFn &value) const;
    // True for an empty expression (no condition).
    bool IsEmpty() const;
    // Field indexes the expression reads.
    QVector<int> UsedFields() const;

    struct Node;
private:
    FilterExpr();
    std::unique_ptr<Node> m_root;
    QVector<int> m_used;
};

} // namespace mv
