#pragma once
// The pieces every transfer step shares: text for SQL literals, the value
// rule, the boolean literals, picture collection and the generic writer
// that copies a dataset into a shop table.
// (SetMandantRange, EnsureEditing, StampUpdate, FieldText: wawi/WaWiDatasetOps.h;
// IndexOfText, SplitText: data/DatasetUtil.h.)

#include "data/Dataset.h"

#include <QString>
#include <QVector>

#include <functional>

namespace mv {

class TransferContext;
class MemTable;

// Prepares text for a single-quoted literal: apostrophes doubled, double
// quotes as two apostrophes (one inside <HTML> sections), line breaks as
// <br> outside <HTML> sections unless the text has its own <BR>; the
// markers are dropped. Backslashes stay as they are (the sessions read
// them literally).
QString SqlText(const QString &s);

enum class ColumnKind { Text, Numeric };
// Kind of a shop column from the field type its result reports.
ColumnKind KindOfFieldType(FieldType t);

struct ShopColumn {
    QString name;
    ColumnKind kind = ColumnKind::Text;
};
// The columns of a shop result in table order.
QVector<ShopColumn> ShopColumns(const Dataset &result);

// The value rule: 'V' for a non-empty text, a bare number (decimal point)
// for a numeric column, NULL for an empty or blank value. A numeric
// column's value that is no number is quoted, never sent bare.
QString SqlValue(ColumnKind kind, const QString &v);
// "C=" + SqlValue.
QString SqlAssignment(const QString &column, ColumnKind kind, const QString &v);
// Condition that finds a row by its key: C=value (numbers compared as
// numbers), C IS NULL for an empty key.
QString SqlKeyCondition(const QString &column, ColumnKind kind, const QString &v);

// The boolean literal rule: TRUE, WAHR, 1, JA, YES (any case) are true;
// "1"/"0" for a numeric column, "TRUE"/"FALSE" for a text column.
bool IsTrueLiteral(const QString &v);
QString BooleanLiteral(ColumnKind kind, const QString &v);

// p itself or ExeDir + p (which wins) when that file exists; "" otherwise.
// Windows separators in p are accepted.
QString ResolveLocalFile(const QString &p);
// File name a collected picture gets in PictureDir: lower case, SafeName.
QString PictureTargetName(const QString &path);
// A web address ("http://") is kept as it is; a local file is added to
// PictureList and its shop path (PictureSubdir + target name) returned;
// "" when the file is not found.
QString CollectPicture(const QString &ref);
// CollectPicture of ref, then WaWiDir + ref, then ExeDir + "vorlagen/" + ref.
QString CollectPictureAnywhere(const QString &ref);

// Copies every record of ds into table (INSERT or UPDATE by keyField).
// pictureField names the column holding a picture reference, or is empty.
void WriteRecords(TransferContext &ctx, Dataset &ds, const QString &table,
                  const QString &keyField, const QString &pictureField);

// Batched reading of shop rows: counts with countSql, then runs
// selectSql + " LIMIT offset,BatchSize" into ctx.ListQuery() and calls
// row(list) for every row, until the count is reached or STOP.
void ForEachShopRow(TransferContext &ctx, const QString &countSql, const QString &selectSql,
                    const std::function<void(MemTable &)> &row);

} // namespace mv
