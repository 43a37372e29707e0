#include "wawi/TVLBTable.h"

#include "wawi/WaWiSchema.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace mv {

// ------------------------------------------------------------------ alias

namespace {
QString g_aliasPath;
bool g_aliasConnected = false;
WaWiStoreOpener g_opener;
} // namespace

std::unique_ptr<WaWiTableStore> OpenParadoxStore(const QString &dir, const QString &table); // ParadoxStore.cpp

bool TVLBDatabase::Connect(const QString &dir, QString *error)
{
    Disconnect();
    const QFileInfo fi(dir);
    if (dir.trimmed().isEmpty() || !fi.isDir()) {
        if (error)
            *error = QStringLiteral("Das Verzeichnis %1 ist nicht vorhanden.").arg(dir);
        return false;
    }
    if (!fi.isReadable()) {
        if (error)
            *error = QStringLiteral("Das Verzeichnis %1 kann nicht gelesen werden.").arg(dir);
        return false;
    }
    g_aliasPath = dir;
    g_aliasConnected = true;
    return true;
}

void TVLBDatabase::Disconnect()
{
    g_aliasConnected = false;
    g_aliasPath.clear();
}

bool TVLBDatabase::Connected() { return g_aliasConnected; }
QString TVLBDatabase::Path() { return g_aliasPath; }
QString TVLBDatabase::Params() { return QStringLiteral("PATH=") + g_aliasPath; }

void SetWaWiStoreOpener(WaWiStoreOpener opener) { g_opener = std::move(opener); }

QString FindTableFile(const QString &dir, const QString &fileName)
{
    QString want = fileName;
    if (QFileInfo(want).suffix().isEmpty())
        want += QStringLiteral(".DB");
    const QDir d(dir);
    if (QFileInfo::exists(d.filePath(want)))
        return d.filePath(want);
    const QStringList entries = d.entryList(QDir::Files | QDir::Hidden);
    for (const QString &e : entries)
        if (e.compare(want, Qt::CaseInsensitive) == 0)
            return d.filePath(e);
    return QString();
}

// -------------------------------------------------------------- collation

namespace {

// Folded form of the characters U+0000..U+00FF: up to two units.
struct FoldTable {
    ushort unit[256][2];
    FoldTable()
    {
        for (int c = 0; c < 256; ++c) {
            ushort a = ushort(c), b = 0;
            if (c >= 'A' && c <= 'Z')
                a = ushort(c + 32);
            else if (c >= 0x80) {
                switch (c) {
                case 0xDF: a = 's'; b = 's'; break;
                case 0xC6: case 0xE6: a = 'a'; break;
                case 0xD8: case 0xF8: a = 'o'; break;
                case 0xD0: case 0xF0: a = 'd'; break;
                case 0xDE: case 0xFE: a = 't'; break;
                default: {
                    const QString dec = QChar(c).decomposition();
                    if (!dec.isEmpty() && dec.at(0).unicode() < 0x80 && dec.at(0).isLetter())
                        a = dec.at(0).toLower().unicode();
                    else
                        a = QChar(c).toLower().unicode();
                }
                }
            }
            unit[c][0] = a;
            unit[c][1] = b;
        }
        unit[0x7F][0] = 0xFFFF;   // RangeHigh: above every text
    }
};

const FoldTable &foldTable()
{
    static const FoldTable t;
    return t;
}

} // namespace

QString WaWiCollationKey(const QString &text)
{
    const FoldTable &ft = foldTable();
    QString out;
    out.reserve(text.size() + 2);
    for (QChar c : text) {
        const ushort u = c.unicode();
        if (u == 0)
            break;                       // bounds are C strings
        if (u < 256) {
            out += QChar(ft.unit[u][0]);
            if (ft.unit[u][1])
                out += QChar(ft.unit[u][1]);
            continue;
        }
        const QString dec = c.decomposition();
        if (!dec.isEmpty() && dec.at(0).unicode() < 0x80 && dec.at(0).isLetter())
            out += dec.at(0).toLower();
        else
            out += c.toLower();
    }
    return out;
}

namespace {

// A key value that does not fit its field, named readably: control
// characters (the RangeLow/RangeHigh bounds chr(0), chr(127)) spelled out,
// so the message never ends at an invisible character.
QString keyValueError(const QString &value, const QString &fieldName, FieldType type)
{
    QString shown;
    bool bound = false;
    for (QChar c : value) {
        if (c.unicode() < 32 || c.unicode() == 127) {
            shown += QStringLiteral("chr(%1)").arg(c.unicode());
            bound = bound || c.unicode() == 0 || c.unicode() == 127;
        } else {
            shown += c;
        }
    }
    QString kind;
    switch (type) {
    case FieldType::Boolean: kind = QStringLiteral("ein logisches Feld"); break;
    case FieldType::Date: case FieldType::DateTime: case FieldType::Time: kind = QStringLiteral("ein Datums- oder Zeitfeld"); break;
    default: kind = QStringLiteral("ein Zahlenfeld"); break;
    }
    QString msg = QStringLiteral("Der Schlüsselwert \"%1\" passt nicht zum Feld %2: es ist %3.").arg(shown, fieldName, kind);
    if (bound)
        msg += QStringLiteral(" Die Bereichsgrenzen RangeLow/RangeHigh (chr(0)/chr(127)) gelten nur für Textfelder.");
    return msg;
}

// Key values normalised for comparison: QString (collation key or raw
// text), double, or invalid (NULL).
QVariant normalise(const QVariant &v, FieldType type, bool international, const QString &fieldName, bool strict,
                   bool upper = false)
{
    if (!v.isValid() || v.isNull())
        return QVariant();
    switch (type) {
    case FieldType::String:
    case FieldType::Memo:
    case FieldType::FmtMemo: {
        QString s = v.toString();
        const int z = s.indexOf(QChar(0));
        if (z >= 0)
            s.truncate(z);
        if (s.isEmpty())
            return QVariant();          // an empty alpha value is NULL in Paradox
        if (upper)
            for (QChar &c : s)
                c = c.toUpper();
        return international ? WaWiCollationKey(s) : s;
    }
    case FieldType::Boolean:
        if (v.typeId() == QMetaType::QString) {
            const QString s = v.toString().trimmed().toUpper();
            if (s == QLatin1String("TRUE") || s == QLatin1String("WAHR") || s == QLatin1String("1"))
                return 1.0;
            if (s == QLatin1String("FALSE") || s == QLatin1String("FALSCH") || s == QLatin1String("0"))
                return 0.0;
            throw DatasetError(keyValueError(v.toString(), fieldName, type));
        }
        return v.toBool() ? 1.0 : 0.0;
    case FieldType::Date:
        if (v.typeId() == QMetaType::QDate)
            return double(v.toDate().toJulianDay());
        if (v.typeId() == QMetaType::QDateTime)
            return double(v.toDateTime().date().toJulianDay());
        break;
    case FieldType::DateTime:
        if (v.typeId() == QMetaType::QDateTime)
            return double(v.toDateTime().toMSecsSinceEpoch());
        if (v.typeId() == QMetaType::QDate)
            return double(v.toDate().startOfDay().toMSecsSinceEpoch());
        break;
    case FieldType::Time:
        if (v.typeId() == QMetaType::QTime)
            return double(v.toTime().msecsSinceStartOfDay());
        break;
    case FieldType::Graphic:
    case FieldType::Blob:
    case FieldType::Bytes:
        return QString::fromLatin1(v.toByteArray().toHex());
    default:
        break;
    }
    // Numbers (and dates given as text): a text must be a number.
    if (v.typeId() == QMetaType::QString) {
        QString s = v.toString().trimmed();
        if (type == FieldType::Date || type == FieldType::DateTime || type == FieldType::Time) {
            QVariant conv;
            try {
                conv = ConvertToFieldType(v, type, fieldName);
            } catch (const DatasetError &) {
                throw DatasetError(keyValueError(v.toString(), fieldName, type));
            }
            return normalise(conv, type, international, fieldName, strict);
        }
        s.replace(QLatin1Char(','), QLatin1Char('.'));
        bool ok = false;
        const double d = s.toDouble(&ok);
        if (!ok || s.isEmpty())
            throw DatasetError(keyValueError(v.toString(), fieldName, type));
        return d;
    }
    bool ok = false;
    const double d = v.toDouble(&ok);
    if (!ok) {
        if (strict)
            throw DatasetError(QStringLiteral("'%1' ist kein gültiger Wert für das Feld %2.").arg(v.toString(), fieldName));
        return QVariant();
    }
    return d;
}

inline int cmpNorm(const QVariant &a, const QVariant &b)
{
    const bool an = !a.isValid(), bn = !b.isValid();
    if (an || bn)
        return an == bn ? 0 : (an ? -1 : 1);
    if (a.typeId() == QMetaType::QString && b.typeId() == QMetaType::QString) {
        const int c = QString::compare(*static_cast<const QString *>(a.constData()),
                                       *static_cast<const QString *>(b.constData()));
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    if (a.typeId() == QMetaType::Double && b.typeId() == QMetaType::Double) {
        const double x = *static_cast<const double *>(a.constData());
        const double y = *static_cast<const double *>(b.constData());
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    // Mixed (should not happen): strings after numbers.
    return a.typeId() == QMetaType::QString ? 1 : -1;
}

// Appends the normalised value as order-preserving bytes: NULL 0x00;
// otherwise 0x01 and the text's units (big-endian, ended by 0x0000) or
// the number's 8 bytes. Concatenated parts compare part by part.
void encodeNorm(QByteArray &out, const QVariant &n)
{
    if (!n.isValid()) {
        out.append(char(0));
        return;
    }
    out.append(char(1));
    if (n.typeId() == QMetaType::QString) {
        const QString &s = *static_cast<const QString *>(n.constData());
        for (QChar c : s) {
            out.append(char(c.unicode() >> 8));
            out.append(char(c.unicode() & 0xFF));
        }
        out.append(char(0));
        out.append(char(0));
        return;
    }
    double d = n.toDouble();
    if (d == 0)
        d = 0;  // -0 == 0
    quint64 bits;
    memcpy(&bits, &d, 8);
    bits = (bits & 0x8000000000000000ull) ? ~bits : (bits | 0x8000000000000000ull);
    for (int i = 7; i >= 0; --i)
        out.append(char((bits >> (i * 8)) & 0xFF));
}

// Record key against a key of k leading parts: 0 when those parts are equal.
inline int cmpKeyBytes(const QByteArray &rec, const QByteArray &key)
{
    const int n = std::min(rec.size(), key.size());
    const int c = memcmp(rec.constData(), key.constData(), size_t(n));
    if (c)
        return c < 0 ? -1 : 1;
    return rec.size() >= key.size() ? 0 : -1;
}

} // namespace

int WaWiCompareValues(const QVariant &a, const QVariant &b, FieldType type, bool international)
{
    return cmpNorm(normalise(a, type, international, QString(), false),
                   normalise(b, type, international, QString(), false));
}

// ------------------------------------------------------------------ table

TVLBTable::TVLBTable(QObject *parent) : Dataset(parent) {}

TVLBTable::~TVLBTable()
{
    ClearMasterSource();
}

void TVLBTable::SetTableName(const QString &name)
{
    if (Active())
        throw DatasetError(QStringLiteral("Der Tabellenname kann bei geöffneter Tabelle nicht geändert werden."));
    m_tableName = name;
}

QString TVLBTable::Directory() const
{
    return m_directory.isEmpty() ? TVLBDatabase::Path() : m_directory;
}

void TVLBTable::InternalOpen()
{
    const QString dir = Directory();
    if (dir.isEmpty())
        throw DatasetError(QStringLiteral("Die Datenbank \"%1\" ist nicht verbunden.").arg(m_database));
    m_parked.clear();
    m_orderKey.clear();
    m_store = g_opener ? g_opener(dir, m_tableName) : OpenParadoxStore(dir, m_tableName);
    if (!m_store)
        throw DatasetError(QStringLiteral("Tabelle %1 nicht gefunden.").arg(m_tableName));
    m_filePath = FindTableFile(dir, m_tableName);
    m_defs = m_store->Fields();
    m_international = m_store->InternationalSort();
    loadIndexes();
    // Texts are cut at the field width by the table itself, which reports
    // each cut to the run (WaWiWriteReport); the grid keeps its widths.
    QVector<FieldDef> shown = m_defs;
    for (FieldDef &d : shown)
        if (d.type == FieldType::String) d.size = 0;
    SetFieldDefs(shown);
    for (int i = 0; i < m_defs.size(); ++i)
        if (m_defs.at(i).type == FieldType::String && m_defs.at(i).size > 0 && FieldAt(i)->DisplayWidth == 0)
            FieldAt(i)->DisplayWidth = qMin(m_defs.at(i).size, 30);
    m_hasRange = false;
    // Start on the selected index (primary when none).
    QVector<int> fields;
    if (!m_indexFieldNames.isEmpty()) {
        for (const QString &n : m_indexFieldNames.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            int fi = -1;
            for (int i = 0; i < m_defs.size(); ++i)
                if (m_defs.at(i).name.compare(n.trimmed(), Qt::CaseInsensitive) == 0)
                    fi = i;
            if (fi < 0)
                throw DatasetError(QStringLiteral("Feld '%1' nicht gefunden.").arg(n.trimmed()));
            fields << fi;
        }
    } else {
        const IndexDef *found = nullptr;
        for (const auto &ix : m_indexes)
            if (m_indexName.isEmpty() ? ix.primary : (!ix.primary && ix.name.compare(m_indexName, Qt::CaseInsensitive) == 0))
                found = &ix;
        if (!found && !m_indexName.isEmpty())
            throw DatasetError(QStringLiteral("Index '%1' nicht gefunden.").arg(m_indexName));
        if (found) {
            m_indexName = found->name;
            for (const QString &n : found->fields) {
                for (int i = 0; i < m_defs.size(); ++i)
                    if (m_defs.at(i).name.compare(n, Qt::CaseInsensitive) == 0)
                        fields << i;
            }
        }
    }
    selectIndex(fields, false);
}

void TVLBTable::InternalClose()
{
    ClearMasterSource();
    m_store.reset();
    m_parked.clear();
    m_orderKey.clear();
    m_order.clear();
    m_keys.clear();
    m_lo = m_hi = 0;
    m_hasRange = false;
    m_indexes.clear();
}

void TVLBTable::loadIndexes()
{
    m_indexes.clear();
    auto fieldExists = [&](const QString &n) {
        return std::any_of(m_defs.cbegin(), m_defs.cend(),
                           [&](const FieldDef &d) { return d.name.compare(n, Qt::CaseInsensitive) == 0; });
    };
    const int kc = m_store->KeyFieldCount();
    if (kc > 0) {
        IndexDef p;
        p.primary = true;
        for (int i = 0; i < kc && i < m_defs.size(); ++i)
            p.fields << m_defs.at(i).name;
        m_indexes << p;
    }
    for (const auto &si : m_store->Indexes()) {
        if (si.name.isEmpty())
            continue;
        IndexDef d;
        d.name = si.name;
        d.fields = si.fields;
        d.descending = si.descending;
        m_indexes << d;
    }
    // Indexes named by the catalog that the folder has no file for.
    for (const auto &ce : WaWiCatalogFor(m_tableName)) {
        const bool have = std::any_of(m_indexes.cbegin(), m_indexes.cend(), [&](const IndexDef &d) {
            return !d.primary && d.name.compare(ce.index, Qt::CaseInsensitive) == 0;
        });
        if (have || !std::all_of(ce.fields.cbegin(), ce.fields.cend(), fieldExists))
            continue;
        IndexDef d;
        d.name = ce.index;
        d.fields = ce.fields;
        d.fromCatalog = true;
        m_indexes << d;
    }
}

QVector<TVLBTable::IndexDef> TVLBTable::IndexDefs() const { return m_indexes; }

QStringList TVLBTable::IndexNames() const
{
    QStringList out;
    for (const auto &i : m_indexes)
        if (!i.primary)
            out << i.name;
    return out;
}

QStringList TVLBTable::CurrentIndexFields() const
{
    QStringList out;
    for (int f : m_keyFields)
        out << m_defs.at(f).name;
    return out;
}

QString TVLBTable::IndexFieldNames() const { return m_indexFieldNames; }

void TVLBTable::SetIndexName(const QString &name)
{
    if (!Active()) {
        m_indexName = name;
        m_indexFieldNames.clear();
        return;
    }
    const IndexDef *found = nullptr;
    for (const auto &ix : m_indexes)
        if (name.isEmpty() ? ix.primary : (!ix.primary && ix.name.compare(name, Qt::CaseInsensitive) == 0))
            found = &ix;
    QVector<int> fields;
    if (!found) {
        if (!name.isEmpty())
            throw DatasetError(QStringLiteral("Index '%1' nicht gefunden.").arg(name));
    } else {
        for (const QString &n : found->fields) {
            const Field *f = FieldByName(n);
            fields << f->Index();
        }
    }
    CheckBrowseMode();
    m_indexName = found ? found->name : QString();
    m_indexFieldNames.clear();
    selectIndex(fields);
}

void TVLBTable::SetIndexFieldNames(const QString &names)
{
    if (!Active()) {
        m_indexFieldNames = names;
        m_indexName.clear();
        return;
    }
    QVector<int> fields;
    for (const QString &n : names.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        fields << FieldByName(n.trimmed())->Index();
    CheckBrowseMode();
    m_indexFieldNames = names;
    m_indexName.clear();
    selectIndex(fields);
}

void TVLBTable::selectIndex(const QVector<int> &fields, bool resync)
{
    m_keyFields = fields;
    m_keyTypes.clear();
    for (int f : fields)
        m_keyTypes << m_defs.at(f).type;
    // Ties are ordered by the primary key, then by physical position.
    m_tiebreak.clear();
    const int kc = m_store ? m_store->KeyFieldCount() : 0;
    for (int i = 0; i < kc; ++i)
        if (!fields.contains(i))
            m_tiebreak << i;
    m_hasRange = false;
    m_rangeLow.clear();
    m_rangeHigh.clear();
    QString key = m_indexName + QLatin1Char('|');
    for (int f : fields)
        key += QString::number(f) + QLatin1Char(',');
    if (m_keepOrders && !m_orderKey.isEmpty() && m_orderKey != key && m_store)
        m_parked.insert(m_orderKey, ParkedOrder{std::move(m_order), std::move(m_keys), std::move(m_indexPartLen),
                                                m_keysPending, m_desc, m_keyFold, m_keyUpper, m_linearSearch});
    auto parked = m_keepOrders ? m_parked.find(key) : m_parked.end();
    if (parked != m_parked.end() && parked->order.size() == m_store->RecordCount()) {
        m_order = std::move(parked->order);
        m_keys = std::move(parked->keys);
        m_indexPartLen = std::move(parked->partLen);
        m_keysPending = parked->keysPending;
        m_desc = parked->desc;
        m_keyFold = parked->keyFold;
        m_keyUpper = parked->keyUpper;
        m_linearSearch = parked->linearSearch;
        m_parked.erase(parked);
    } else {
        buildOrder();
    }
    m_orderKey = key;
    applyBounds();
    if (resync)
        Resync();
}

void TVLBTable::buildOrder()
{
    const int n = m_store->RecordCount();
    m_order.resize(n);
    for (int i = 0; i < n; ++i)
        m_order[i] = i;
    m_keys.clear();
    m_keysPending = false;
    m_desc = false;
    m_keyFold = false;
    m_keyUpper = false;
    m_linearSearch = false;
    if (m_keyFields.isEmpty())
        return;  // physical order
    // Keyed tables keep their records in primary-key order already: the
    // keys are built when a range or search first needs them.
    if (m_tiebreak.isEmpty() && m_store->KeyFieldCount() == m_keyFields.size() && m_store->RowsInKeyOrder()) {
        bool isPrimary = true;
        for (int i = 0; i < m_keyFields.size(); ++i)
            isPrimary = isPrimary && m_keyFields.at(i) == i;
        if (isPrimary) {
            m_keysPending = true;
            return;
        }
    }
    buildKeys();
    const IndexDef *def = nullptr;
    if (!m_indexName.isEmpty())
        for (const auto &ix : m_indexes)
            if (!ix.primary && !ix.fromCatalog && ix.name.compare(m_indexName, Qt::CaseInsensitive) == 0)
                def = &ix;
    const bool desc = def && def->descending;
    // A named index walks in the order its file holds (descending indexes,
    // ties of texts that differ in case or accents, the table's sort
    // order), as long as that order agrees with our comparison of the
    // index fields, which finds and ranges search with.
    if (def) {
        const QVector<int> fileOrder = m_store->IndexOrder(def->name);
        if (fileOrder.size() == n) {
            auto agrees = [&]() {
                for (int i = 1; i < n; ++i) {
                    const int a = fileOrder.at(i - 1), b = fileOrder.at(i);
                    const int len = std::min(m_indexPartLen.at(a), m_indexPartLen.at(b));
                    int c = memcmp(m_keys.at(a).constData(), m_keys.at(b).constData(), size_t(len));
                    if (!c)
                        c = m_indexPartLen.at(a) - m_indexPartLen.at(b);
                    if (desc ? c < 0 : c > 0)
                        return false;
                }
                return true;
            };
            bool ok = agrees();
            if (!ok && !m_international) {
                // a case-insensitive index of an "ascii" table: the engine
                // keeps its keys upper-cased and compares their bytes
                m_keyUpper = true;
                buildKeys();
                ok = agrees();
                if (!ok) {
                    m_keyUpper = false;
                    m_keyFold = true;
                    buildKeys();
                    ok = agrees();
                }
                if (!ok) {
                    m_keyFold = false;
                    buildKeys();
                }
            }
            m_order = fileOrder;
            m_desc = desc;
            m_linearSearch = !ok; // a collation we do not know: search by walking
            return;
        }
    }
    std::stable_sort(m_order.begin(), m_order.end(), [this](int a, int b) {
        const QByteArray &ka = m_keys.at(a);
        const QByteArray &kb = m_keys.at(b);
        const int c = memcmp(ka.constData(), kb.constData(), size_t(std::min(ka.size(), kb.size())));
        return c ? c < 0 : ka.size() < kb.size();
    });
    if (desc) {
        std::reverse(m_order.begin(), m_order.end());
        m_desc = true;
    }
}

void TVLBTable::buildKeys() const
{
    const int n = m_store->RecordCount();
    m_keysPending = false;
    m_keys.resize(n);
    m_indexPartLen.resize(n);
    for (int r = 0; r < n; ++r) {
        QByteArray &k = m_keys[r];
        k.clear();
        k.reserve(64);
        for (int i = 0; i < m_keyFields.size(); ++i)
            encodeNorm(k, normalise(m_store->Value(r, m_keyFields.at(i)), m_keyTypes.at(i), m_international || m_keyFold,
                                    m_defs.at(m_keyFields.at(i)).name, false, m_keyUpper));
        m_indexPartLen[r] = int(k.size());
        for (int f : m_tiebreak)
            encodeNorm(k, normalise(m_store->Value(r, f), m_defs.at(f).type, m_international, m_defs.at(f).name, false));
    }
}

int TVLBTable::compareRecordToKey(int rec, const QByteArray &key) const
{
    return cmpKeyBytes(m_keys.at(rec), key);
}

QByteArray TVLBTable::convertKey(const QVariantList &key) const
{
    if (m_keyFields.isEmpty())
        throw DatasetError(QStringLiteral("Die Tabelle %1 hat keinen aktiven Index.").arg(m_tableName));
    if (key.size() > m_keyFields.size())
        throw DatasetError(QStringLiteral("Zu viele Schlüsselwerte für den Index von %1.").arg(m_tableName));
    QByteArray out;
    for (int i = 0; i < key.size(); ++i)
        encodeNorm(out, normalise(key.at(i), m_keyTypes.at(i), m_international || m_keyFold, m_defs.at(m_keyFields.at(i)).name, true,
                                  m_keyUpper));
    return out;
}

int TVLBTable::lowerBound(const QByteArray &key) const
{
    if (m_keysPending)
        buildKeys();
    const int sign = m_desc ? -1 : 1;
    if (m_linearSearch) {
        for (int pos = 0; pos < m_order.size(); ++pos)
            if (compareRecordToKey(m_order.at(pos), key) == 0)
                return pos;
        int pos = 0;
        while (pos < m_order.size() && sign * compareRecordToKey(m_order.at(pos), key) < 0)
            ++pos;
        return pos;
    }
    auto it = std::lower_bound(m_order.cbegin(), m_order.cend(), 0, [&](int rec, int) {
        return sign * compareRecordToKey(rec, key) < 0;
    });
    return int(it - m_order.cbegin());
}

int TVLBTable::upperBound(const QByteArray &key) const
{
    if (m_keysPending)
        buildKeys();
    const int sign = m_desc ? -1 : 1;
    if (m_linearSearch) {
        int pos = lowerBound(key);
        while (pos < m_order.size() && sign * compareRecordToKey(m_order.at(pos), key) == 0)
            ++pos;
        return pos;
    }
    auto it = std::upper_bound(m_order.cbegin(), m_order.cend(), 0, [&](int, int rec) {
        return sign * compareRecordToKey(rec, key) > 0;
    });
    return int(it - m_order.cbegin());
}

void TVLBTable::applyBounds()
{
    m_lo = 0;
    m_hi = m_order.size();
    if (m_keyFields.isEmpty())
        return;
    if (m_hasRange) {
        m_lo = lowerBound(m_rangeLow);
        m_hi = upperBound(m_rangeHigh);
    }
    if (m_master && m_master->Active() && !m_masterFields.isEmpty()) {
        QByteArray key;
        for (int i = 0; i < m_masterFields.size() && i < m_keyFields.size(); ++i) {
            const Field *mf = m_master->FindField(m_masterFields.at(i));
            const QVariant v = (mf && !m_master->IsEmpty()) ? mf->Value() : QVariant();
            encodeNorm(key, normalise(v, m_keyTypes.at(i), m_international || m_keyFold, m_defs.at(m_keyFields.at(i)).name, false,
                                      m_keyUpper));
        }
        if (m_master->IsEmpty()) {
            m_lo = m_hi = 0;
        } else {
            m_lo = std::max(m_lo, lowerBound(key));
            m_hi = std::min(m_hi, upperBound(key));
        }
    }
    if (m_hi < m_lo)
        m_hi = m_lo;
}

bool TVLBTable::FindKey(const QVariantList &key)
{
    CheckBrowseMode();
    const QByteArray k = convertKey(key);
    int pos = std::max(m_lo, lowerBound(k));
    for (; pos < m_hi; ++pos) {
        const int rec = m_order.at(pos);
        if (compareRecordToKey(rec, k) != 0)
            return false;
        if (GotoBookmark(QVariant(rec)))
            return true;
    }
    return false;
}

void TVLBTable::FindNearest(const QVariantList &key)
{
    CheckBrowseMode();
    const QByteArray k = convertKey(key);
    for (int pos = std::max(m_lo, lowerBound(k)); pos < m_hi; ++pos)
        if (GotoBookmark(QVariant(m_order.at(pos))))
            return;
    Last();
}

void TVLBTable::SetRange(const QVariantList &low, const QVariantList &high)
{
    if (!Active())
        throw DatasetError(QStringLiteral("Die Tabelle %1 ist nicht geöffnet.").arg(m_tableName));
    QByteArray lo = convertKey(low);
    QByteArray hi = convertKey(high);
    // A descending index starts at the larger bound; either order is taken.
    if (m_desc && lo < hi)
        std::swap(lo, hi);
    CheckBrowseMode();
    m_rangeLow = lo;
    m_rangeHigh = hi;
    m_hasRange = true;
    applyBounds();
    Resync();
}

void TVLBTable::CancelRange()
{
    if (!Active()) {
        m_hasRange = false;
        return;
    }
    CheckBrowseMode();
    m_hasRange = false;
    m_rangeLow.clear();
    m_rangeHigh.clear();
    applyBounds();
    Resync();
}

void TVLBTable::SetMasterSource(Dataset *master, const QString &masterFields, const QString &detailFields)
{
    ClearMasterSource();
    m_master = master;
    m_masterFields = masterFields.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString &f : m_masterFields)
        f = f.trimmed();
    if (!detailFields.isEmpty() && Active()) {
        const QStringList want = detailFields.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        QStringList cur = CurrentIndexFields().mid(0, want.size());
        bool same = cur.size() == want.size();
        for (int i = 0; same && i < want.size(); ++i)
            same = cur.at(i).compare(want.at(i).trimmed(), Qt::CaseInsensitive) == 0;
        if (!same)
            SetIndexFieldNames(detailFields);
    }
    m_detailFields = detailFields.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (master) {
        m_masterConn1 = connect(master, &Dataset::cursorMoved, this, [this](int) { masterChanged(); });
        m_masterConn2 = connect(master, &Dataset::rowsReset, this, [this]() { masterChanged(); });
    }
    if (Active()) {
        applyBounds();
        Resync();
    }
}

void TVLBTable::ClearMasterSource()
{
    if (m_masterConn1)
        disconnect(m_masterConn1);
    if (m_masterConn2)
        disconnect(m_masterConn2);
    const bool had = !m_master.isNull();
    m_master = nullptr;
    m_masterFields.clear();
    m_detailFields.clear();
    if (had && Active() && m_store) {
        applyBounds();
        Resync();
    }
}

void TVLBTable::masterChanged()
{
    if (!Active() || !m_store)
        return;
    CheckBrowseMode();
    applyBounds();
    Resync();
}

bool TVLBTable::CanModify() const
{
    return m_filePath.isEmpty() || QFileInfo(m_filePath).isWritable();
}

int TVLBTable::RecNo() const
{
    if (!Active())
        return 0;
    return Dataset::RecNo();
}

void TVLBTable::SetRecNo(int recNo)
{
    if (!Active())
        return;
    Dataset::SetRecNo(recNo);
}

void TVLBTable::Refresh()
{
    if (!Active())
        return;
    CheckBrowseMode();
    const QVariant bm = Bookmark();
    const QString dir = Directory();
    m_parked.clear();
    m_store = g_opener ? g_opener(dir, m_tableName) : OpenParadoxStore(dir, m_tableName);
    if (!m_store)
        throw DatasetError(QStringLiteral("Tabelle %1 nicht gefunden.").arg(m_tableName));
    buildOrder();
    applyBounds();
    Resync();
    if (bm.isValid())
        GotoBookmark(bm);
}

int TVLBTable::PhysicalRecord() const
{
    const int pos = CurrentPos();
    return pos < 0 ? -1 : m_order.value(m_lo + pos, -1);
}

int TVLBTable::InternalRowCount() const
{
    return m_hi - m_lo;
}

QVariant TVLBTable::InternalValue(int pos, int fieldIndex) const
{
    return m_store->Value(m_order.at(m_lo + pos), fieldIndex);
}

int TVLBTable::posOfRecord(int rec) const
{
    for (int p = m_lo; p < m_hi; ++p)
        if (m_order.at(p) == rec)
            return p - m_lo;
    return -1;
}

int TVLBTable::InternalPost(int pos, const QVector<QVariant> &values)
{
    m_parked.clear();   // any written field may be part of another index
    int rec;
    if (pos >= 0) {
        const int old = m_order.at(m_lo + pos);
        const int countBefore = m_store->RecordCount();
        // A change outside the key fields leaves every record where it was:
        // the order stays valid (the usual case: Internet, Selekt, Update).
        bool keyChanged = false;
        auto check = [&](int f) {
            if (!keyChanged && WaWiCompareValues(m_store->Value(old, f), values.value(f), m_defs.at(f).type, false) != 0)
                keyChanged = true;
        };
        for (int f : m_keyFields)
            check(f);
        for (int f : m_tiebreak)
            check(f);
        for (int f = 0; f < m_store->KeyFieldCount(); ++f)
            check(f);
        rec = m_store->Update(old, values);
        if (!keyChanged && rec == old && m_store->RecordCount() == countBefore && m_store->TakeRenumbering().isEmpty())
            return posOfRecord(rec);
    } else {
        rec = m_store->Append(values);
    }
    // Rebuild the order: records may have moved between blocks, and a key
    // field may have changed.
    m_store->TakeRenumbering();
    buildOrder();
    applyBounds();
    return posOfRecord(rec);
}

void TVLBTable::InternalDelete(int)
{
    // WaWi records are never deleted by this program.
    throw DatasetError(QStringLiteral("Datensätze der Warenwirtschaft können nicht gelöscht werden."));
}

void TVLBTable::InternalInitRecord(QVector<QVariant> &values)
{
    Dataset::InternalInitRecord(values);
    if (m_master && m_master->Active() && !m_master->IsEmpty()) {
        for (int i = 0; i < m_masterFields.size() && i < m_keyFields.size(); ++i)
            if (const Field *mf = m_master->FindField(m_masterFields.at(i)))
                values[m_keyFields.at(i)] = ConvertToFieldType(mf->Value(), m_keyTypes.at(i), m_defs.at(m_keyFields.at(i)).name);
    }
}

QVariant TVLBTable::InternalRowId(int pos) const
{
    return m_order.at(m_lo + pos);
}

int TVLBTable::InternalFindRowId(const QVariant &id) const
{
    return posOfRecord(id.toInt());
}

} // namespace mv
