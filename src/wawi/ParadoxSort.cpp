#include "wawi/ParadoxSort.h"

#include "wawi/ParadoxFormat.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <cstring>

namespace mv {

namespace {

inline void appendFolded(QString &out, QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80) {
        out.append(QChar(u >= 'A' && u <= 'Z' ? char16_t(u + 32) : u));
        return;
    }
    switch (u) {
    case 0x00DF: out.append(QLatin1String("ss")); return;          // ß
    case 0x1E9E: out.append(QLatin1String("ss")); return;          // ẞ
    case 0x00C6: case 0x00E6: out.append(QLatin1String("ae")); return;
    case 0x0152: case 0x0153: out.append(QLatin1String("oe")); return;
    case 0x00D8: case 0x00F8: out.append(QLatin1Char('o')); return;
    case 0x00D0: case 0x00F0: out.append(QLatin1Char('d')); return;
    default: break;
    }
    QChar l = c.toLower();
    const QString dec = l.decomposition();
    if (!dec.isEmpty() && c.decompositionTag() == QChar::Canonical) {
        QChar base = dec.at(0);
        if (base.unicode() < 0x80) { out.append(base.toLower()); return; }
        out.append(base.toLower());
        return;
    }
    out.append(l);
}

bool isNullValue(const QVariant &v)
{
    if (!v.isValid() || v.isNull()) return true;
    if (v.typeId() == QMetaType::QString) return v.toString().isEmpty();
    if (v.typeId() == QMetaType::QByteArray) return v.toByteArray().isEmpty();
    return false;
}

template <typename T> int cmp(const T &a, const T &b) { return a < b ? -1 : (b < a ? 1 : 0); }

} // namespace

QString ParadoxFoldText(const QString &s)
{
    QString out;
    out.reserve(s.size());
    for (QChar c : s) appendFolded(out, c);
    return out;
}

int ParadoxCompareText(const QString &a, const QString &b)
{
    const int c = ParadoxFoldText(a).compare(ParadoxFoldText(b));
    if (c) return c < 0 ? -1 : 1;
    const int d = a.compare(b);
    return d < 0 ? -1 : (d > 0 ? 1 : 0);
}

int ParadoxCompare(const QVariant &a, const QVariant &b, PxType type)
{
    const bool na = isNullValue(a), nb = isNullValue(b);
    if (na || nb) return na == nb ? 0 : (na ? -1 : 1);
    switch (type) {
    case PxType::Alpha: case PxType::Memo: case PxType::FmtMemo:
        return ParadoxCompareText(a.toString(), b.toString());
    case PxType::Short: case PxType::Long: case PxType::AutoInc:
    case PxType::Number: case PxType::Currency: case PxType::BCD:
        return cmp(a.toDouble(), b.toDouble());
    case PxType::Logical:
        return cmp(int(a.toBool()), int(b.toBool()));
    case PxType::Date:
        return cmp(a.toDate(), b.toDate());
    case PxType::Time:
        return cmp(a.toTime(), b.toTime());
    case PxType::Timestamp:
        return cmp(a.toDateTime(), b.toDateTime());
    default: {
        const QByteArray x = a.toByteArray(), y = b.toByteArray();
        const int c = std::memcmp(x.constData(), y.constData(), size_t(qMin(x.size(), y.size())));
        if (c) return c < 0 ? -1 : 1;
        return cmp(x.size(), y.size());
    }
    }
}

int ParadoxCompareKeys(const QVariantList &a, const QVariantList &b, const QVector<PxType> &types)
{
    const int n = int(qMin(qMin(a.size(), b.size()), types.size()));
    for (int i = 0; i < n; ++i) {
        const int c = ParadoxCompare(a.at(i), b.at(i), types.at(i));
        if (c) return c;
    }
    return 0;
}

QByteArray ParadoxRawSortKey(const char *rec, const QVector<ParadoxField> &all, const QVector<int> &fields,
                             const ParadoxTable *codecOf, bool tieBreak)
{
    QByteArray key;
    key.reserve(64);
    // "ascii" tables sort texts by their bytes (case counts); the other
    // sort orders fold case and accents.
    const bool binary = codecOf && codecOf->Header().sortOrderName.compare(QLatin1String("ascii"), Qt::CaseInsensitive) == 0;
    for (int fi : fields) {
        const ParadoxField &f = all.at(fi);
        const char *p = rec + f.offset;
        if (pxfmt::IsNullBytes(p, f)) { key.append('\0'); continue; }
        key.append('\1');
        if (f.type == PxType::Alpha && binary) {
            key.append(p, int(qstrnlen(p, size_t(f.size))));
            key.append('\0');
        } else if (f.type == PxType::Alpha) {
            const QString s = codecOf ? codecOf->DecodeText(p, f.size) : QString::fromLatin1(p, int(qstrnlen(p, size_t(f.size))));
            const QString folded = ParadoxFoldText(s);
            for (QChar c : folded) { key.append(char(c.unicode() >> 8)); key.append(char(c.unicode() & 0xFF)); }
            key.append('\0'); key.append('\0');
            if (tieBreak) {
                for (QChar c : s) { key.append(char(c.unicode() >> 8)); key.append(char(c.unicode() & 0xFF)); }
                key.append('\0'); key.append('\0');
            }
        } else {
            key.append(p, f.size); // the stored form sorts bytewise
        }
    }
    return key;
}

QByteArray ParadoxRecordSortKey(const ParadoxTable &t, int row, const QVector<int> &fields, bool tieBreak)
{
    return ParadoxRawSortKey(t.RecordData(row), t.Fields(), fields, &t, tieBreak);
}

} // namespace mv
