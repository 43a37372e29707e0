#include "wawi/ParadoxFormat.h"

#include "core/TextUtil.h"

#include <QDateTime>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cmath>

namespace mv::pxfmt {

namespace {

QStringList codecCandidates(int cp, const QString &sortOrder)
{
    // The language driver name decides the character set: the "ANSI..."
    // drivers are Windows ANSI, the DOS ones follow the code page.
    if (sortOrder.startsWith(QLatin1String("ANSI"), Qt::CaseInsensitive) || cp == 0 || cp == 1252)
        return {QStringLiteral("windows-1252")};
    if (cp < 1250)
        return {QStringLiteral("IBM%1").arg(cp), QStringLiteral("cp%1").arg(cp), QStringLiteral("ibm-%1").arg(cp), QStringLiteral("windows-%1").arg(cp)};
    return {QStringLiteral("windows-%1").arg(cp), QStringLiteral("IBM%1").arg(cp),
            QStringLiteral("cp%1").arg(cp), QStringLiteral("ibm-%1").arg(cp)};
}

[[noreturn]] void fieldError(const ParadoxField &f, const QString &what)
{
    throw ParadoxError(QStringLiteral("Feld \"%1\": %2").arg(f.name, what));
}

quint64 be64(const char *p)
{
    quint64 v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | uchar(p[i]);
    return v;
}
quint32 be32(const char *p) { return (quint32(uchar(p[0])) << 24) | (quint32(uchar(p[1])) << 16) | (quint32(uchar(p[2])) << 8) | uchar(p[3]); }
quint16 be16(const char *p) { return quint16((uchar(p[0]) << 8) | uchar(p[1])); }

void putBe64(char *p, quint64 v) { for (int i = 7; i >= 0; --i) { p[i] = char(v & 0xFF); v >>= 8; } }
void putBe32(char *p, quint32 v) { p[0] = char(v >> 24); p[1] = char((v >> 16) & 0xFF); p[2] = char((v >> 8) & 0xFF); p[3] = char(v & 0xFF); }

bool decodeDouble(const char *p, double *out)
{
    quint64 b = be64(p);
    if (b & (quint64(1) << 63))
        b &= ~(quint64(1) << 63);
    else if (b != 0)
        b = ~b;
    else
        return false;
    std::memcpy(out, &b, 8);
    return true;
}

bool decodeLong(const char *p, qint32 *out)
{
    quint32 u = be32(p);
    if (u == 0) return false;
    *out = qint32(u ^ 0x80000000u);
    return true;
}

QVariant decodeBcd(const char *p, const ParadoxField &f)
{
    const uchar b0 = uchar(p[0]);
    if (b0 == 0) return {};
    const bool positive = b0 & 0x80;
    const uchar flip = positive ? 0 : 0x0F;
    int dec = f.decimals;
    if (dec < 0 || dec > 32) dec = 0;
    QByteArray s;
    s.reserve(40);
    if (!positive) s.append('-');
    bool junk = false;
    for (int i = 2; i < 34; ++i) {
        if (i == 34 - dec) s.append('.');
        uchar nib = (i % 2) ? (uchar(p[i / 2]) & 0x0F) : (uchar(p[i / 2]) >> 4);
        nib ^= flip;
        // The engine leaves noise in digits beyond a double's precision;
        // everything from the first non-digit on counts as 0.
        if (nib > 9) junk = true;
        s.append(junk ? '0' : char('0' + nib));
    }
    bool ok = false;
    double d = s.toDouble(&ok);
    return ok ? QVariant(d) : QVariant();
}

void encodeBcd(char *p, const ParadoxField &f, double v)
{
    std::memset(p, 0, 17);
    if (!std::isfinite(v)) fieldError(f, QStringLiteral("ungültige Zahl"));
    const int dec = qBound(0, f.decimals, 32);
    const bool neg = v < 0;
    QByteArray s = QByteArray::number(std::fabs(v), 'f', dec);
    QByteArray ip = s, fp;
    int dot = s.indexOf('.');
    if (dot >= 0) { ip = s.left(dot); fp = s.mid(dot + 1); }
    if (ip == "0") ip.clear();
    if (ip.size() > 32 - dec) fieldError(f, QStringLiteral("Zahl zu groß"));
    QByteArray digits = QByteArray(32 - dec - ip.size(), '0') + ip + fp.leftJustified(dec, '0', true);
    const uchar flip = neg ? 0x0F : 0;
    p[0] = char((neg ? 0x40 : 0xC0) | dec);
    for (int i = 0; i < 32; ++i) {
        int nibIdx = i + 2;
        uchar nib = uchar(digits.at(i) - '0') ^ flip;
        if (nibIdx % 2) p[nibIdx / 2] = char((uchar(p[nibIdx / 2]) & 0xF0) | nib);
        else p[nibIdx / 2] = char((uchar(p[nibIdx / 2]) & 0x0F) | (nib << 4));
    }
}

qint64 toInt(const ParadoxField &f, const QVariant &v)
{
    bool ok = false;
    qint64 r;
    if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float) {
        double d = v.toDouble();
        if (d != std::floor(d) || !std::isfinite(d)) fieldError(f, QStringLiteral("keine ganze Zahl: %1").arg(d));
        r = qint64(d);
        ok = true;
    } else {
        r = v.toLongLong(&ok);
        if (!ok) r = v.toString().trimmed().toLongLong(&ok);
    }
    if (!ok) fieldError(f, QStringLiteral("keine ganze Zahl: \"%1\"").arg(v.toString()));
    return r;
}

double toDouble(const ParadoxField &f, const QVariant &v)
{
    bool ok = false;
    double d = v.toDouble(&ok);
    if (!ok) {
        QString s = v.toString().trimmed();
        d = s.toDouble(&ok);
        if (!ok) d = QString(s).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    }
    if (!ok || !std::isfinite(d)) fieldError(f, QStringLiteral("keine Zahl: \"%1\"").arg(v.toString()));
    return d;
}

QDate toDate(const ParadoxField &f, const QVariant &v)
{
    QDate d;
    if (v.typeId() == QMetaType::QDate) d = v.toDate();
    else if (v.typeId() == QMetaType::QDateTime) d = v.toDateTime().date();
    else {
        const QString s = v.toString().trimmed();
        d = QDate::fromString(s, Qt::ISODate);
        if (!d.isValid()) d = QDate::fromString(s, QStringLiteral("dd.MM.yyyy"));
        if (!d.isValid()) d = QDate::fromString(s, QStringLiteral("d.M.yyyy"));
    }
    if (!d.isValid() || d.year() < 1) fieldError(f, QStringLiteral("kein gültiges Datum: \"%1\"").arg(v.toString()));
    return d;
}

QTime toTime(const ParadoxField &f, const QVariant &v)
{
    QTime t;
    if (v.typeId() == QMetaType::QTime) t = v.toTime();
    else if (v.typeId() == QMetaType::QDateTime) t = v.toDateTime().time();
    else {
        const QString s = v.toString().trimmed();
        t = QTime::fromString(s, Qt::ISODateWithMs);
        if (!t.isValid()) t = QTime::fromString(s, QStringLiteral("H:mm:ss"));
        if (!t.isValid()) t = QTime::fromString(s, QStringLiteral("H:mm"));
    }
    if (!t.isValid()) fieldError(f, QStringLiteral("keine gültige Uhrzeit: \"%1\"").arg(v.toString()));
    return t;
}

QDateTime toDateTime(const ParadoxField &f, const QVariant &v)
{
    QDateTime dt;
    if (v.typeId() == QMetaType::QDateTime) dt = v.toDateTime();
    else if (v.typeId() == QMetaType::QDate) dt = QDateTime(v.toDate(), QTime(0, 0));
    else {
        const QString s = v.toString().trimmed();
        dt = QDateTime::fromString(s, Qt::ISODateWithMs);
        if (!dt.isValid()) dt = QDateTime::fromString(s, QStringLiteral("dd.MM.yyyy HH:mm:ss"));
        if (!dt.isValid()) dt = QDateTime::fromString(s, QStringLiteral("dd.MM.yyyy"));
    }
    if (!dt.isValid() || dt.date().year() < 1) fieldError(f, QStringLiteral("kein gültiger Zeitstempel: \"%1\"").arg(v.toString()));
    return dt;
}

bool toBool(const QVariant &v)
{
    if (v.typeId() == QMetaType::Bool) return v.toBool();
    const QString s = v.toString().trimmed().toUpper();
    if (s == QLatin1String("TRUE") || s == QLatin1String("WAHR") || s == QLatin1String("1") || s == QLatin1String("JA")
        || s == QLatin1String("YES") || s == QLatin1String("T") || s == QLatin1String("J"))
        return true;
    bool ok = false;
    double d = s.toDouble(&ok);
    return ok && d != 0;
}

} // namespace

Codec::Codec(int codePage, const QString &sortOrderName)
{
    for (const QString &cand : codecCandidates(codePage, sortOrderName)) {
        QStringDecoder probe(cand.toLatin1().constData(), QStringDecoder::Flag::Stateless);
        if (!probe.isValid()) continue;
        m_name = cand;
        break;
    }
    if (m_name.isEmpty()) m_name = QStringLiteral("windows-1252");
    QStringDecoder dec(m_name.toLatin1().constData(), QStringDecoder::Flag::Stateless);
    QByteArray all(255, Qt::Uninitialized);
    for (int i = 1; i < 256; ++i) all[i - 1] = char(i);
    QString s = m_name == QLatin1String("windows-1252") ? FromAnsi(all) : dec.decode(all);
    if (s.size() == 255) {
        m_table = true;
        m_to[0] = 0;
        for (int i = 1; i < 256; ++i) {
            m_to[i] = s.at(i - 1).unicode();
            if (m_to[i] != 0xFFFD && !m_from.contains(m_to[i])) m_from.insert(m_to[i], uchar(i));
        }
    }
}

QString Codec::decode(const char *p, int len) const
{
    int n = 0;
    while (n < len && p[n]) ++n;
    if (!m_table) {
        QStringDecoder dec(m_name.toLatin1().constData(), QStringDecoder::Flag::Stateless);
        return dec.decode(QByteArrayView(p, n));
    }
    QString s(n, Qt::Uninitialized);
    QChar *out = s.data();
    for (int i = 0; i < n; ++i) out[i] = QChar(m_to[uchar(p[i])]);
    return s;
}

QByteArray Codec::encode(const QString &s) const
{
    if (!m_table) {
        QStringEncoder enc(m_name.toLatin1().constData(), QStringEncoder::Flag::Stateless);
        return enc.encode(s);
    }
    QByteArray r(s.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s.at(i).unicode();
        if (c < 0x80 && m_to[c] == c) { r[i] = char(c); continue; }
        auto it = m_from.constFind(c);
        r[i] = it == m_from.constEnd() ? '?' : char(it.value());
    }
    return r;
}

int RecordBytes(PxType t, int sizeByte)
{
    return t == PxType::BCD ? 17 : sizeByte;
}

void PutShort(char *p, int v) { quint16 u = quint16(qint16(v)) ^ 0x8000; p[0] = char(u >> 8); p[1] = char(u & 0xFF); }
void PutLong(char *p, qint32 v) { putBe32(p, quint32(v) ^ 0x80000000u); }
void PutDouble(char *p, double v)
{
    quint64 b;
    std::memcpy(&b, &v, 8);
    if (b & (quint64(1) << 63)) b = ~b;
    else b |= (quint64(1) << 63);
    putBe64(p, b);
}
void PutUShort(char *p, quint16 v) { quint16 u = v ^ 0x8000; p[0] = char(u >> 8); p[1] = char(u & 0xFF); }
quint16 GetUShort(const char *p) { return be16(p) ^ 0x8000; }

bool IsNullBytes(const char *p, const ParadoxField &f)
{
    switch (f.type) {
    case PxType::Alpha: return p[0] == 0;
    case PxType::Logical: return p[0] == 0;
    case PxType::BCD: return p[0] == 0;
    case PxType::Memo: case PxType::FmtMemo: case PxType::Blob: case PxType::Ole: case PxType::Graphic:
        return le32(p + f.size - 6) == 0;
    default:
        for (int i = 0; i < f.size; ++i) if (p[i]) return false;
        return true;
    }
}

QVariant DecodeScalar(const char *p, const ParadoxField &f, const Codec &codec)
{
    switch (f.type) {
    case PxType::Alpha:
        if (!p[0]) return {};
        return codec.decode(p, f.size);
    case PxType::Short: {
        quint16 u = be16(p);
        if (!u) return {};
        return int(qint16(u ^ 0x8000));
    }
    case PxType::Long: case PxType::AutoInc: {
        qint32 v;
        return decodeLong(p, &v) ? QVariant(int(v)) : QVariant();
    }
    case PxType::Date: {
        qint32 v;
        if (!decodeLong(p, &v)) return {};
        QDate d = QDate::fromJulianDay(qint64(v) + kJulianOffset);
        return d.isValid() ? QVariant(d) : QVariant();
    }
    case PxType::Time: {
        qint32 v;
        if (!decodeLong(p, &v)) return {};
        if (v < 0 || v >= 86400000) return {};
        return QTime::fromMSecsSinceStartOfDay(v);
    }
    case PxType::Number: case PxType::Currency: {
        double d;
        return decodeDouble(p, &d) ? QVariant(d) : QVariant();
    }
    case PxType::Timestamp: {
        double d;
        if (!decodeDouble(p, &d) || !std::isfinite(d) || d < 0 || d > 4e14) return {};
        const qint64 ms = qint64(std::llround(d));
        const qint64 days = ms / 86400000;
        const int rest = int(ms % 86400000);
        QDate date = QDate::fromJulianDay(days + kJulianOffset);
        if (!date.isValid()) return {};
        return QDateTime(date, QTime::fromMSecsSinceStartOfDay(rest));
    }
    case PxType::Logical: {
        uchar b = uchar(p[0]);
        if (!b) return {};
        return bool(b & 0x7F);
    }
    case PxType::BCD:
        return decodeBcd(p, f);
    case PxType::Bytes: {
        bool any = false;
        for (int i = 0; i < f.size && !any; ++i) any = p[i];
        if (!any) return {};
        return QByteArray(p, f.size);
    }
    default:
        return {};
    }
}

void EncodeScalar(char *p, const ParadoxField &f, const QVariant &v, const Codec &codec)
{
    std::memset(p, 0, size_t(f.size));
    const bool isString = v.typeId() == QMetaType::QString;
    if (!v.isValid() || v.isNull() || (isString && v.toString().isEmpty())) return; // NULL
    switch (f.type) {
    case PxType::Alpha: {
        QByteArray b = codec.encode(v.toString());
        int nul = b.indexOf('\0');
        if (nul >= 0) b.truncate(nul);
        if (b.size() > f.size) fieldError(f, QStringLiteral("Text zu lang (%1 Zeichen, erlaubt %2)").arg(b.size()).arg(f.size));
        std::memcpy(p, b.constData(), size_t(b.size()));
        return;
    }
    case PxType::Short: {
        qint64 x = toInt(f, v);
        if (x < -32767 || x > 32767) fieldError(f, QStringLiteral("Zahl außerhalb von -32767..32767: %1").arg(x));
        PutShort(p, int(x));
        return;
    }
    case PxType::Long: case PxType::AutoInc: {
        qint64 x = toInt(f, v);
        if (x < -2147483647LL || x > 2147483647LL) fieldError(f, QStringLiteral("Zahl zu groß: %1").arg(x));
        PutLong(p, qint32(x));
        return;
    }
    case PxType::Date: {
        QDate d = toDate(f, v);
        PutLong(p, qint32(d.toJulianDay() - kJulianOffset));
        return;
    }
    case PxType::Time:
        PutLong(p, toTime(f, v).msecsSinceStartOfDay());
        return;
    case PxType::Timestamp: {
        QDateTime dt = toDateTime(f, v);
        double ms = double(dt.date().toJulianDay() - kJulianOffset) * 86400000.0 + dt.time().msecsSinceStartOfDay();
        PutDouble(p, ms);
        return;
    }
    case PxType::Number: case PxType::Currency:
        PutDouble(p, toDouble(f, v));
        return;
    case PxType::Logical:
        p[0] = char(toBool(v) ? 0x81 : 0x80);
        return;
    case PxType::BCD:
        encodeBcd(p, f, toDouble(f, v));
        return;
    case PxType::Bytes: {
        QByteArray b = v.toByteArray();
        if (b.size() > f.size) fieldError(f, QStringLiteral("zu viele Bytes (%1, erlaubt %2)").arg(b.size()).arg(f.size));
        std::memcpy(p, b.constData(), size_t(b.size()));
        return;
    }
    default:
        fieldError(f, QStringLiteral("Feldtyp kann hier nicht geschrieben werden"));
    }
}

// --- .MB

MbAppender::MbAppender(qint64 existingSize, quint16 modCount)
    : m_base(existingSize), m_mod(modCount)
{
    if (m_base <= 0) {
        m_base = 0;
        m_tail = QByteArray(4096, '\0');
        char *h = m_tail.data();
        h[0] = 0;
        put16(h + 1, 1);
        put16(h + 3, 1);
        h[5] = char(0x82); h[6] = 0x73; h[7] = 0x02; h[8] = 0x00; h[9] = 0x29;
        put16(h + 0x0B, 0x1000);
        put16(h + 0x0D, 0x1000);
        h[0x10] = 0x10;
        put16(h + 0x11, 0x0040);
        put16(h + 0x13, 0x0800);
        put16(h + 0x29, 0x02A1);
        m_mod = 1;
    } else if (m_base % 4096) {
        // A file not ending on a block boundary: new blocks start at the next one.
        m_tail = QByteArray(int(4096 - m_base % 4096), '\0');
    }
}

quint32 MbAppender::add(const QByteArray &data, bool graphic, quint16 *mod)
{
    const qint64 len = data.size();
    ++m_mod;
    if (m_mod == 0) m_mod = 1;
    *mod = m_mod;
    if (graphic || len > 2048) {
        const int hdr = graphic ? 17 : 9;
        const qint64 total = len + hdr;
        const qint64 blocks = (total + 4095) / 4096;
        if (blocks > 0xFFFF) throw ParadoxError(QStringLiteral("Memo/Blob zu groß (%1 Bytes)").arg(len));
        const qint64 off = m_base + m_tail.size();
        if (off > 0xFFFFFF00LL) throw ParadoxError(QStringLiteral("Memo-Datei würde zu groß"));
        QByteArray blk(int(blocks * 4096), '\0');
        char *b = blk.data();
        b[0] = 2;
        put16(b + 1, quint16(blocks));
        put32(b + 3, quint32(graphic ? len + 8 : len));
        put16(b + 7, m_mod);
        if (graphic) put32(b + 13, quint32(len));
        std::memcpy(b + hdr, data.constData(), size_t(len));
        m_tail.append(blk);
        m_subBlock = -1; // keep sub-allocations after the big block
        return quint32(off) | 0xFF;
    }
    const int chunks = int((len + 15) / 16);
    if (m_subBlock < 0 || m_subNextEntry < 0 || m_subFreeChunk + chunks > 256) {
        m_subBlock = m_tail.size();
        const qint64 off = m_base + m_subBlock;
        if (off > 0xFFFFFF00LL) throw ParadoxError(QStringLiteral("Memo-Datei würde zu groß"));
        QByteArray blk(4096, '\0');
        blk[0] = 3;
        put16(blk.data() + 1, 1);
        m_tail.append(blk);
        m_subFreeChunk = 21;
        m_subNextEntry = 63;
    }
    char *b = m_tail.data() + m_subBlock;
    const int e = m_subNextEntry--;
    char *ent = b + 12 + 5 * e;
    ent[0] = char(m_subFreeChunk);
    ent[1] = char(chunks);
    put16(ent + 2, m_mod);
    ent[4] = char(len % 16 == 0 ? 16 : len % 16);
    std::memcpy(b + m_subFreeChunk * 16, data.constData(), size_t(len));
    m_subFreeChunk += chunks;
    return quint32(m_base + m_subBlock) | quint32(e);
}

void EncodeBlob(char *p, const ParadoxField &f, const QByteArray &data, MbAppender *mb)
{
    std::memset(p, 0, size_t(f.size));
    if (data.isEmpty()) return;
    const int leader = f.size - 10;
    const bool graphic = f.type == PxType::Graphic;
    std::memcpy(p, data.constData(), size_t(qMin<qint64>(leader, data.size())));
    quint32 ptr = 0;
    quint16 mod = 0;
    if (graphic || data.size() > leader) {
        if (!mb) fieldError(f, QStringLiteral("keine Memo-Datei (.MB) vorhanden"));
        ptr = mb->add(data, graphic, &mod);
    }
    put32(p + leader, ptr);
    put32(p + leader + 4, quint32(graphic ? data.size() + 8 : data.size()));
    put16(p + leader + 8, mod);
}

// --- headers

bool IsDataLike(int t) { return t == 0 || t == 2 || t == 3 || t == 5 || t == 6 || t == 8; }
bool HasDataHeader(int t, int version) { return IsDataLike(t) && version >= 5; }

QByteArray BuildHeader(const HeaderSpec &h, const Codec &codec)
{
    const int n = int(h.fields.size());
    const bool dataLike = IsDataLike(h.fileType);
    const int base = HasDataHeader(h.fileType, h.fileVersion) ? 0x78 : 0x58;
    const int tnLen = h.fileVersion >= 12 ? 261 : 79;
    QByteArray names;
    if (dataLike) {
        for (const ParadoxField &f : h.fields) { names += codec.encode(f.name); names += '\0'; }
    }
    QByteArray tail; // after the table name
    if (dataLike) {
        tail += names;
        for (int i = 0; i < n; ++i) {
            char b[2];
            put16(b, quint16(i < h.fieldNumbers.size() ? h.fieldNumbers[i] : i + 1));
            tail.append(b, 2);
        }
        tail += h.sortOrderName.toLatin1();
        tail += '\0';
        if (h.fileType != 0 && h.fileType != 2) { tail += codec.encode(h.indexName); tail += '\0'; }
    }
    const int used = base + n * 2 + 4 + (dataLike ? n * 4 : 0) + tnLen + int(tail.size());
    int headerSize = 0x800;
    while (headerSize < used) headerSize += 0x800;
    QByteArray out(headerSize, '\0');
    char *o = out.data();
    put16(o + 0x00, quint16(h.recordSize));
    put16(o + 0x02, quint16(headerSize));
    o[0x04] = char(h.fileType);
    o[0x05] = char(h.blockSize / 1024);
    put32(o + 0x06, quint32(h.recordCount));
    put16(o + 0x0A, quint16(h.blocksUsed));
    put16(o + 0x0C, quint16(h.blocksTotal));
    put16(o + 0x0E, quint16(h.firstBlock));
    put16(o + 0x10, quint16(h.lastBlock));
    put16(o + 0x12, quint16(h.unknown12));
    o[0x15] = char(h.indexFieldNumber);
    if (h.fileType == 0) {
        put32(o + 0x16, quint32(-100));
        put32(o + 0x1A, quint32(-500));
    }
    put16(o + 0x1E, quint16(h.indexRoot));
    o[0x20] = char(h.indexLevels);
    put16(o + 0x21, quint16(n));
    put16(o + 0x23, quint16(h.keyFieldCount));
    if (dataLike) put32(o + 0x25, 0xFF00FF00u);
    o[0x29] = char(h.sortOrderId);
    o[0x2C] = char(h.pxChange2C);
    o[0x2D] = char(h.changeCount1);
    o[0x2E] = char(h.changeCount2);
    put32(o + 0x30, quint32(base + n * 2));
    put32(o + 0x34, quint32(base));
    o[0x39] = char(h.fileVersion);
    put16(o + 0x3A, quint16(h.blocksTotal));
    if (dataLike) { o[0x3E] = 0x1F; o[0x3F] = 0x0F; o[0x56] = 0x20; }
    put32(o + 0x49, quint32(h.autoInc));
    put16(o + 0x51, quint16(used));
    if (!dataLike || h.fileType == 0 || h.fileType == 2) {
        // refIntegrity: left 0
    } else {
        o[0x55] = char(h.descending ? 0x11 : 0x01);
    }
    if (base == 0x78) {
        const quint16 ver = quint16(0x0100 | h.fileVersion);
        put16(o + 0x58, ver);
        put16(o + 0x5A, ver);
        put32(o + 0x60, quint32(QDateTime::currentSecsSinceEpoch()));
        put16(o + 0x64, quint16(n + 1));
        put16(o + 0x66, quint16(0x20 + n * 6 + 4 + tnLen + int(names.size())));
        put16(o + 0x6A, quint16(h.codePage));
        if (h.fileType == 0 || h.fileType == 2) { o[0x6C] = 1; o[0x6D] = 1; }
        put16(o + 0x6E, quint16(used - 0x61)); // as the engine writes it
        put16(o + 0x70, quint16(h.changeCount4));
    }
    int pos = base;
    for (const ParadoxField &f : h.fields) {
        o[pos++] = char(f.type);
        o[pos++] = char(f.type == PxType::BCD ? f.decimals : f.size);
    }
    const int tnPos = pos + 4 + (dataLike ? n * 4 : 0);
    put32(o + pos, quint32(tnPos));
    pos += 4;
    if (dataLike) {
        int nameOff = tnPos + tnLen;
        for (const ParadoxField &f : h.fields) {
            put32(o + pos, quint32(nameOff));
            pos += 4;
            nameOff += int(codec.encode(f.name).size()) + 1;
        }
    }
    QByteArray tn = codec.encode(h.tableName).left(tnLen - 1);
    std::memcpy(o + pos, tn.constData(), size_t(tn.size()));
    pos += tnLen;
    std::memcpy(o + pos, tail.constData(), size_t(tail.size()));
    return out;
}

} // namespace mv::pxfmt
