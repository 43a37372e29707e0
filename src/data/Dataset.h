#pragma once
// The cursor every table of the program shares: WaWi tables, shop query
// results, gateway results and the local table files. Subclasses store rows;
// this class owns the cursor, the edit buffer, the state machine, the events
// and the filter.

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <functional>
#include <memory>
#include <stdexcept>

namespace mv {

class Dataset;
class FilterExpr;

// Raised by dataset operations that the caller got wrong (missing field,
// edit while closed, filter syntax). Callers at an operation's boundary
// catch it and turn it into a code or a message.
class DatasetError : public std::runtime_error {
public:
    explicit DatasetError(const QString &msg) : std::runtime_error(msg.toStdString()), m_msg(msg) {}
    QString message() const { return m_msg; }
private:
    QString m_msg;
};

enum class FieldType {
    String, Integer, SmallInt, Word, Boolean, Float, Currency, BCD, LargeInt,
    Date, Time, DateTime, Memo, FmtMemo, Graphic, Blob, AutoInc, Bytes
};

// Value forms held in a QVariant (invalid QVariant = NULL):
//   String, Memo, FmtMemo        QString
//   Integer, SmallInt, Word, AutoInc   int
//   LargeInt                     qint64
//   Boolean                      bool
//   Float, Currency, BCD         double
//   Date QDate, Time QTime, DateTime QDateTime (local time, ms precision)
//   Graphic, Blob, Bytes         QByteArray
bool IsNumericType(FieldType t);
bool IsTextType(FieldType t);   // String, Memo, FmtMemo
bool IsBlobType(FieldType t);   // Memo, FmtMemo, Graphic, Blob
QString FieldTypeName(FieldType t);
// A value in its field type's form as text, the way Field::AsString shows
// it (short date formats, decimal comma, "True"/"False"); "" for NULL.
QString FieldValueToText(const QVariant &v, FieldType t);

struct FieldDef {
    QString name;
    FieldType type = FieldType::String;
    int size = 0;          // characters for String, bytes for Bytes; 0 otherwise
    bool readOnly = false;
    bool required = false;
};

class Field {
public:
    Field(Dataset *ds, int index, const FieldDef &def);

    Dataset *DataSet() const { return m_ds; }
    int Index() const { return m_index; }
    const QString &FieldName() const { return m_def.name; }
    FieldType DataType() const { return m_def.type; }
    int Size() const { return m_def.size; }
    bool ReadOnly() const { return m_def.readOnly; }
    void SetReadOnly(bool ro) { m_def.readOnly = ro; }
    const FieldDef &Def() const { return m_def; }

    // Display and edit format: Delphi-style mask ("#,###,###,##0.00") for
    // numeric fields, date/time pattern for date fields; empty = default.
    QString DisplayFormat;
    QString EditFormat;
    QString DisplayLabel;   // column title; empty = field name
    int DisplayWidth = 0;   // characters; 0 = from size
    bool Visible = true;
    Qt::Alignment Alignment = Qt::AlignLeft;

    QVariant Value() const;
    bool IsNull() const;
    QString AsString() const;     // "" for NULL; dates in the short formats, floats with decimal comma
    int AsInteger() const;        // 0 for NULL
    qint64 AsLargeInt() const;
    double AsFloat() const;       // 0 for NULL
    bool AsBoolean() const;       // false for NULL
    QDateTime AsDateTime() const; // invalid for NULL
    QByteArray AsBytes() const;   // blob content; text as Windows-1252
    QString DisplayText() const;  // AsString formatted by DisplayFormat
    QString EditText() const;     // AsString formatted by EditFormat
    // The same for a value of this field taken from any row (views).
    QString DisplayTextOf(const QVariant &v) const;
    QString EditTextOf(const QVariant &v) const;

    // Setters need the dataset in edit or insert state (DatasetError
    // otherwise); the text is converted to the field's type (DatasetError
    // naming the field when it cannot be).
    void SetValue(const QVariant &v);
    void SetAsString(const QString &s);
    void SetAsInteger(int v) { SetValue(v); }
    void SetAsFloat(double v) { SetValue(v); }
    void SetAsBoolean(bool v) { SetValue(v); }
    void SetAsDateTime(const QDateTime &v) { SetValue(v); }
    void Clear() { SetValue(QVariant()); }

private:
    Dataset *m_ds;
    int m_index;
    FieldDef m_def;
};

// Converts v to the value form of type t (see above); throws DatasetError
// with fieldName in the message when it cannot.
QVariant ConvertToFieldType(const QVariant &v, FieldType t, const QString &fieldName);

enum LocateOption { LocateCaseInsensitive = 1, LocatePartialKey = 2 };

class Dataset : public QObject {
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert };

    explicit Dataset(QObject *parent = nullptr);
    ~Dataset() override;

    // --- open / close
    void Open();
    void Close();
    bool Active() const { return m_state != State::Inactive; }
    void SetActive(bool a) { a ? Open() : Close(); }
    State GetState() const { return m_state; }

    // --- fields
    int FieldCount() const { return int(m_fields.size()); }
    Field *FieldAt(int i) const { return m_fields.at(i).get(); }
    Field *FieldByName(const QString &name) const; // DatasetError naming the field when missing
    Field *FindField(const QString &name) const;   // nullptr when missing (case-insensitive)
    QStringList FieldNames() const;
    QVector<FieldDef> FieldDefs() const;

    // --- navigation over the visible rows (current order, range,
    // master-detail link and filter applied). RecNo is 1-based, 0 when
    // closed or empty.
    void First();
    void Next();
    void Prior();
    void Last();
    int MoveBy(int distance); // returns the distance actually moved
    bool Eof() const { return m_eof; }
    bool Bof() const { return m_bof; }
    bool IsEmpty() const { return RecordCount() == 0; }
    virtual int RecNo() const;
    virtual void SetRecNo(int recNo);
    virtual int RecordCount() const;

    // --- editing. Post writes the buffer through InternalPost; Cancel drops
    // it. Navigation while editing posts first (as the VCL does).
    void Edit();
    void Append();
    void Insert();
    void Post();
    void Cancel();
    void Delete();
    // Post if in edit/insert state; nothing otherwise.
    void CheckBrowseMode();
    // False for read-only datasets: Edit/Insert/Append/Delete then raise.
    virtual bool CanModify() const { return true; }
    // True while the edit buffer holds a change not yet posted.
    bool Modified() const { return m_modified; }

    // Rows as a view shows them (0-based): the visible rows plus, while
    // inserting, the new row at InsertIndex(). RowValue reads any row
    // without moving the cursor (the edit buffer for the row being edited).
    int DisplayRowCount() const;
    int InsertIndex() const { return m_state == State::Insert ? m_insertAt : -1; }
    QVariant RowValue(int displayRow, int fieldIndex) const;

    // Bulk work: no view signals between these; EnableControls resets views.
    void DisableControls() { ++m_disableCount; }
    void EnableControls();
    bool ControlsDisabled() const { return m_disableCount > 0; }

    // --- filter (shared evaluator; syntax error = DatasetError with position)
    void SetFilter(const QString &expr);
    QString Filter() const { return m_filterText; }
    void SetFiltered(bool on);
    bool Filtered() const { return m_filtered; }

    // Moves to the first visible row whose fields (";"-separated list)
    // match values; returns false and stays put when there is none.
    bool Locate(const QString &fieldNames, const QVariantList &values, int options = 0);

    // Row identity that survives re-ordering within one open period.
    QVariant Bookmark() const;
    // Moves to the row; false (cursor unchanged) when the row is gone or hidden.
    bool GotoBookmark(const QVariant &bm);

    // --- events. BeforeDelete returning false cancels the delete silently.
    std::function<void(Dataset &)> AfterOpen;
    std::function<void(Dataset &)> BeforePost;
    std::function<void(Dataset &)> AfterPost;
    std::function<void(Dataset &)> AfterInsert;
    std::function<bool(Dataset &)> BeforeDelete;
    std::function<void(Dataset &)> AfterDelete;
    std::function<void(Dataset &)> AfterScroll;
    std::function<void(Dataset &)> BeforeInsert;
    std::function<void(Dataset &)> OnNewRecord;   // defaults of a new row
    std::function<void(Dataset &)> BeforeEdit;
    std::function<void(Dataset &)> AfterEdit;
    std::function<void(Dataset &)> AfterCancel;
    std::function<void(Dataset &)> BeforeClose;
    std::function<void(Dataset &)> AfterClose;

    // Value of field i of the current record (edit buffer while editing).
    QVariant CurrentValue(int fieldIndex) const;
    void SetCurrentValue(int fieldIndex, const QVariant &v);

signals:
    // The set or order of visible rows changed (open, close, filter, range,
    // index, insert, delete): views reset.
    void rowsReset();
    // One visible row's values changed (post of an edit).
    void rowChanged(int recNo);
    void stateChanged();
    void cursorMoved(int recNo);

protected:
    // --- storage primitives. Positions are 0-based in the subclass's
    // current order (index, range and master-detail link applied, filter
    // not applied).
    virtual void InternalOpen() = 0;   // calls SetFieldDefs
    virtual void InternalClose() = 0;
    virtual int InternalRowCount() const = 0;
    virtual QVariant InternalValue(int pos, int fieldIndex) const = 0;
    // Writes values as a new row (pos = -1) or over row pos; returns the
    // row's new position in the current order, -1 when it left the
    // visible set (e.g. key moved outside the range).
    virtual int InternalPost(int pos, const QVector<QVariant> &values) = 0;
    virtual void InternalDelete(int pos) = 0;
    // Initial values of a new row: NULLs; subclasses add auto-increment
    // values and master link fields.
    virtual void InternalInitRecord(QVector<QVariant> &values);
    // Stable identity of the row at pos (for bookmarks); default pos.
    virtual QVariant InternalRowId(int pos) const;
    virtual int InternalFindRowId(const QVariant &id) const;

    void SetFieldDefs(const QVector<FieldDef> &defs);
    // Subclasses call this when order, range or link changed: rebuilds the
    // visible set and moves to the first row.
    void Resync();
    // Position of the current record in the subclass's order (-1 if none).
    int CurrentPos() const;
    // While posting a new row: the position before which Insert asked to
    // place it (-1 = append). Subclasses without an order of their own use it.
    int PendingInsertPos() const { return m_pendingInsertPos; }

private:
    void rebuildVisible();
    bool rowPassesFilter(int pos) const;
    void setCursor(int visibleIndex);
    void setState(State s);
    int visibleCount() const;
    int posOf(int visibleIndex) const;
    int visibleIndexOfPos(int pos) const;
    void compileFilter();
    void startInsert(bool append);
    void emitReset();
    void emitRowChanged(int recNo);
    void checkActive() const;
    void checkModify() const;

    std::vector<std::unique_ptr<Field>> m_fields;
    QHash<QString, int> m_fieldIndex;  // lower-case name -> index
    State m_state = State::Inactive;
    int m_cur = -1;            // index into the visible rows
    bool m_eof = true, m_bof = true;
    QVector<QVariant> m_buffer;  // edit/insert buffer
    int m_editPos = -1;          // row being edited (-1 insert)
    int m_insertAt = -1;         // visible index where an Insert shows
    QString m_filterText;
    bool m_filtered = false;
    std::shared_ptr<FilterExpr> m_filter;
    QVector<int> m_visible;      // visible index -> position (when filtered)
    bool m_useVisible = false;
    bool m_modified = false;
    int m_pendingInsertPos = -1;
    int m_disableCount = 0;
    bool m_resetPending = false;
    friend class Field;
};

} // namespace mv
