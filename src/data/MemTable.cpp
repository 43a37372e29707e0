#include "data/MemTable.h"

#include <algorithm>

namespace mv {

namespace {

bool isNull(const QVariant &v)
{
    return !v.isValid() || v.isNull();
}

qint64 dayKey(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::QDateTime: {
        const QDateTime dt = v.toDateTime();
        return dt.date().toJulianDay() * 86400000 + dt.time().msecsSinceStartOfDay();
    }
    case QMetaType::QDate: return v.toDate().toJulianDay() * 86400000;
    case QMetaType::QTime: return v.toTime().msecsSinceStartOfDay();
    default: return 0;
    }
}

// Order of two values of one field: NULL first, text ignoring case.
int compareValues(const QVariant &a, const QVariant &b)
{
    const bool na = isNull(a), nb = isNull(b);
    if (na || nb)
        return na == nb ? 0 : (na ? -1 : 1);
    const int ta = a.typeId(), tb = b.typeId();
    if (ta == QMetaType::QString || tb == QMetaType::QString) {
        const int c = a.toString().compare(b.toString(), Qt::CaseInsensitive);
        if (c != 0)
            return c < 0 ? -1 : 1;
        const int c2 = a.toString().compare(b.toString(), Qt::CaseSensitive);
        return c2 < 0 ? -1 : (c2 > 0 ? 1 : 0);
    }
    if (ta == QMetaType::QDateTime || ta == QMetaType::QDate || ta == QMetaType::QTime) {
        const qint64 ka = dayKey(a), kb = dayKey(b);
        return ka < kb ? -1 : (ka > kb ? 1 : 0);
    }
    if (ta == QMetaType::QByteArray) {
        const int c = a.toByteArray().compare(b.toByteArray());
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    if (ta == QMetaType::LongLong && tb == QMetaType::LongLong) {
        const qint64 x = a.toLongLong(), y = b.toLongLong();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    const double x = a.toDouble(), y = b.toDouble();
    return x < y ? -1 : (x > y ? 1 : 0);
}

bool sameValue(const QVariant &a, const QVariant &b)
{
    const bool na = isNull(a), nb = isNull(b);
    if (na || nb)
        return na && nb;
    if (a.typeId() == QMetaType::QString || b.typeId() == QMetaType::QString)
        return a.toString() == b.toString();
    return compareValues(a, b) == 0;
}

QVector<int> resolveFields(const Dataset *ds, const QString &names)
{
    QVector<int> out;
    for (const QString &n : names.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        out << ds->FieldByName(n.trimmed())->Index();
    return out;
}

} // namespace

MemTable::MemTable(QObject *parent) : Dataset(parent) {}

MemTable::~MemTable()
{
    if (m_masterConn)
        QObject::disconnect(m_masterConn);
}

void MemTable::SetFieldDefList(const QVector<FieldDef> &defs)
{
    m_defs = defs;
}

void MemTable::CreateDataSet(const QVector<FieldDef> &defs)
{
    Close();
    m_defs = defs;
    m_rows.clear();
    m_rowIds.clear();
    m_order.clear();
    m_autoInc = 1;
    m_creating = true;
    try {
        Open();
    } catch (...) {
        m_creating = false;
        throw;
    }
    m_creating = false;
}

void MemTable::EmptyDataSet()
{
    if (!Active())
        return;
    Cancel();
    if (!m_rows.isEmpty())
        m_changed = true;
    m_rows.clear();
    m_rowIds.clear();
    m_order.clear();
    Resync();
}

void MemTable::EmptyRawRows()
{
    m_rows.clear();
    m_rowIds.clear();
    m_order.clear();
}

void MemTable::AppendRawRow(const QVector<QVariant> &values)
{
    QVector<QVariant> row = values;
    AppendRawRow(std::move(row));
}

void MemTable::AppendRawRow(QVector<QVariant> &&values)
{
    values.resize(m_defs.size());
    m_rows.push_back(std::move(values));
    m_rowIds.push_back(m_nextRowId++);
}

void MemTable::RawRowsDone()
{
    // Keep the counter above every loaded value.
    for (int f = 0; f < m_defs.size(); ++f) {
        if (m_defs[f].type != FieldType::AutoInc)
            continue;
        for (const auto &r : m_rows) {
            const QVariant &v = r.at(f);
            if (!isNull(v) && v.toInt() >= m_autoInc)
                m_autoInc = v.toInt() + 1;
        }
    }
    if (Active()) {
        rebuildOrder();
        Resync();
    }
}

void MemTable::SetIndexFieldNames(const QString &names)
{
    if (Active())
        CheckBrowseMode();
    m_indexFieldNames = names;
    m_indexFields.clear();
    if (!Active())
        return;
    const QVariant bm = Bookmark();
    m_indexFields = resolveFields(this, names);
    rebuildOrder();
    Resync();
    if (bm.isValid())
        GotoBookmark(bm);
}

void MemTable::SetRange(const QVariantList &low, const QVariantList &high)
{
    if (Active())
        CheckBrowseMode();
    m_hasRange = true;
    m_rangeLow = low;
    m_rangeHigh = high;
    if (Active()) {
        rebuildOrder();
        Resync();
    }
}

void MemTable::CancelRange()
{
    if (!m_hasRange)
        return;
    if (Active())
        CheckBrowseMode();
    m_hasRange = false;
    m_rangeLow.clear();
    m_rangeHigh.clear();
    if (Active()) {
        rebuildOrder();
        Resync();
    }
}

void MemTable::SetMasterSource(Dataset *master, const QString &masterFields, const QString &detailFields)
{
    ClearMasterSourceQuiet();
    m_master = master;
    m_masterFields = masterFields;
    m_detailFields = detailFields.isEmpty() ? masterFields : detailFields;
    m_masterFieldIdx.clear();
    m_detailFieldIdx.clear();
    if (master) {
        // One connection per signal; disconnected together through the
        // receiver context object.
        m_masterContext = new QObject(this);
        connect(master, &Dataset::cursorMoved, m_masterContext, [this] { masterMoved(); });
        connect(master, &Dataset::rowsReset, m_masterContext, [this] { masterMoved(); });
        connect(master, &Dataset::rowChanged, m_masterContext, [this] { masterMoved(); });
        connect(master, &Dataset::stateChanged, m_masterContext, [this] { masterMoved(); });
        m_masterConn = connect(master, &QObject::destroyed, m_masterContext, [this] {
            m_master = nullptr;
            masterMoved();
        });
    }
    if (Active()) {
        rebuildOrder();
        Resync();
    }
}

void MemTable::ClearMasterSourceQuiet()
{
    delete m_masterContext;
    m_masterContext = nullptr;
    m_masterConn = {};
    m_master = nullptr;
    m_masterFieldIdx.clear();
    m_detailFieldIdx.clear();
    m_lastMasterKey.clear();
}

void MemTable::ClearMasterSource()
{
    const bool had = m_masterContext != nullptr;
    ClearMasterSourceQuiet();
    if (had && Active()) {
        CheckBrowseMode();
        rebuildOrder();
        Resync();
    }
}

QVariantList MemTable::masterKey() const
{
    QVariantList key;
    if (!m_master || !m_master->Active())
        return key;
    for (int idx : m_masterFieldIdx)
        key << m_master->CurrentValue(idx);
    return key;
}

void MemTable::masterMoved()
{
    if (!Active())
        return;
    resolveMaster();
    const QVariantList key = masterKey();
    bool same = key.size() == m_lastMasterKey.size() && m_masterValid == (m_master && m_master->Active());
    for (int i = 0; same && i < key.size(); ++i)
        same = sameValue(key[i], m_lastMasterKey[i]) && isNull(key[i]) == isNull(m_lastMasterKey[i]);
    if (same)
        return;
    CheckBrowseMode();
    rebuildOrder();
    Resync();
}

void MemTable::resolveMaster()
{
    if (!m_master || !m_masterFieldIdx.isEmpty() || FieldCount() == 0 || m_master->FieldCount() == 0)
        return;
    m_masterFieldIdx = resolveFields(m_master, m_masterFields);
    m_detailFieldIdx = resolveFields(this, m_detailFields);
    if (m_masterFieldIdx.size() != m_detailFieldIdx.size())
        throw DatasetError(QStringLiteral("Master- und Detailfelder passen nicht zusammen: %1 / %2")
                               .arg(m_masterFields, m_detailFields));
}

bool MemTable::rowInSet(int s) const
{
    const QVector<QVariant> &row = m_rows.at(s);
    if (m_masterContext) {
        if (m_lastMasterKey.isEmpty())
            return false;
        for (int i = 0; i < m_detailFieldIdx.size(); ++i) {
            const QVariant &k = m_lastMasterKey.at(i);
            if (isNull(k) || !sameValue(row.at(m_detailFieldIdx[i]), k))
                return false;
        }
    }
    if (m_hasRange) {
        for (int i = 0; i < m_indexFields.size(); ++i) {
            const QVariant &v = row.at(m_indexFields[i]);
            if (i < m_rangeLow.size() && compareValues(v, m_rangeLow[i]) < 0)
                return false;
            if (i < m_rangeHigh.size() && compareValues(v, m_rangeHigh[i]) > 0)
                return false;
        }
    }
    return true;
}

bool MemTable::rowLess(int a, int b) const
{
    const QVector<QVariant> &ra = m_rows.at(a), &rb = m_rows.at(b);
    for (int f : m_indexFields) {
        const int c = compareValues(ra.at(f), rb.at(f));
        if (c != 0)
            return c < 0;
    }
    return a < b;
}

void MemTable::rebuildOrder()
{
    if (FieldCount() && m_indexFields.isEmpty() && !m_indexFieldNames.isEmpty())
        m_indexFields = resolveFields(this, m_indexFieldNames);
    resolveMaster();
    m_masterValid = m_master && m_master->Active();
    m_lastMasterKey = masterKey();
    m_order.clear();
    m_order.reserve(m_rows.size());
    const bool all = !m_masterContext && !m_hasRange;
    for (int s = 0; s < m_rows.size(); ++s)
        if (all || rowInSet(s))
            m_order.push_back(s);
    if (!m_indexFields.isEmpty())
        std::sort(m_order.begin(), m_order.end(), [this](int a, int b) { return rowLess(a, b); });
}

int MemTable::placeRow(int s)
{
    if (!rowInSet(s))
        return -1;
    QVector<int>::iterator it;
    if (m_indexFields.isEmpty())
        it = std::lower_bound(m_order.begin(), m_order.end(), s);
    else
        it = std::upper_bound(m_order.begin(), m_order.end(), s, [this](int a, int b) { return rowLess(a, b); });
    const int pos = int(it - m_order.begin());
    m_order.insert(pos, s);
    return pos;
}

void MemTable::InternalOpen()
{
    SetFieldDefs(m_defs);
    for (auto &r : m_rows)
        r.resize(m_defs.size());
    m_indexFields.clear();
    m_masterFieldIdx.clear();
    m_detailFieldIdx.clear();
    rebuildOrder();
    m_changed = false;
}

void MemTable::InternalClose()
{
    m_rows.clear();
    m_rowIds.clear();
    m_order.clear();
    m_indexFields.clear();
}

int MemTable::InternalRowCount() const
{
    return int(m_order.size());
}

QVariant MemTable::InternalValue(int pos, int fieldIndex) const
{
    if (pos < 0 || pos >= m_order.size())
        return QVariant();
    const QVector<QVariant> &row = m_rows.at(m_order.at(pos));
    return fieldIndex >= 0 && fieldIndex < row.size() ? row.at(fieldIndex) : QVariant();
}

int MemTable::InternalPost(int pos, const QVector<QVariant> &values)
{
    QVector<QVariant> row = values;
    row.resize(m_defs.size());
    m_changed = true;
    if (pos < 0) {
        for (int f = 0; f < m_defs.size(); ++f) {
            if (m_defs[f].type != FieldType::AutoInc)
                continue;
            if (isNull(row[f])) {
                if (m_autoIncFill)
                    row[f] = m_autoInc++;
            }
            else if (row[f].toInt() >= m_autoInc)
                m_autoInc = row[f].toInt() + 1;
        }
        int s = int(m_rows.size());
        const int before = PendingInsertPos();
        if (m_indexFields.isEmpty() && before >= 0 && before < m_order.size())
            s = m_order.at(before);
        const bool atEnd = s == m_rows.size();
        m_rows.insert(s, row);
        m_rowIds.insert(s, m_nextRowId++);
        if (!atEnd) {
            for (int &o : m_order)
                if (o >= s)
                    ++o;
        }
        return placeRow(s);
    }
    const int s = m_order.at(pos);
    m_rows[s] = row;
    m_order.remove(pos);
    return placeRow(s);
}

void MemTable::InternalDelete(int pos)
{
    const int s = m_order.at(pos);
    m_rows.remove(s);
    m_rowIds.remove(s);
    m_order.remove(pos);
    for (int &o : m_order)
        if (o > s)
            --o;
    m_changed = true;
}

void MemTable::InternalInitRecord(QVector<QVariant> &values)
{
    Dataset::InternalInitRecord(values);
    if (m_masterContext && !m_lastMasterKey.isEmpty()) {
        for (int i = 0; i < m_detailFieldIdx.size(); ++i) {
            const int f = m_detailFieldIdx[i];
            try {
                values[f] = ConvertToFieldType(m_lastMasterKey.value(i), m_defs[f].type, m_defs[f].name);
            } catch (const DatasetError &) {
                values[f] = QVariant();
            }
        }
    }
}

QVariant MemTable::InternalRowId(int pos) const
{
    if (pos < 0 || pos >= m_order.size())
        return QVariant();
    return m_rowIds.at(m_order.at(pos));
}

int MemTable::InternalFindRowId(const QVariant &id) const
{
    bool ok = false;
    const int want = id.toInt(&ok);
    if (!ok)
        return -1;
    const int s = int(m_rowIds.indexOf(want));
    if (s < 0)
        return -1;
    return int(m_order.indexOf(s));
}

} // namespace mv
