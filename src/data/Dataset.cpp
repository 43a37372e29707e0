#include "data/Dataset.h"

#include "core/TextUtil.h"
#include "data/FilterExpr.h"
#include "data/FormatSettings.h"

#include <cmath>
#include <limits>

namespace mv {

// ------------------------------------------------------------ field types

bool IsNumericType(FieldType t)
{
    switch (t) {
    case FieldType::Integer: case FieldType::SmallInt: case FieldType::Word: case FieldType::Float:
    case FieldType::Currency: case FieldType::BCD: case FieldType::LargeInt: case FieldType::AutoInc:
        return true;
    default:
        return false;
    }
}

bool IsTextType(FieldType t)
{
    return t == FieldType::String || t == FieldType::Memo || t == FieldType::FmtMemo;
}

bool IsBlobType(FieldType t)
{
    return t == FieldType::Memo || t == FieldType::FmtMemo || t == FieldType::Graphic || t == FieldType::Blob;
}

QString FieldTypeName(FieldType t)
{
    switch (t) {
    case FieldType::String: return QStringLiteral("String");
    case FieldType::Integer: return QStringLiteral("Integer");
    case FieldType::SmallInt: return QStringLiteral("SmallInt");
    case FieldType::Word: return QStringLiteral("Word");
    case FieldType::Boolean: return QStringLiteral("Boolean");
    case FieldType::Float: return QStringLiteral("Float");
    case FieldType::Currency: return QStringLiteral("Currency");
    case FieldType::BCD: return QStringLiteral("BCD");
    case FieldType::LargeInt: return QStringLiteral("LargeInt");
    case FieldType::Date: return QStringLiteral("Date");
    case FieldType::Time: return QStringLiteral("Time");
    case FieldType::DateTime: return QStringLiteral("DateTime");
    case FieldType::Memo: return QStringLiteral("Memo");
    case FieldType::FmtMemo: return QStringLiteral("FmtMemo");
    case FieldType::Graphic: return QStringLiteral("Graphic");
    case FieldType::Blob: return QStringLiteral("Blob");
    case FieldType::AutoInc: return QStringLiteral("AutoInc");
    case FieldType::Bytes: return QStringLiteral("Bytes");
    }
    return QString();
}

namespace {

bool isNullValue(const QVariant &v)
{
    return !v.isValid() || v.isNull();
}

// Delphi's TDateTime: days since 30.12.1899 with the time as fraction.
const QDate kDelphiEpoch(1899, 12, 30);

double toDelphiDate(const QDateTime &dt)
{
    const double days = double(kDelphiEpoch.daysTo(dt.date()));
    const double frac = dt.time().msecsSinceStartOfDay() / 86400000.0;
    return days >= 0 ? days + frac : days - frac;
}

QDateTime fromDelphiDate(double v)
{
    // 9999-12-31 is the last day a TDateTime holds; beyond it (and for NaN)
    // there is no date.
    if (!std::isfinite(v) || std::fabs(v) > 2958466.0)
        return QDateTime();
    qint64 days = qint64(std::trunc(v));
    // Rounded to whole milliseconds first: a value within half a millisecond
    // of midnight is that midnight, not the day before at 24:00.
    qint64 ms = std::llround(std::fabs(v - std::trunc(v)) * 86400000.0);
    if (ms >= 86400000) {
        ms -= 86400000;
        days += v < 0 ? -1 : 1;
    }
    return QDateTime(kDelphiEpoch.addDays(days), QTime::fromMSecsSinceStartOfDay(int(ms)));
}

bool parseBool(const QString &s, bool *out)
{
    const QString u = s.trimmed().toUpper();
    static const char *yes[] = {"TRUE", "WAHR", "1", "JA", "YES", "T", "J", "Y", "-1"};
    static const char *no[] = {"FALSE", "FALSCH", "0", "NEIN", "NO", "F", "N"};
    for (const char *w : yes)
        if (u == QLatin1String(w)) {
            *out = true;
            return true;
        }
    for (const char *w : no)
        if (u == QLatin1String(w)) {
            *out = false;
            return true;
        }
    return false;
}

[[noreturn]] void badValue(const QVariant &v, const QString &fieldName)
{
    throw DatasetError(QStringLiteral("'%1' ist kein gültiger Wert für das Feld '%2'").arg(v.toString(), fieldName));
}

} // namespace

QString FieldValueToText(const QVariant &v, FieldType t)
{
    if (isNullValue(v))
        return QString();
    switch (t) {
    case FieldType::String: case FieldType::Memo: case FieldType::FmtMemo:
        if (v.typeId() == QMetaType::QByteArray)
            return FromAnsi(v.toByteArray());
        if (v.typeId() == QMetaType::Double)
            return FloatToText(v.toDouble());
        if (v.typeId() == QMetaType::Bool)
            return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
        if (v.typeId() == QMetaType::QDateTime)
            return DateTimeToText(v.toDateTime());
        if (v.typeId() == QMetaType::QDate)
            return DateToText(v.toDate());
        return v.toString();
    case FieldType::Integer: case FieldType::SmallInt: case FieldType::Word: case FieldType::AutoInc:
    case FieldType::LargeInt:
        if (v.typeId() == QMetaType::Double)
            return FloatToText(v.toDouble());
        return QString::number(v.toLongLong());
    case FieldType::Float: case FieldType::Currency: case FieldType::BCD:
        return FloatToText(v.toDouble());
    case FieldType::Boolean:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case FieldType::Date:
        return DateToText(v.typeId() == QMetaType::QDateTime ? v.toDateTime().date() : v.toDate());
    case FieldType::Time:
        return TimeToText(v.typeId() == QMetaType::QDateTime ? v.toDateTime().time() : v.toTime());
    case FieldType::DateTime:
        if (v.typeId() == QMetaType::QDate)
            return DateToText(v.toDate());
        return DateTimeToText(v.toDateTime());
    case FieldType::Graphic: case FieldType::Blob: case FieldType::Bytes:
        if (v.typeId() == QMetaType::QByteArray)
            return FromAnsi(v.toByteArray());
        return v.toString();
    }
    return v.toString();
}

QVariant ConvertToFieldType(const QVariant &v, FieldType t, const QString &fieldName)
{
    if (isNullValue(v))
        return QVariant();
    const int id = v.typeId();
    const bool isText = id == QMetaType::QString;
    const QString text = isText ? v.toString() : QString();
    switch (t) {
    case FieldType::String: case FieldType::Memo: case FieldType::FmtMemo:
        if (isText)
            return v;
        return FieldValueToText(v, t);
    case FieldType::Integer: case FieldType::SmallInt: case FieldType::Word: case FieldType::AutoInc:
    case FieldType::LargeInt: {
        qint64 n = 0;
        if (isText || id == QMetaType::QByteArray) {
            const QString s = (isText ? text : FromAnsi(v.toByteArray())).trimmed();
            if (s.isEmpty())
                return QVariant();
            bool ok = false;
            n = s.toLongLong(&ok);
            if (!ok) {
                double d;
                if (!TextToFloat(s, &d) || std::fabs(d) > 9.2e18)
                    badValue(v, fieldName);
                n = std::llround(d);
            }
        } else if (id == QMetaType::Double || id == QMetaType::Float) {
            const double d = v.toDouble();
            if (!std::isfinite(d) || std::fabs(d) > 9.2e18)
                badValue(v, fieldName);
            n = std::llround(d);
        } else if (id == QMetaType::Bool) {
            n = v.toBool() ? 1 : 0;
        } else {
            bool ok = false;
            n = v.toLongLong(&ok);
            if (!ok)
                badValue(v, fieldName);
        }
        qint64 lo = std::numeric_limits<int>::min(), hi = std::numeric_limits<int>::max();
        if (t == FieldType::SmallInt) {
            lo = -32768;
            hi = 32767;
        } else if (t == FieldType::Word) {
            lo = 0;
            hi = 65535;
        } else if (t == FieldType::LargeInt) {
            return QVariant(n);
        }
        if (n < lo || n > hi)
            throw DatasetError(QStringLiteral("%1 liegt außerhalb des gültigen Bereichs des Feldes '%2'").arg(n).arg(fieldName));
        return QVariant(int(n));
    }
    case FieldType::Float: case FieldType::Currency: case FieldType::BCD: {
        if (isText || id == QMetaType::QByteArray) {
            const QString s = (isText ? text : FromAnsi(v.toByteArray())).trimmed();
            if (s.isEmpty())
                return QVariant();
            double d;
            if (!TextToFloat(s, &d))
                badValue(v, fieldName);
            return d;
        }
        if (id == QMetaType::Bool)
            return v.toBool() ? 1.0 : 0.0;
        if (id == QMetaType::QDateTime)
            return toDelphiDate(v.toDateTime());
        bool ok = false;
        const double d = v.toDouble(&ok);
        if (!ok)
            badValue(v, fieldName);
        return d;
    }
    case FieldType::Boolean: {
        if (id == QMetaType::Bool)
            return v;
        if (isText) {
            if (text.trimmed().isEmpty())
                return QVariant();
            bool b;
            if (!parseBool(text, &b))
                badValue(v, fieldName);
            return b;
        }
        bool ok = false;
        const double d = v.toDouble(&ok);
        if (!ok)
            badValue(v, fieldName);
        return d != 0;
    }
    case FieldType::Date: case FieldType::Time: case FieldType::DateTime: {
        QDateTime dt;
        if (id == QMetaType::QDateTime)
            dt = v.toDateTime();
        else if (id == QMetaType::QDate)
            dt = QDateTime(v.toDate(), QTime(0, 0));
        else if (id == QMetaType::QTime)
            dt = QDateTime(kDelphiEpoch, v.toTime());
        else if (isText) {
            if (text.trimmed().isEmpty())
                return QVariant();
            if (t == FieldType::Time) {
                const QTime tm = TextToTime(text);
                if (tm.isValid())
                    return tm;
            }
            dt = TextToDateTime(text);
        } else if (id == QMetaType::Double || id == QMetaType::Int || id == QMetaType::LongLong) {
            dt = fromDelphiDate(v.toDouble());
        }
        if (!dt.isValid())
            badValue(v, fieldName);
        if (t == FieldType::Date)
            return dt.date();
        if (t == FieldType::Time)
            return dt.time();
        return dt;
    }
    case FieldType::Graphic: case FieldType::Blob: case FieldType::Bytes:
        if (id == QMetaType::QByteArray)
            return v;
        if (isText)
            return ToAnsi(text);
        return ToAnsi(v.toString());
    }
    return v;
}

// ------------------------------------------------------------------ Field

Field::Field(Dataset *ds, int index, const FieldDef &def) : m_ds(ds), m_index(index), m_def(def)
{
    if (IsNumericType(def.type))
        Alignment = Qt::AlignRight;
}

QVariant Field::Value() const
{
    return m_ds->CurrentValue(m_index);
}

bool Field::IsNull() const
{
    return isNullValue(Value());
}

QString Field::AsString() const
{
    return FieldValueToText(Value(), m_def.type);
}

qint64 Field::AsLargeInt() const
{
    const QVariant v = Value();
    if (isNullValue(v))
        return 0;
    return ConvertToFieldType(v, FieldType::LargeInt, m_def.name).toLongLong();
}

int Field::AsInteger() const
{
    const QVariant v = Value();
    if (isNullValue(v))
        return 0;
    if (v.typeId() == QMetaType::Int)
        return v.toInt();
    return ConvertToFieldType(v, FieldType::Integer, m_def.name).toInt();
}

double Field::AsFloat() const
{
    const QVariant v = Value();
    if (isNullValue(v))
        return 0;
    if (v.typeId() == QMetaType::Double)
        return v.toDouble();
    return ConvertToFieldType(v, FieldType::Float, m_def.name).toDouble();
}

bool Field::AsBoolean() const
{
    const QVariant v = Value();
    if (isNullValue(v))
        return false;
    return ConvertToFieldType(v, FieldType::Boolean, m_def.name).toBool();
}

QDateTime Field::AsDateTime() const
{
    const QVariant v = Value();
    if (isNullValue(v))
        return QDateTime();
    const QVariant c = ConvertToFieldType(v, FieldType::DateTime, m_def.name);
    return c.toDateTime();
}

QByteArray Field::AsBytes() const
{
    const QVariant v = Value();
    if (isNullValue(v))
        return QByteArray();
    if (v.typeId() == QMetaType::QByteArray)
        return v.toByteArray();
    return ToAnsi(AsString());
}

namespace {
QString formatted(const Field &f, const QVariant &v, const QString &fmt)
{
    if (isNullValue(v))
        return QString();
    if (!fmt.isEmpty()) {
        const FieldType t = f.DataType();
        try {
            if (IsNumericType(t))
                return FormatFloatMask(fmt, ConvertToFieldType(v, FieldType::Float, f.FieldName()).toDouble());
            if (t == FieldType::Date || t == FieldType::Time || t == FieldType::DateTime)
                return FormatDateTimeMask(fmt, ConvertToFieldType(v, FieldType::DateTime, f.FieldName()).toDateTime());
        } catch (const DatasetError &) {
        }
    }
    return FieldValueToText(v, f.DataType());
}
}

QString Field::DisplayText() const
{
    return formatted(*this, Value(), DisplayFormat);
}

QString Field::EditText() const
{
    return formatted(*this, Value(), EditFormat);
}

QString Field::DisplayTextOf(const QVariant &v) const
{
    return formatted(*this, v, DisplayFormat);
}

QString Field::EditTextOf(const QVariant &v) const
{
    return formatted(*this, v, EditFormat);
}

void Field::SetValue(const QVariant &v)
{
    if (m_def.readOnly)
        throw DatasetError(QStringLiteral("Feld '%1' kann nicht geändert werden").arg(m_def.name));
    m_ds->SetCurrentValue(m_index, v);
}

void Field::SetAsString(const QString &s)
{
    SetValue(s);
}

// ---------------------------------------------------------------- Dataset

Dataset::Dataset(QObject *parent) : QObject(parent) {}

Dataset::~Dataset() = default;

void Dataset::checkActive() const
{
    if (m_state == State::Inactive)
        throw DatasetError(QStringLiteral("Operation bei geschlossener Datenmenge nicht möglich"));
}

void Dataset::checkModify() const
{
    if (!CanModify())
        throw DatasetError(QStringLiteral("Schreibgeschützte Datenmenge kann nicht geändert werden"));
}

void Dataset::setState(State s)
{
    if (m_state == s)
        return;
    m_state = s;
    emit stateChanged();
}

void Dataset::emitReset()
{
    if (m_disableCount > 0) {
        m_resetPending = true;
        return;
    }
    emit rowsReset();
}

void Dataset::emitRowChanged(int recNo)
{
    if (m_disableCount > 0) {
        m_resetPending = true;
        return;
    }
    emit rowChanged(recNo);
}

void Dataset::EnableControls()
{
    if (m_disableCount > 0 && --m_disableCount == 0 && m_resetPending) {
        m_resetPending = false;
        emit rowsReset();
        emit cursorMoved(RecNo());
    }
}

void Dataset::Open()
{
    if (Active())
        return;
    InternalOpen();
    m_state = State::Browse;
    try {
        compileFilter();
    } catch (...) {
        m_state = State::Inactive;
        InternalClose();
        throw;
    }
    rebuildVisible();
    m_eof = visibleCount() == 0;
    m_bof = true;
    m_cur = m_eof ? -1 : 0;
    emit stateChanged();
    emitReset();
    if (AfterOpen)
        AfterOpen(*this);
    if (AfterScroll)
        AfterScroll(*this);
}

void Dataset::Close()
{
    if (!Active())
        return;
    if (BeforeClose)
        BeforeClose(*this);
    m_buffer.clear();
    m_modified = false;
    m_pendingInsertPos = -1;
    m_state = State::Inactive;
    InternalClose();
    m_cur = -1;
    m_eof = m_bof = true;
    m_visible.clear();
    m_useVisible = false;
    emit stateChanged();
    emitReset();
    if (AfterClose)
        AfterClose(*this);
}

void Dataset::SetFieldDefs(const QVector<FieldDef> &defs)
{
    // Keep the Field objects (and their formats) when the layout is the same.
    bool same = int(m_fields.size()) == defs.size();
    for (int i = 0; same && i < defs.size(); ++i) {
        const FieldDef &a = m_fields[size_t(i)]->Def();
        same = a.name == defs[i].name && a.type == defs[i].type && a.size == defs[i].size;
    }
    if (same)
        return;
    m_fields.clear();
    m_fieldIndex.clear();
    for (int i = 0; i < defs.size(); ++i) {
        m_fields.push_back(std::make_unique<Field>(this, i, defs[i]));
        const QString key = defs[i].name.toLower();
        if (!m_fieldIndex.contains(key))  // the first of equal names wins
            m_fieldIndex.insert(key, i);
    }
}

Field *Dataset::FieldByName(const QString &name) const
{
    Field *f = FindField(name);
    if (!f)
        throw DatasetError(QStringLiteral("Feld '%1' nicht gefunden").arg(name));
    return f;
}

Field *Dataset::FindField(const QString &name) const
{
    const auto it = m_fieldIndex.constFind(name.toLower());
    if (it != m_fieldIndex.cend())
        return m_fields[size_t(*it)].get();
    // Names that only match with Unicode case folding.
    for (const auto &f : m_fields)
        if (f->FieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    return nullptr;
}

QStringList Dataset::FieldNames() const
{
    QStringList out;
    for (const auto &f : m_fields)
        out << f->FieldName();
    return out;
}

QVector<FieldDef> Dataset::FieldDefs() const
{
    QVector<FieldDef> out;
    for (const auto &f : m_fields)
        out << f->Def();
    return out;
}

// ------------------------------------------------------------ visible set

int Dataset::visibleCount() const
{
    if (m_state == State::Inactive)
        return 0;
    return m_useVisible ? int(m_visible.size()) : InternalRowCount();
}

int Dataset::posOf(int visibleIndex) const
{
    return m_useVisible ? m_visible.at(visibleIndex) : visibleIndex;
}

int Dataset::visibleIndexOfPos(int pos) const
{
    if (pos < 0)
        return -1;
    if (!m_useVisible)
        return pos < InternalRowCount() ? pos : -1;
    const auto it = std::lower_bound(m_visible.cbegin(), m_visible.cend(), pos);
    return (it != m_visible.cend() && *it == pos) ? int(it - m_visible.cbegin()) : -1;
}

void Dataset::compileFilter()
{
    m_filter.reset();
    if (m_filterText.trimmed().isEmpty())
        return;
    m_filter = FilterExpr::Compile(m_filterText, [this](const QString &name) -> std::optional<FilterExpr::FieldRef> {
        Field *f = FindField(name);
        if (!f)
            return std::nullopt;
        return FilterExpr::FieldRef{f->Index(), f->DataType()};
    });
}

bool Dataset::rowPassesFilter(int pos) const
{
    return m_filter->Evaluate([this, pos](int f) { return InternalValue(pos, f); });
}

void Dataset::rebuildVisible()
{
    m_visible.clear();
    m_useVisible = m_filtered && m_filter && !m_filter->IsEmpty() && m_state != State::Inactive;
    if (!m_useVisible)
        return;
    const int n = InternalRowCount();
    m_visible.reserve(n);
    for (int pos = 0; pos < n; ++pos)
        if (rowPassesFilter(pos))
            m_visible.push_back(pos);
}

void Dataset::Resync()
{
    if (!Active())
        return;
    m_buffer.clear();
    m_modified = false;
    if (m_state != State::Browse)
        setState(State::Browse);
    rebuildVisible();
    const int n = visibleCount();
    m_cur = n ? 0 : -1;
    m_bof = true;
    m_eof = n == 0;
    emitReset();
    if (m_disableCount == 0)
        emit cursorMoved(RecNo());
    if (AfterScroll)
        AfterScroll(*this);
}

int Dataset::CurrentPos() const
{
    if (m_cur < 0 || m_state == State::Inactive || m_cur >= visibleCount())
        return -1;
    return posOf(m_cur);
}

// ------------------------------------------------------------- navigation

void Dataset::setCursor(int visibleIndex)
{
    m_cur = visibleIndex;
    if (m_disableCount == 0)
        emit cursorMoved(RecNo());
    if (AfterScroll)
        AfterScroll(*this);
}

void Dataset::First()
{
    checkActive();
    CheckBrowseMode();
    const int n = visibleCount();
    m_bof = true;
    m_eof = n == 0;
    setCursor(n ? 0 : -1);
}

void Dataset::Last()
{
    checkActive();
    CheckBrowseMode();
    const int n = visibleCount();
    m_eof = true;
    m_bof = n == 0;
    setCursor(n - 1);
}

void Dataset::Next()
{
    checkActive();
    CheckBrowseMode();
    const int n = visibleCount();
    if (m_cur + 1 < n) {
        m_bof = m_eof = false;
        setCursor(m_cur + 1);
    } else {
        m_eof = true;
        if (n == 0)
            m_bof = true;
    }
}

void Dataset::Prior()
{
    checkActive();
    CheckBrowseMode();
    if (m_cur > 0) {
        m_bof = m_eof = false;
        setCursor(m_cur - 1);
    } else {
        m_bof = true;
        if (visibleCount() == 0)
            m_eof = true;
    }
}

int Dataset::MoveBy(int distance)
{
    checkActive();
    CheckBrowseMode();
    const int n = visibleCount();
    if (n == 0 || distance == 0) {
        if (n == 0)
            m_eof = m_bof = true;
        return 0;
    }
    const qint64 target = qBound(qint64(0), qint64(m_cur) + distance, qint64(n - 1));
    const int moved = int(target - m_cur);
    m_eof = distance > 0 && moved < distance;
    m_bof = distance < 0 && moved > distance;
    if (moved != 0)
        setCursor(int(target));
    return moved;
}

int Dataset::RecNo() const
{
    if (m_state == State::Inactive)
        return 0;
    if (m_state == State::Insert)
        return m_insertAt + 1;
    return m_cur < 0 ? 0 : m_cur + 1;
}

void Dataset::SetRecNo(int recNo)
{
    if (m_state == State::Inactive)
        return;
    CheckBrowseMode();
    const int n = visibleCount();
    if (n == 0)
        return;
    m_eof = m_bof = false;
    setCursor(qBound(0, recNo - 1, n - 1));
}

int Dataset::RecordCount() const
{
    return visibleCount();
}

int Dataset::DisplayRowCount() const
{
    return visibleCount() + (m_state == State::Insert ? 1 : 0);
}

QVariant Dataset::RowValue(int row, int fieldIndex) const
{
    if (m_state == State::Inactive || fieldIndex < 0 || fieldIndex >= FieldCount())
        return QVariant();
    if (m_state == State::Insert) {
        if (row == m_insertAt)
            return m_buffer.value(fieldIndex);
        if (row > m_insertAt)
            --row;
    } else if (m_state == State::Edit && row == m_cur) {
        return m_buffer.value(fieldIndex);
    }
    if (row < 0 || row >= visibleCount())
        return QVariant();
    return InternalValue(posOf(row), fieldIndex);
}

// ---------------------------------------------------------------- values

QVariant Dataset::CurrentValue(int fieldIndex) const
{
    if (m_state == State::Edit || m_state == State::Insert)
        return m_buffer.value(fieldIndex);
    const int pos = CurrentPos();
    if (pos < 0)
        return QVariant();
    return InternalValue(pos, fieldIndex);
}

void Dataset::SetCurrentValue(int fieldIndex, const QVariant &v)
{
    if (m_state != State::Edit && m_state != State::Insert)
        throw DatasetError(QStringLiteral("Datenmenge ist nicht im Bearbeitungs- oder Einfügemodus"));
    if (fieldIndex < 0 || fieldIndex >= FieldCount())
        throw DatasetError(QStringLiteral("Feldindex %1 außerhalb des gültigen Bereichs").arg(fieldIndex));
    const FieldDef &def = m_fields[size_t(fieldIndex)]->Def();
    QVariant c = ConvertToFieldType(v, def.type, def.name);
    if (def.type == FieldType::String && def.size > 0 && c.typeId() == QMetaType::QString) {
        const QString s = c.toString();
        if (s.size() > def.size)
            c = s.left(def.size);
    }
    m_buffer[fieldIndex] = c;
    m_modified = true;
    emitRowChanged(RecNo());
}

// ---------------------------------------------------------------- editing

void Dataset::Edit()
{
    checkActive();
    if (m_state == State::Edit || m_state == State::Insert)
        return;
    checkModify();
    if (visibleCount() == 0 || m_cur < 0) {
        Insert();
        return;
    }
    if (BeforeEdit)
        BeforeEdit(*this);
    const int pos = posOf(m_cur);
    m_buffer.resize(FieldCount());
    for (int i = 0; i < FieldCount(); ++i)
        m_buffer[i] = InternalValue(pos, i);
    m_editPos = pos;
    m_modified = false;
    setState(State::Edit);
    if (AfterEdit)
        AfterEdit(*this);
}

void Dataset::Insert()
{
    startInsert(false);
}

void Dataset::Append()
{
    startInsert(true);
}

void Dataset::startInsert(bool append)
{
    checkActive();
    CheckBrowseMode();
    checkModify();
    if (BeforeInsert)
        BeforeInsert(*this);
    const int n = visibleCount();
    m_buffer = QVector<QVariant>(FieldCount());
    InternalInitRecord(m_buffer);
    m_editPos = -1;
    if (append || n == 0) {
        m_insertAt = n;
        m_pendingInsertPos = -1;
    } else {
        m_insertAt = qMax(0, m_cur);
        m_pendingInsertPos = posOf(m_insertAt);
    }
    m_modified = false;
    m_state = State::Insert;
    emit stateChanged();
    emitReset();
    if (OnNewRecord)
        OnNewRecord(*this);
    if (AfterInsert)
        AfterInsert(*this);
}

void Dataset::Post()
{
    checkActive();
    if (m_state != State::Edit && m_state != State::Insert)
        return;
    if (BeforePost)
        BeforePost(*this);
    for (const auto &f : m_fields) {
        const QVariant &v = m_buffer.value(f->Index());
        const bool missing = isNullValue(v) || (IsTextType(f->DataType()) && v.toString().isEmpty());
        if (f->Def().required && missing && f->DataType() != FieldType::AutoInc)
            throw DatasetError(QStringLiteral("Feld '%1' muss einen Wert haben").arg(f->FieldName()));
    }
    const bool wasInsert = m_state == State::Insert;
    const int oldCur = wasInsert ? m_insertAt : m_cur;
    const int oldPos = m_editPos;
    const int pos = InternalPost(wasInsert ? -1 : m_editPos, m_buffer);
    m_buffer.clear();
    m_modified = false;
    m_pendingInsertPos = -1;
    m_editPos = -1;
    m_state = State::Browse;
    rebuildVisible();
    const int n = visibleCount();
    int vi = visibleIndexOfPos(pos);
    if (vi < 0)
        vi = n ? qBound(0, oldCur, n - 1) : -1;
    m_eof = n == 0;
    m_bof = n == 0;
    m_cur = vi;
    emit stateChanged();
    if (wasInsert || pos != oldPos || m_useVisible)
        emitReset();
    else
        emitRowChanged(m_cur + 1);
    if (m_disableCount == 0)
        emit cursorMoved(RecNo());
    if (AfterPost)
        AfterPost(*this);
}

void Dataset::Cancel()
{
    if (m_state != State::Edit && m_state != State::Insert)
        return;
    const bool wasInsert = m_state == State::Insert;
    m_buffer.clear();
    m_modified = false;
    m_pendingInsertPos = -1;
    m_editPos = -1;
    m_state = State::Browse;
    const int n = visibleCount();
    if (m_cur >= n)
        m_cur = n - 1;
    emit stateChanged();
    if (wasInsert)
        emitReset();
    else
        emitRowChanged(m_cur + 1);
    if (AfterCancel)
        AfterCancel(*this);
}

void Dataset::Delete()
{
    checkActive();
    if (m_state == State::Insert) {
        Cancel();
        return;
    }
    checkModify();
    if (visibleCount() == 0 || m_cur < 0)
        throw DatasetError(QStringLiteral("Löschen in einer leeren Datenmenge nicht möglich"));
    if (m_state == State::Edit)
        Cancel();
    if (BeforeDelete && !BeforeDelete(*this))
        return;
    InternalDelete(posOf(m_cur));
    rebuildVisible();
    const int n = visibleCount();
    if (m_cur >= n)
        m_cur = n - 1;
    m_eof = m_bof = n == 0;
    emitReset();
    if (m_disableCount == 0)
        emit cursorMoved(RecNo());
    if (AfterDelete)
        AfterDelete(*this);
    if (AfterScroll)
        AfterScroll(*this);
}

void Dataset::CheckBrowseMode()
{
    if (m_state == State::Edit || m_state == State::Insert) {
        if (m_modified)
            Post();
        else
            Cancel();
    }
}

void Dataset::InternalInitRecord(QVector<QVariant> &values)
{
    values.fill(QVariant(), FieldCount());
}

QVariant Dataset::InternalRowId(int pos) const
{
    return pos;
}

int Dataset::InternalFindRowId(const QVariant &id) const
{
    bool ok = false;
    const int pos = id.toInt(&ok);
    return ok && pos >= 0 && pos < InternalRowCount() ? pos : -1;
}

// ----------------------------------------------------------------- filter

void Dataset::SetFilter(const QString &expr)
{
    FilterExpr::CheckSyntax(expr);
    if (!Active()) {
        m_filterText = expr;
        return;
    }
    CheckBrowseMode();
    const QString old = m_filterText;
    m_filterText = expr;
    try {
        compileFilter();
    } catch (...) {
        m_filterText = old;
        compileFilter();
        throw;
    }
    if (m_filtered) {
        rebuildVisible();
        const int n = visibleCount();
        m_bof = true;
        m_eof = n == 0;
        emitReset();
        setCursor(n ? 0 : -1);
    }
}

void Dataset::SetFiltered(bool on)
{
    if (m_filtered == on)
        return;
    m_filtered = on;
    if (!Active())
        return;
    CheckBrowseMode();
    rebuildVisible();
    const int n = visibleCount();
    m_bof = true;
    m_eof = n == 0;
    emitReset();
    setCursor(n ? 0 : -1);
}

// ----------------------------------------------------------------- locate

bool Dataset::Locate(const QString &fieldNames, const QVariantList &values, int options)
{
    checkActive();
    CheckBrowseMode();
    const QStringList names = fieldNames.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (names.isEmpty() || names.size() != values.size())
        throw DatasetError(QStringLiteral("Locate: %1 Felder, aber %2 Werte").arg(names.size()).arg(values.size()));
    struct Key {
        int field;
        bool text;
        QVariant value;
        QString s;
    };
    QVector<Key> keys;
    for (int i = 0; i < names.size(); ++i) {
        Field *f = FieldByName(names[i].trimmed());
        Key k;
        k.field = f->Index();
        k.text = IsTextType(f->DataType());
        if (k.text) {
            k.s = FieldValueToText(values[i], FieldType::String);
            k.value = isNullValue(values[i]) ? QVariant() : QVariant(k.s);
        } else {
            try {
                k.value = ConvertToFieldType(values[i], f->DataType(), f->FieldName());
            } catch (const DatasetError &) {
                return false;
            }
        }
        keys << k;
    }
    const Qt::CaseSensitivity cs = (options & LocateCaseInsensitive) ? Qt::CaseInsensitive : Qt::CaseSensitive;
    const bool partial = options & LocatePartialKey;
    const int n = visibleCount();
    for (int vi = 0; vi < n; ++vi) {
        const int pos = posOf(vi);
        bool match = true;
        for (const Key &k : keys) {
            const QVariant v = InternalValue(pos, k.field);
            if (k.text) {
                const QString s = FieldValueToText(v, FieldType::String);
                match = partial ? s.startsWith(k.s, cs) : s.compare(k.s, cs) == 0;
            } else if (isNullValue(k.value) || isNullValue(v)) {
                match = isNullValue(k.value) && isNullValue(v);
            } else if (IsNumericType(FieldAt(k.field)->DataType())) {
                match = v.toDouble() == k.value.toDouble();
            } else {
                match = v == k.value;
            }
            if (!match)
                break;
        }
        if (match) {
            m_eof = m_bof = false;
            setCursor(vi);
            return true;
        }
    }
    return false;
}

QVariant Dataset::Bookmark() const
{
    const int pos = CurrentPos();
    if (pos < 0)
        return QVariant();
    return InternalRowId(pos);
}

bool Dataset::GotoBookmark(const QVariant &bm)
{
    if (!Active() || !bm.isValid())
        return false;
    CheckBrowseMode();
    const int vi = visibleIndexOfPos(InternalFindRowId(bm));
    if (vi < 0)
        return false;
    m_eof = m_bof = false;
    setCursor(vi);
    return true;
}

} // namespace mv
