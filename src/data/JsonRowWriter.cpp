#include "data/JsonRowWriter.h"

#include "core/TextUtil.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <charconv>
#include <cmath>
#include <cstdio>

namespace mv {

namespace {

bool isNull(const QVariant &v)
{
    return !v.isValid() || v.isNull();
}

bool isUnsigned(int typeId)
{
    switch (typeId) {
    case QMetaType::ULongLong: case QMetaType::ULong: case QMetaType::UInt: case QMetaType::UShort:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

bool isFloating(int typeId)
{
    return typeId == QMetaType::Double || typeId == QMetaType::Float;
}

// std::to_chars without a precision gives the shortest text that reads back
// to the same value; a float stays a float so 0.1f does not grow digits.
void appendFloating(QByteArray &out, const QVariant &v)
{
    char buf[40];
    std::to_chars_result r;
    if (v.typeId() == QMetaType::Float) {
        const float f = v.toFloat();
        if (!std::isfinite(f)) {
            out += "null";
            return;
        }
        r = std::to_chars(buf, buf + sizeof buf, f);
    } else {
        bool ok = false;
        const double d = v.toDouble(&ok);
        if (!ok || !std::isfinite(d)) {
            // JSON has no NaN or infinity; a text that is no number stays text.
            if (!ok && v.typeId() == QMetaType::QString)
                JsonRowWriter::AppendString(out, v.toString());
            else
                out += "null";
            return;
        }
        r = std::to_chars(buf, buf + sizeof buf, d);
    }
    out.append(buf, int(r.ptr - buf));
}

void appendInteger(QByteArray &out, const QVariant &v)
{
    const int id = v.typeId();
    if (isUnsigned(id)) {
        out += QByteArray::number(v.toULongLong());
        return;
    }
    if (isFloating(id)) {
        appendFloating(out, v);
        return;
    }
    if (id == QMetaType::Bool) {
        out += v.toBool() ? '1' : '0';
        return;
    }
    bool ok = false;
    const qint64 s = v.toLongLong(&ok);
    if (ok) {
        out += QByteArray::number(s);
        return;
    }
    const quint64 u = v.toULongLong(&ok);
    if (ok) {
        out += QByteArray::number(u);
        return;
    }
    JsonRowWriter::AppendString(out, v.toString());
}

void appendDate(QByteArray &out, const QDate &d)
{
    char buf[24];
    const int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year(), d.month(), d.day());
    out.append(buf, n);
}

void appendTime(QByteArray &out, const QTime &t)
{
    char buf[24];
    const int n = std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", t.hour(), t.minute(), t.second(), t.msec());
    out.append(buf, n);
}

} // namespace

JsonRowWriter::JsonRowWriter(const QVector<FieldDef> &fields)
{
    m_types.reserve(fields.size());
    m_keys.reserve(fields.size());
    for (const FieldDef &d : fields) {
        m_types << d.type;
        QByteArray k;
        AppendString(k, d.name);
        k += ':';
        m_keys << k;
    }
}

void JsonRowWriter::AppendRow(QByteArray &out, const QVector<QVariant> &values) const
{
    out += '{';
    for (int i = 0; i < m_keys.size(); ++i) {
        if (i)
            out += ',';
        out += m_keys[i];
        if (i < values.size())
            AppendValue(out, m_types[i], values[i]);
        else
            out += "null";
    }
    out += '}';
}

QByteArray JsonRowWriter::Row(const QVector<QVariant> &values) const
{
    QByteArray out;
    AppendRow(out, values);
    return out;
}

void JsonRowWriter::AppendString(QByteArray &out, QStringView s)
{
    static const char hex[] = "0123456789abcdef";
    const QByteArray u = s.toUtf8();
    out.reserve(out.size() + u.size() + 2);
    out += '"';
    for (const char c : u) {
        switch (c) {
        case '"': out += "\\\""; continue;
        case '\\': out += "\\\\"; continue;
        case '\n': out += "\\n"; continue;
        case '\r': out += "\\r"; continue;
        case '\t': out += "\\t"; continue;
        case '\b': out += "\\b"; continue;
        case '\f': out += "\\f"; continue;
        default: break;
        }
        const unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x20) {
            out += "\\u00";
            out += hex[b >> 4];
            out += hex[b & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

void JsonRowWriter::AppendValue(QByteArray &out, FieldType type, const QVariant &v)
{
    if (isNull(v)) {
        out += "null";
        return;
    }
    switch (type) {
    case FieldType::Integer: case FieldType::SmallInt: case FieldType::Word: case FieldType::AutoInc:
    case FieldType::LargeInt:
        appendInteger(out, v);
        return;
    case FieldType::Float: case FieldType::Currency: case FieldType::BCD:
        appendFloating(out, v);
        return;
    case FieldType::Boolean:
        out += v.toBool() ? "true" : "false";
        return;
    case FieldType::Date: {
        const QDate d = v.typeId() == QMetaType::QDateTime ? v.toDateTime().date() : v.toDate();
        if (!d.isValid()) {
            out += "null";
            return;
        }
        out += '"';
        appendDate(out, d);
        out += '"';
        return;
    }
    case FieldType::Time: {
        const QTime t = v.typeId() == QMetaType::QDateTime ? v.toDateTime().time() : v.toTime();
        if (!t.isValid()) {
            out += "null";
            return;
        }
        out += '"';
        appendTime(out, t);
        out += '"';
        return;
    }
    case FieldType::DateTime: {
        const QDateTime dt = v.typeId() == QMetaType::QDate ? QDateTime(v.toDate(), QTime(0, 0)) : v.toDateTime();
        if (!dt.isValid()) {
            out += "null";
            return;
        }
        out += '"';
        appendDate(out, dt.date());
        out += 'T';
        appendTime(out, dt.time());
        out += '"';
        return;
    }
    case FieldType::Graphic: case FieldType::Blob: case FieldType::Bytes:
        out += '"';
        out += (v.typeId() == QMetaType::QByteArray ? v.toByteArray() : ToAnsi(v.toString())).toBase64();
        out += '"';
        return;
    case FieldType::String: case FieldType::Memo: case FieldType::FmtMemo:
        break;
    }
    AppendString(out, v.toString());
}

QByteArray JsonRowWriter::Value(FieldType type, const QVariant &v)
{
    QByteArray out;
    AppendValue(out, type, v);
    return out;
}

} // namespace mv
