#pragma once
// Shared by the multi-process tests and their helper program: the table
// both sides use, and a digest of its content by key.

#include "wawi/ParadoxTable.h"
#include "wawi/ParadoxWriter.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QMap>

namespace stress {

using namespace mv;

inline ParadoxSchema schema()
{
    ParadoxSchema s;
    s.blockSizeKB = 2;
    s.keyFieldCount = 2;
    s.fields = {{"Mandant", PxType::Short}, {"ArtikelNr", PxType::Alpha, 20}, {"Bezeichnung", PxType::Alpha, 60},
                {"Bezeichnung_Intern", PxType::Alpha, 60}, {"Internet", PxType::Logical}, {"Selekt", PxType::Logical},
                {"Update", PxType::Timestamp}, {"Preis", PxType::Currency}, {"Lfd", PxType::AutoInc},
                {"Langtext", PxType::Memo, 30}};
    s.indexes = {{"Schnellsuche", {"Mandant", "Internet", "Bezeichnung"}}, {QString(), {"Bezeichnung"}},
                 {"Ix_Preis", {"Preis"}, false}, {"Ix_Neueste", {"Update", "Bezeichnung"}, true, true}};
    return s;
}

inline QVariantList record(int nr)
{
    return {1 + nr % 2, QStringLiteral("A%1").arg(nr, 6, 10, QLatin1Char('0')), QStringLiteral("Artikel %1").arg(nr % 37),
            QVariant(), nr % 2 == 0, false, QDateTime(QDate(2020, 1, 1), QTime(12, 0)), nr * 0.5, QVariant(),
            nr % 3 == 0 ? QVariant() : QVariant(QStringLiteral("Text %1 ").arg(nr).repeated(1 + nr % 40))};
}

inline QString create(const QString &dir, int n)
{
    const QString path = dir + QStringLiteral("/Artikel.DB");
    ParadoxWriter w(path, schema());
    for (int i = 0; i < n; ++i) w.AddRecord(record(i));
    w.Finish();
    return path;
}

inline QString keyOf(const QVariantList &v) { return v.value(0).toString() + QLatin1Char('|') + v.value(1).toString(); }

// Content by key, without the auto-increment field.
inline QMap<QString, QVariantList> rows(const ParadoxTable &t)
{
    QMap<QString, QVariantList> m;
    for (int r = 0; r < t.RowCount(); ++r) {
        QVariantList v = t.Values(r);
        v[8] = QVariant();
        m.insert(keyOf(v), v);
    }
    return m;
}

inline QByteArray digest(const QMap<QString, QVariantList> &m)
{
    QCryptographicHash h(QCryptographicHash::Sha256);
    for (auto it = m.constBegin(); it != m.constEnd(); ++it) {
        h.addData(it.key().toUtf8());
        for (const QVariant &v : it.value()) {
            h.addData(QByteArray(1, v.isValid() ? '\1' : '\0'));
            if (v.isValid()) h.addData(v.toString().toUtf8());
            h.addData(QByteArray(1, '\x1f'));
        }
    }
    return h.result().toHex();
}

} // namespace stress
