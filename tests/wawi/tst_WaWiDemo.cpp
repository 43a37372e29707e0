// The demo WaWi on real Paradox files: it reads back exactly what was
// generated (also through pxlib), detection finds it, and write-back
// through TVLBTable leaves every index file in line with the data.

#include "core/Registry.h"
#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "core/UiHooks.h"
#include "wawi/ParadoxSort.h"
#include "wawi/ParadoxTable.h"
#include "wawi/TVLBTable.h"
#include "wawi/WaWiDatasetOps.h"
#include "wawi/WaWiDemo.h"
#include "wawi/WaWiDetect.h"
#include "wawi/WaWiSchema.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTest>

#include <paradox.h>

#include <dlfcn.h>

#include <algorithm>
#include <cmath>

using namespace mv;

namespace {

// pxlib as an independent reader, loaded at run time.
struct PxLib {
    decltype(&PX_boot) boot = nullptr;
    decltype(&PX_new) create = nullptr;
    decltype(&PX_open_file) openFile = nullptr;
    decltype(&PX_get_num_records) numRecords = nullptr;
    decltype(&PX_get_num_fields) numFields = nullptr;
    decltype(&PX_get_fields) fields = nullptr;
    decltype(&PX_get_record) getRecord = nullptr;
    decltype(&PX_get_data_alpha) alpha = nullptr;
    decltype(&PX_get_data_long) getLong = nullptr;
    decltype(&PX_get_data_short) getShort = nullptr;
    decltype(&PX_get_data_double) getDouble = nullptr;
    decltype(&PX_get_data_byte) getByte = nullptr;
    decltype(&PX_close) close = nullptr;
    decltype(&PX_delete) del = nullptr;
    bool ok = false;

    PxLib()
    {
        void *h = nullptr;
        for (const char *name : {"libpx.so.0", "libpx.so.1", "libpx.so"})
            if (!h)
                h = dlopen(name, RTLD_NOW);
        if (!h)
            return;
#define SYM(member, name) member = reinterpret_cast<decltype(member)>(dlsym(h, name)); if (!member) return;
        SYM(boot, "PX_boot") SYM(create, "PX_new") SYM(openFile, "PX_open_file")
        SYM(numRecords, "PX_get_num_records") SYM(numFields, "PX_get_num_fields") SYM(fields, "PX_get_fields")
        SYM(getRecord, "PX_get_record") SYM(alpha, "PX_get_data_alpha") SYM(getLong, "PX_get_data_long")
        SYM(getShort, "PX_get_data_short") SYM(getDouble, "PX_get_data_double") SYM(getByte, "PX_get_data_byte")
        SYM(close, "PX_close") SYM(del, "PX_delete")
#undef SYM
        boot();
        ok = true;
    }

    // All records, blob fields left out (NULL), in the value forms of Dataset.h.
    QVector<QVariantList> read(const QString &path, QString *error)
    {
        QVector<QVariantList> out;
        pxdoc_t *doc = create();
        if (openFile(doc, QFile::encodeName(path).constData()) < 0) {
            *error = QStringLiteral("pxlib kann %1 nicht öffnen").arg(path);
            del(doc);
            return out;
        }
        const int nf = numFields(doc);
        pxfield_t *f = fields(doc);
        int size = 0;
        for (int i = 0; i < nf; ++i)
            size += f[i].px_flen;
        QByteArray buf(size + 8, 0);
        const int n = numRecords(doc);
        for (int r = 0; r < n; ++r) {
            if (!getRecord(doc, r, buf.data())) {
                *error = QStringLiteral("pxlib: Datensatz %1 nicht lesbar").arg(r);
                break;
            }
            QVariantList row;
            int off = 0;
            for (int i = 0; i < nf; ++i) {
                char *data = buf.data() + off;
                const int len = f[i].px_flen;
                off += len;
                QVariant v;
                // pxlib 0.6.8 tests a 4-byte field for NULL by reading a
                // native long (8 bytes here): do the all-zero test ourselves.
                if (f[i].px_ftype != pxfAlpha && std::all_of(data, data + len, [](char c) { return c == 0; })) {
                    row << v;
                    continue;
                }
                switch (f[i].px_ftype) {
                case pxfAlpha: {
                    char *s = nullptr;
                    if (alpha(doc, data, len, &s) > 0 && s) {
                        v = FromAnsi(s, qstrlen(s));
                        doc->free(doc, s);
                    }
                    break;
                }
                case pxfDate: {
                    long d = 0;
                    if (getLong(doc, data, len, &d) > 0)
                        v = QDate::fromJulianDay(1721425 + d);
                    break;
                }
                case pxfShort: {
                    short s = 0;
                    if (getShort(doc, data, len, &s) > 0)
                        v = int(s);
                    break;
                }
                case pxfLong:
                case pxfAutoInc: {
                    long l = 0;
                    if (getLong(doc, data, len, &l) > 0)
                        v = int(l);
                    break;
                }
                case pxfNumber:
                case pxfCurrency: {
                    double d = 0;
                    if (getDouble(doc, data, len, &d) > 0)
                        v = d;
                    break;
                }
                case pxfLogical: {
                    char b = 0;
                    if (getByte(doc, data, len, &b) > 0)
                        v = b != 0;
                    break;
                }
                case pxfTimestamp: {
                    double d = 0;
                    if (getDouble(doc, data, len, &d) > 0) {
                        const qint64 ms = qint64(d);
                        const QDate day = QDate::fromJulianDay(1721425 + ms / 86400000);
                        v = QDateTime(day, QTime::fromMSecsSinceStartOfDay(int(ms % 86400000)));
                    }
                    break;
                }
                default:
                    break;  // blobs and the rest are not compared
                }
                row << v;
            }
            out << row;
        }
        close(doc);
        del(doc);
        return out;
    }
};

PxLib &pxlib()
{
    static PxLib p;
    return p;
}

bool isNullish(const QVariant &v)
{
    return !v.isValid() || v.isNull() || (v.typeId() == QMetaType::QString && v.toString().isEmpty());
}

// Exact equality in the field's value form (text case-sensitive).
bool sameValue(const QVariant &a, const QVariant &b, FieldType t)
{
    if (isNullish(a) || isNullish(b))
        return isNullish(a) && isNullish(b);
    switch (t) {
    case FieldType::String: case FieldType::Memo: case FieldType::FmtMemo:
        return a.toString() == b.toString();
    case FieldType::Float: case FieldType::Currency: case FieldType::BCD:
        return std::fabs(a.toDouble() - b.toDouble()) < 1e-9 * std::max(1.0, std::fabs(a.toDouble()));
    case FieldType::Boolean:
        return a.toBool() == b.toBool();
    case FieldType::Date:
        return a.toDate() == b.toDate();
    case FieldType::DateTime:
        return a.toDateTime() == b.toDateTime();
    case FieldType::Graphic: case FieldType::Blob: case FieldType::Bytes:
        return a.toByteArray() == b.toByteArray();
    default:
        return a.toLongLong() == b.toLongLong();
    }
}

QString tupleText(const QVariantList &values, int n)
{
    QStringList parts;
    for (int i = 0; i < n && i < values.size(); ++i)
        parts << (isNullish(values.at(i)) ? QStringLiteral("<null>") : values.at(i).toString());
    return parts.join(QChar(0x1F));
}

// Every index file of the table agrees with its rows: one entry per
// record, in key order, with the record's key values.
void checkIndexes(const QString &dbPath)
{
    auto t = ParadoxTable::Open(dbPath);
    const int rows = t->RowCount();
    if (t->Keyed()) {
        QVector<PxType> types;
        for (int i = 0; i < t->KeyFieldCount(); ++i)
            types << t->Fields().at(i).type;
        for (int r = 1; r < rows; ++r)
            QVERIFY2(ParadoxCompareKeys(t->KeyValues(r - 1), t->KeyValues(r), types) < 0,
                     qPrintable(QStringLiteral("%1: Satz %2 nicht in Schlüsselfolge").arg(dbPath).arg(r)));
        const auto entries = t->ReadPrimaryIndex();
        QVERIFY(!entries.isEmpty() || rows == 0);
        int counted = 0;
        for (int i = 0; i < entries.size(); ++i) {
            counted += entries.at(i).count;
            if (i > 0)
                QVERIFY(ParadoxCompareKeys(entries.at(i - 1).key, entries.at(i).key, types) < 0);
        }
        QCOMPARE(counted, rows);
    }
    for (const auto &ix : t->SecondaryIndexes()) {
        const auto recs = t->ReadSecondaryIndex(ix);
        QVERIFY2(recs.size() == rows, qPrintable(QStringLiteral("%1 Index %2: %3 Einträge für %4 Sätze")
                                                     .arg(dbPath, ix.name).arg(recs.size()).arg(rows)));
        QVector<PxType> types;
        for (int f : ix.fields)
            types << t->Fields().at(f).type;
        QStringList fromIndex, fromRows;
        for (int i = 0; i < recs.size(); ++i) {
            if (i > 0)
                QVERIFY2(ParadoxCompareKeys(recs.at(i - 1).values, recs.at(i).values, types) <= 0,
                         qPrintable(QStringLiteral("%1 Index %2: Eintrag %3 nicht in Folge").arg(dbPath, ix.name).arg(i)));
            fromIndex << tupleText(recs.at(i).values, ix.fields.size());
        }
        for (int r = 0; r < rows; ++r) {
            QVariantList key;
            for (int f : ix.fields)
                key << t->Value(r, f);
            fromRows << tupleText(key, key.size());
        }
        fromIndex.sort();
        fromRows.sort();
        QVERIFY2(fromIndex == fromRows, qPrintable(QStringLiteral("%1 Index %2 passt nicht zu den Daten").arg(dbPath, ix.name)));
    }
}

// pxlib reads the same non-blob values as our reader.
void checkWithPxlib(const QString &dbPath)
{
    if (!pxlib().ok) {
        if (qEnvironmentVariable("CI") == QLatin1String("true"))
            QFAIL("pxlib (libpx.so.0) fehlt");
        QSKIP("pxlib (libpx.so.0) nicht installiert");
    }
    QString error;
    const auto px = pxlib().read(dbPath, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    auto t = ParadoxTable::Open(dbPath);
    QCOMPARE(px.size(), t->RowCount());
    const int kc = std::max(1, t->KeyFieldCount());
    QHash<QString, int> ours;
    for (int r = 0; r < t->RowCount(); ++r)
        ours.insert(tupleText(t->KeyValues(r).isEmpty() ? QVariantList{t->Value(r, 0)} : t->KeyValues(r), kc), r);
    for (const auto &row : px) {
        const QString key = tupleText(row, kc);
        QVERIFY2(ours.contains(key), qPrintable(QStringLiteral("%1: Schlüssel %2 fehlt").arg(dbPath, key)));
        const int r = ours.value(key);
        for (int f = 0; f < t->Fields().size(); ++f) {
            const auto &fd = t->Fields().at(f);
            if (PxIsBlob(fd.type) || fd.type == PxType::BCD || fd.type == PxType::Bytes || fd.type == PxType::Time)
                continue;
            QVERIFY2(sameValue(row.at(f), t->Value(r, f), PxToFieldType(fd.type)),
                     qPrintable(QStringLiteral("%1 Satz %2 Feld %3: pxlib '%4', wir '%5'")
                                    .arg(dbPath, key, fd.name, row.at(f).toString(), t->Value(r, f).toString())));
        }
    }
}

} // namespace

class TestWaWiDemo : public QObject {
    Q_OBJECT
private:
    test::TestEnv *m_env = nullptr;
    QString m_dir;
    QHash<QString, QVector<QVariantList>> m_generated;
    RecordingUiHooks m_ui;

    QString db(const QString &table) const { return FindTableFile(m_dir, table); }

private slots:
    void initTestCase()
    {
        m_env = new test::TestEnv;
        SetUiHooks(&m_ui);
        m_dir = m_env->file(QStringLiteral("wawi"));
        WaWiDemoOptions o;
        o.articles = 400;
        o.addresses = 90;
        o.groups = 40;
        o.mandanten = 2;
        o.onRecord = [this](const QString &table, const QVariantList &v) { m_generated[table] << v; };
        WriteWaWiDemo(m_dir, o);
    }
    void cleanupTestCase()
    {
        SetUiHooks(nullptr);
        WaWiState().mandantTable.reset();
        delete m_env;
    }

    void everyTableReadsBackAsGenerated_data()
    {
        QTest::addColumn<QString>("table");
        for (const auto &t : WaWiTables())
            QTest::newRow(qPrintable(t.fileName)) << t.fileName;
    }
    void everyTableReadsBackAsGenerated()
    {
        QFETCH(QString, table);
        const WaWiTableDef *def = WaWiTable(table);
        QVERIFY(def);
        const auto &gen = m_generated.value(table);
        QVERIFY2(!gen.isEmpty(), "no records generated");
        TVLBTable t;
        t.SetTableName(table);
        t.SetDirectory(m_dir);
        t.Open();
        QCOMPARE(t.RecordCount(), gen.size());
        QCOMPARE(t.FieldCount(), def->fields.size());
        // Every index the program names comes from a file, not the catalog.
        for (const auto &ix : def->indexes) {
            bool found = false;
            for (const auto &d : t.IndexDefs())
                if (!d.primary && d.name == ix.name) {
                    found = true;
                    QVERIFY2(!d.fromCatalog, qPrintable(ix.name));
                    QCOMPARE(d.fields, ix.fields);
                }
            QVERIFY2(found, qPrintable(ix.name));
        }
        // Records by primary key.
        QHash<QString, QVariantList> byKey;
        for (const auto &v : gen)
            byKey.insert(tupleText(v, def->keyFields), v);
        for (t.First(); !t.Eof(); t.Next()) {
            QVariantList key;
            for (int i = 0; i < def->keyFields; ++i)
                key << t.FieldAt(i)->Value();
            const QVariantList want = byKey.value(tupleText(key, def->keyFields));
            QVERIFY(!want.isEmpty());
            for (int f = 0; f < t.FieldCount(); ++f)
                QVERIFY2(sameValue(want.at(f), t.FieldAt(f)->Value(), t.FieldAt(f)->DataType()),
                         qPrintable(QStringLiteral("%1.%2: '%3' statt '%4'")
                                        .arg(table, t.FieldAt(f)->FieldName(), t.FieldAt(f)->AsString(), want.at(f).toString())));
        }
        checkIndexes(db(table));
    }

    void pxlibReadsTheSame_data() { everyTableReadsBackAsGenerated_data(); }
    void pxlibReadsTheSame()
    {
        QFETCH(QString, table);
        checkWithPxlib(db(table));
    }

    // The demo holds the cases the transfer and the lists must handle.
    void demoCoversTheCases()
    {
        auto col = [this](const char *table, const char *field) {
            const int i = WaWiTable(QString::fromLatin1(table))->fieldIndex(QString::fromUtf8(field));
            QVariantList out;
            for (const auto &v : m_generated.value(QString::fromLatin1(table)))
                out << v.at(i);
            return out;
        };
        const QVariantList art = col("Warengruppe.DB", "ART"), hidden = col("Warengruppe.DB", "Internet"),
                           wgNr = col("Warengruppe.DB", "Warengruppe"), parent = col("Warengruppe.DB", "Anhang");
        QVERIFY(std::any_of(art.cbegin(), art.cend(), [](const QVariant &v) { return v.isValid() && v.toInt() >= 200; }));
        QSet<int> hiddenGroups;
        for (int i = 0; i < wgNr.size(); ++i)
            if (hidden.at(i).toBool())
                hiddenGroups << wgNr.at(i).toInt();
        const QVariantList artGroup = col("Artikel.DB", "Warengruppe"), online = col("Artikel.DB", "Internet");
        QVERIFY(std::any_of(artGroup.cbegin(), artGroup.cend(), [&](const QVariant &v) { return hiddenGroups.contains(v.toInt()); }));
        QVERIFY(online.contains(QVariant(false)) && online.contains(QVariant(true)));
        // Three levels: a group whose parent has a parent.
        QHash<int, int> up;
        for (int i = 0; i < wgNr.size(); ++i)
            up.insert(wgNr.at(i).toInt(), parent.at(i).toInt());
        QVERIFY(std::any_of(up.cbegin(), up.cend(), [&](int p) { return up.value(p, 0) > 0; }));
        const QVariantList zusatz3 = col("Artikel.DB", "Zusatz3"), extra = col("Artikel.DB", "Warengruppen"),
                           names = col("Artikel.DB", "Bezeichnung"), lang = col("Artikel.DB", "Langtext");
        QVERIFY(std::any_of(zusatz3.cbegin(), zusatz3.cend(), [](const QVariant &v) { return v.toString().startsWith(QStringLiteral("#ArtikelNr:")); }));
        QVERIFY(std::any_of(extra.cbegin(), extra.cend(), [](const QVariant &v) { return v.toString().contains(QLatin1Char(';')); }));
        QVERIFY(std::any_of(names.cbegin(), names.cend(), [](const QVariant &v) { return v.toString().contains(QLatin1Char('\'')); }));
        QVERIFY(std::any_of(names.cbegin(), names.cend(), [](const QVariant &v) { return v.toString().contains(QLatin1Char('&')); }));
        QVERIFY(std::any_of(lang.cbegin(), lang.cend(), [](const QVariant &v) { return v.toString().contains(QStringLiteral("\\'e4")); }));
        // Variants that use only eigen2 and eigen4.
        const QVariantList e1 = col("Artikel_Eig.DB", "eigen1"), e4 = col("Artikel_Eig.DB", "eigen4");
        bool onlyTwoFour = false;
        for (int i = 0; i < e1.size(); ++i)
            onlyTwoFour = onlyTwoFour || (e1.at(i).toString().isEmpty() && !e4.at(i).toString().isEmpty());
        QVERIFY(onlyTwoFour);
        const QVariantList levels = col("VK_Staffel.db", "Preisstufe"), prices = col("Rabatt.DB", "Preis");
        QVERIFY(levels.contains(QVariant(0)) && levels.contains(QVariant(2)));
        QVERIFY(std::any_of(prices.cbegin(), prices.cend(), [](const QVariant &v) { return v.toDouble() < 0; }));
        QVERIFY(!m_generated.value(QStringLiteral("AdrArtVer.DB")).isEmpty());
        const QVariantList nummer = col("Adressen.DB", "Nummer"), onlinenot = col("Adressen.DB", "Onlinenot");
        QVERIFY(nummer.contains(QVariant()) && onlinenot.contains(QVariant(true)));
    }

    void damagedOrMissingTable()
    {
        QFile bad(QDir(m_dir).filePath(QStringLiteral("Kaputt.DB")));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write(QByteArray("\x10\x00\x20garbage", 10));
        bad.close();
        for (const char *name : {"kaputt.db", "Fehlt.DB"}) {
            TVLBTable t;
            t.SetTableName(QString::fromLatin1(name));
            t.SetDirectory(m_dir);
            try {
                t.Open();
                QFAIL("geöffnet");
            } catch (const DatasetError &e) {
                QVERIFY2(e.message().contains(QString::fromLatin1(name).left(5), Qt::CaseInsensitive), qPrintable(e.message()));
            }
            QVERIFY(!t.Active());
            QCOMPARE(t.RecNo(), 0);
        }
        QFile::remove(bad.fileName());
    }

    void sideFiles()
    {
        QFile l(QDir(m_dir).filePath(QStringLiteral("Lieferart.TXT")));
        QVERIFY(l.open(QIODevice::ReadOnly));
        const QByteArray bytes = l.readAll();
        QVERIFY(bytes.contains("P\xe4" "ckchen"));   // ANSI, not UTF-8
        QVERIFY(bytes.contains("O'Brien"));
        // Pictures referenced by articles and groups exist and are JPEGs.
        QStringList refs;
        for (const auto &v : m_generated.value(QStringLiteral("Artikel.DB")))
            refs << v.at(WaWiTable(QStringLiteral("Artikel.DB"))->fieldIndex(QStringLiteral("bild1"))).toString();
        for (const auto &v : m_generated.value(QStringLiteral("Warengruppe.DB")))
            refs << v.at(WaWiTable(QStringLiteral("Warengruppe.DB"))->fieldIndex(QStringLiteral("Bild"))).toString();
        refs.removeAll(QString());
        refs.removeDuplicates();
        QVERIFY(refs.size() >= 3);
        for (const QString &r : refs) {
            QFile f(Settings().WaWiDir.isEmpty() ? QDir(m_dir).filePath(r) : Settings().WaWiDir + r);
            QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(r));
            const QByteArray j = f.readAll();
            QVERIFY(j.startsWith("\xFF\xD8") && j.endsWith("\xFF\xD9"));
        }
    }

    void detectionFindsTheDemo()
    {
        QCOMPARE(DetectWaWi(true, 0), WaWiDetectResult::Found);
        QCOMPARE(Settings().VLB_Programm, 0 + 3);
        QCOMPARE(Settings().WaWiDir, QDir::toNativeSeparators(QDir(m_dir).absolutePath()) + QDir::separator());
        QCOMPARE(WaWiEdition(), 2);
        QCOMPARE(WaWiState().mandantNames, QStringList({QStringLiteral("Muster & Söhne GmbH"), QStringLiteral("Meier GmbH")}));
        QCOMPARE(Settings().Aktiv_Mandant, 1);
        QCOMPARE(Settings().Hauptwaehrung, 1);
        QVERIFY(Settings().E_VK_Netto[1] && !Settings().E_VK_Netto[2]);
        SelectMandantListIndex(1);
        QCOMPARE(Settings().Aktiv_Mandant, 2);
        QCOMPARE(Settings().Hauptwaehrung, 2);
        QCOMPARE(Settings().Euro, 1);
        QVERIFY(!Settings().E_VK_Netto[1] && Settings().E_VK_Netto[2]);
        QVERIFY(m_ui.messages.isEmpty());
        // Lieferart.TXT is found by plain concatenation.
        QVERIFY(QFile::exists(Settings().WaWiDir + QStringLiteral("Lieferart.TXT")));
    }

    void rangesOnDemoTables()
    {
        TVLBTable art;
        art.SetTableName(QStringLiteral("ARTIKEL.db"));   // case as Windows allows
        art.SetDirectory(m_dir);
        art.Open();
        SetMandantRange(art, QStringLiteral("Schnellsuche"), 0, 1);
        int inRange = 0, umlautFirst = 0;
        QVariant prev;
        for (art.First(); !art.Eof(); art.Next()) {
            ++inRange;
            QCOMPARE(art.FieldByName(QStringLiteral("Mandant"))->AsInteger(), 1);
            const QString s = art.FieldByName(QStringLiteral("Suchbegriff"))->AsString();
            if (!s.isEmpty() && s.at(0).unicode() > 127)
                ++umlautFirst;
            if (prev.isValid())
                QVERIFY(WaWiCompareValues(prev, s, FieldType::String) <= 0);
            prev = s;
        }
        int expected = 0;
        const int mandantIx = WaWiTable(QStringLiteral("Artikel.DB"))->fieldIndex(QStringLiteral("Mandant"));
        for (const auto &v : m_generated.value(QStringLiteral("Artikel.DB")))
            expected += v.at(mandantIx).toInt() == 1;
        QCOMPARE(inRange, expected);
        QVERIFY(umlautFirst > 0);

        // Groups: the empty-kind range leaves out the internal kinds.
        TVLBTable wg;
        wg.SetTableName(QStringLiteral("Warengruppe.DB"));
        wg.SetDirectory(m_dir);
        wg.Open();
        SetMandantRange(wg, QStringLiteral("Schnellsuche"), kEmptyKind, 1);
        QVERIFY(wg.RecordCount() > 0);
        for (wg.First(); !wg.Eof(); wg.Next())
            QVERIFY(wg.FieldByName(QStringLiteral("ART"))->IsNull());
        wg.SetIndexName(QStringLiteral("Verkn"));
        wg.SetRange({1, -999999}, {1, 0});
        QVERIFY(wg.RecordCount() >= 2);
        for (wg.First(); !wg.Eof(); wg.Next())
            QVERIFY(wg.FieldByName(QStringLiteral("Anhang"))->AsInteger() <= 0);

        // Address quick search by prefix, and the master-detail of the groups.
        TVLBTable adr, ver;
        adr.SetTableName(QStringLiteral("Adressen.DB"));
        adr.SetDirectory(m_dir);
        adr.Open();
        SetMandantRange(adr, QStringLiteral("Wohnort"), 0, 1);
        const int all = adr.RecordCount();
        adr.SetRange({0, 1, QStringLiteral("mü") + Settings().RangeLow}, {0, 1, QStringLiteral("mü") + Settings().RangeHigh});
        QVERIFY(adr.RecordCount() > 0 && adr.RecordCount() < all);
        for (adr.First(); !adr.Eof(); adr.Next())
            QVERIFY(adr.FieldByName(QStringLiteral("Ort"))->AsString().startsWith(QStringLiteral("Mü")));
        ver.SetTableName(QStringLiteral("AdrArtVer.DB"));
        ver.SetDirectory(m_dir);
        ver.SetIndexName(QStringLiteral("Ix_Adr"));
        ver.Open();
        ver.SetMasterSource(&adr, QStringLiteral("Adresse"));
        adr.CancelRange();
        int linked = 0;
        for (adr.First(); !adr.Eof(); adr.Next())
            for (ver.First(); !ver.Eof(); ver.Next()) {
                QCOMPARE(ver.FieldByName(QStringLiteral("Adresse"))->AsInteger(), adr.FieldByName(QStringLiteral("Adresse"))->AsInteger());
                ++linked;
            }
        QCOMPARE(linked, m_generated.value(QStringLiteral("AdrArtVer.DB")).size());
    }

    void writeBackKeepsIndexes()
    {
        Settings().TempDir = m_env->file(QStringLiteral("tmp/"));
        QDir().mkpath(Settings().TempDir);
        // Article: switch offline, select, stamp.
        int artikel = 0;
        bool wasOnline = false;
        {
            TVLBTable t;
            t.SetTableName(QStringLiteral("Artikel.DB"));
            t.SetDirectory(m_dir);
            t.Open();
            SetMandantRange(t, QStringLiteral("Schnellsuche"), 0, 1);
            t.FindNearest({0, 1, QStringLiteral("öl")});
            artikel = t.FieldByName(QStringLiteral("Artikel"))->AsInteger();
            wasOnline = t.FieldByName(QStringLiteral("Internet"))->AsBoolean();
            QVERIFY(EnsureEditing(t));
            t.FieldByName(QStringLiteral("Internet"))->SetValue(!wasOnline);
            t.FieldByName(QStringLiteral("Selekt"))->SetValue(t.FieldByName(QStringLiteral("Selekt"))->AsInteger() + 1);
            StampUpdate(t);
            t.Post();
            QCOMPARE(t.FieldByName(QStringLiteral("Artikel"))->AsInteger(), artikel);
        }
        // Groups: fill empty internal names (several writes in one walk).
        int filled = 0;
        {
            TVLBTable t;
            t.SetTableName(QStringLiteral("Warengruppe.DB"));
            t.SetDirectory(m_dir);
            t.Open();
            for (t.First(); !t.Eof(); t.Next()) {
                if (!t.FieldByName(QStringLiteral("Bezeichnung_Intern"))->AsString().trimmed().isEmpty())
                    continue;
                QVERIFY(EnsureEditing(t));
                t.FieldByName(QStringLiteral("Bezeichnung_Intern"))->SetValue(QStringLiteral("Übersicht_") + t.FieldByName(QStringLiteral("Bezeichnung"))->AsString());
                t.Post();
                ++filled;
            }
            QVERIFY(filled > 5);
            // Append a product group.
            t.Append();
            t.FieldByName(QStringLiteral("Warengruppe"))->SetValue(9001);
            t.FieldByName(QStringLiteral("Anhang"))->SetValue(0);
            t.FieldByName(QStringLiteral("Mandant"))->SetValue(1);
            t.FieldByName(QStringLiteral("Bezeichnung"))->SetValue(QStringLiteral("Waren"));
            StampUpdate(t);
            t.Post();
        }
        // Append an address.
        {
            TVLBTable t;
            t.SetTableName(QStringLiteral("Adressen.DB"));
            t.SetDirectory(m_dir);
            t.Open();
            t.Append();
            t.FieldByName(QStringLiteral("Adresse"))->SetValue(5000);
            t.FieldByName(QStringLiteral("Art"))->SetValue(2);
            t.FieldByName(QStringLiteral("Mandant"))->SetValue(1);
            t.FieldByName(QStringLiteral("Suchbegriff"))->SetValue(QStringLiteral("ÖZTÜRK"));
            t.FieldByName(QStringLiteral("Ort"))->SetValue(QStringLiteral("Überlingen"));
            t.FieldByName(QStringLiteral("E-Mail"))->SetValue(QStringLiteral("o'brien@example.de"));
            t.FieldByName(QStringLiteral("Erster_Kontakt"))->SetValue(QDateTime::currentDateTime());
            t.Post();
        }
        // Read everything back through fresh tables and every index.
        {
            TVLBTable t;
            t.SetTableName(QStringLiteral("Artikel.DB"));
            t.SetDirectory(m_dir);
            t.Open();
            QVERIFY(t.FindKey({artikel}));
            QCOMPARE(t.FieldByName(QStringLiteral("Internet"))->AsBoolean(), !wasOnline);
            QVERIFY(t.FieldByName(QStringLiteral("Selekt"))->AsInteger() >= 1);
            QVERIFY(t.FieldByName(QStringLiteral("Update"))->AsDateTime().secsTo(QDateTime::currentDateTime()) < 600);
            QVERIFY(t.FieldByName(QStringLiteral("Langtext"))->AsString().startsWith(QStringLiteral("{\\rtf1")));
        }
        {
            TVLBTable t;
            t.SetTableName(QStringLiteral("Adressen.DB"));
            t.SetDirectory(m_dir);
            t.Open();
            t.SetIndexName(QStringLiteral("Schnellsuche"));
            t.SetRange({2, 1, QStringLiteral("öz") + Settings().RangeLow}, {2, 1, QStringLiteral("öz") + Settings().RangeHigh});
            QCOMPARE(t.RecordCount(), 1);
            QCOMPARE(t.FieldByName(QStringLiteral("E-Mail"))->AsString(), QStringLiteral("o'brien@example.de"));
            QCOMPARE(t.FieldByName(QStringLiteral("Adresse"))->AsInteger(), 5000);
        }
        {
            TVLBTable t;
            t.SetTableName(QStringLiteral("Warengruppe.DB"));
            t.SetDirectory(m_dir);
            t.Open();
            QVERIFY(t.FindKey({9001}));
            QCOMPARE(t.FieldByName(QStringLiteral("Bezeichnung"))->AsString(), QStringLiteral("Waren"));
            t.SetIndexName(QStringLiteral("Verkn"));
            t.SetRange({1, 0}, {1, 0});
            QVERIFY(t.Locate(QStringLiteral("Warengruppe"), {9001}));
        }
        for (const char *table : {"Artikel.DB", "Warengruppe.DB", "Adressen.DB"})
            checkIndexes(db(QString::fromLatin1(table)));
        // A copy of each written table was taken first.
        QVERIFY(!QDir(Settings().TempDir).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
        for (const char *table : {"Artikel.DB", "Warengruppe.DB", "Adressen.DB"})
            checkWithPxlib(db(QString::fromLatin1(table)));
    }

    // An interrupted write leaves either the old or the new record.
    void interruptedWrite()
    {
        for (int steps = 0; steps < 8; ++steps) {
            QString before;
            bool failed = false;
            {
                TVLBTable t;
                t.SetTableName(QStringLiteral("Warengruppe.DB"));
                t.SetDirectory(m_dir);
                t.Open();
                QVERIFY(t.FindKey({1}));
                before = t.FieldByName(QStringLiteral("Bezeichnung_Intern"))->AsString();
                t.Edit();
                t.FieldByName(QStringLiteral("Bezeichnung_Intern"))->SetValue(QStringLiteral("Neu %1 – Größe").arg(steps));
                ParadoxTable::SetFailAfterSteps(steps);
                try {
                    t.Post();
                } catch (const std::exception &) {
                    failed = true;
                    t.Cancel();
                }
                ParadoxTable::SetFailAfterSteps(-1);
            }
            TVLBTable t;
            t.SetTableName(QStringLiteral("Warengruppe.DB"));
            t.SetDirectory(m_dir);
            t.Open();
            QVERIFY(t.FindKey({1}));
            const QString now = t.FieldByName(QStringLiteral("Bezeichnung_Intern"))->AsString();
            QVERIFY2(now == before || now == QStringLiteral("Neu %1 – Größe").arg(steps),
                     qPrintable(QStringLiteral("Schritt %1: '%2'").arg(steps).arg(now)));
            if (!failed)
                QCOMPARE(now, QStringLiteral("Neu %1 – Größe").arg(steps));
            checkIndexes(db(QStringLiteral("Warengruppe.DB")));
        }
    }
};

QTEST_GUILESS_MAIN(TestWaWiDemo)
#include "tst_WaWiDemo.moc"
