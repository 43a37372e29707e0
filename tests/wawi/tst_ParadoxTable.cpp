// Reading Paradox tables: every field type written and read back, pxlib as
// an independent reader, the index files, the sort order, damaged files,
// and (when MV_PARADOX_SAMPLES names a folder) real engine-written tables.

#include "tst_ParadoxCommon.h"

#include "support/TestEnv.h"

#include <QDirIterator>
#include <QElapsedTimer>

using namespace mv;
using namespace pxtest;

class tst_ParadoxTable : public QObject {
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void pxlibReadsOurTables_data();
    void pxlibReadsOurTables();
    void indexFilesDescribeTheirIndexes();
    void codePages_data();
    void codePages();
    void sortOrder_data();
    void sortOrder();
    void nullSortsFirstInKeys();
    void writerRejects_data();
    void writerRejects();
    void damagedFiles_data();
    void damagedFiles();
    void damagedMemoFile_data();
    void damagedMemoFile();
    void realTables();
};

namespace {

QVector<QVariantList> writeSample(const QString &path, const ParadoxSchema &s, int n, bool blobs)
{
    QRandomGenerator rnd(4711);
    ParadoxWriter w(path, s);
    QVector<QVariantList> recs;
    // out of key order on purpose
    for (int k = 0; k < n; ++k) {
        const int i = (k * 7919) % qMax(n, 1);
        QVariantList v = sampleRecord(i, blobs, rnd);
        v = v.mid(0, s.fields.size());
        v[11] = i + 1; // explicit auto-increment values
        w.AddRecord(v);
        recs << v;
    }
    w.Finish();
    return recs;
}

} // namespace

void tst_ParadoxTable::roundTrip_data()
{
    QTest::addColumn<bool>("blobs");
    QTest::addColumn<int>("keys");
    QTest::addColumn<int>("blockKB");
    QTest::addColumn<int>("count");
    QTest::newRow("empty keyed") << true << 2 << 4 << 0;
    QTest::newRow("one record") << true << 1 << 4 << 1;
    QTest::newRow("keyed, memos, 2 KiB blocks") << true << 2 << 2 << 700;
    QTest::newRow("keyed, 1 KiB blocks, deep index") << false << 2 << 1 << 6000;
    QTest::newRow("unkeyed, memos") << true << 0 << 4 << 300;
    QTest::newRow("32 KiB blocks") << true << 1 << 32 << 500;
}

void tst_ParadoxTable::roundTrip()
{
    QFETCH(bool, blobs);
    QFETCH(int, keys);
    QFETCH(int, blockKB);
    QFETCH(int, count);
    test::TestEnv env;
    ParadoxSchema s = allTypesSchema(blobs, keys, blockKB);
    s.indexes = {{QStringLiteral("Ix_Name"), {QStringLiteral("Name"), QStringLiteral("Datum")}}, {QString(), {QStringLiteral("Kurz")}}};
    const QString path = env.file(QStringLiteral("Probe.DB"));
    const QVector<QVariantList> recs = writeSample(path, s, count, blobs);
    auto t = ParadoxTable::Open(path);
    QCOMPARE(t->RowCount(), count);
    QCOMPARE(t->Fields().size(), s.fields.size());
    QCOMPARE(t->Header().codePage, 1252);
    QCOMPARE(t->Header().sortOrderName, QStringLiteral("ANSIINTL"));
    QCOMPARE(t->Header().autoIncValue, count);
    QCOMPARE(t->KeyFieldCount(), keys);
    for (int f = 0; f < s.fields.size(); ++f) {
        QCOMPARE(t->Fields()[f].name, s.fields[f].name);
        QCOMPARE(t->Fields()[f].type, s.fields[f].type);
    }
    QCOMPARE(t->FieldIndex(QStringLiteral("preis")), 3);
    QCOMPARE(t->FieldIndex(QStringLiteral("fehlt")), -1);
    // every record comes back exactly (matched by its number)
    QHash<int, int> byNumber;
    for (int r = 0; r < t->RowCount(); ++r) byNumber.insert(t->Value(r, 0).toInt(), r);
    QCOMPARE(byNumber.size(), count);
    for (const QVariantList &v : recs) {
        const int row = byNumber.value(v[0].toInt(), -1);
        QVERIFY(row >= 0);
        for (int f = 0; f < v.size(); ++f) {
            const QVariant got = t->Value(row, f);
            QVERIFY2(sameValue(got, v[f]), qPrintable(QStringLiteral("record %1 field %2: got %3, wrote %4")
                                                          .arg(v[0].toInt()).arg(s.fields[f].name, show(got), show(v[f]))));
            QCOMPARE(t->IsNull(row, f), !v[f].isValid());
        }
    }
    verifyConsistency(*t);
    if (!blobs && count > 0) crossCheckWithPxlib(path);
}

void tst_ParadoxTable::pxlibReadsOurTables_data()
{
    QTest::addColumn<int>("keys");
    QTest::addColumn<int>("count");
    QTest::newRow("keyed") << 2 << 2500;
    QTest::newRow("unkeyed") << 0 << 800;
}

void tst_ParadoxTable::pxlibReadsOurTables()
{
    QFETCH(int, keys);
    QFETCH(int, count);
    test::TestEnv env;
    const QString path = env.file(QStringLiteral("Artikel.DB"));
    writeSample(path, allTypesSchema(false, keys, 4), count, false);
    crossCheckWithPxlib(path);
}

void tst_ParadoxTable::indexFilesDescribeTheirIndexes()
{
    test::TestEnv env;
    ParadoxSchema s = allTypesSchema(false, 1, 2);
    s.indexes = {{QStringLiteral("Schnellsuche"), {QStringLiteral("Aktiv"), QStringLiteral("Kurz"), QStringLiteral("Name")}},
                 {QStringLiteral("Ix_Datum"), {QStringLiteral("Datum"), QStringLiteral("Nummer")}, false},
                 {QString(), {QStringLiteral("Name")}}};
    const QString path = env.file(QStringLiteral("Adressen.DB"));
    writeSample(path, s, 400, false);
    QVERIFY(QFile::exists(env.file(QStringLiteral("Adressen.PX"))));
    QVERIFY(QFile::exists(env.file(QStringLiteral("Adressen.XG0"))));
    QVERIFY(QFile::exists(env.file(QStringLiteral("Adressen.YG1"))));
    QVERIFY(QFile::exists(env.file(QStringLiteral("Adressen.X02"))));
    QVERIFY(QFile::exists(env.file(QStringLiteral("Adressen.Y02"))));
    auto t = ParadoxTable::Open(path);
    const QVector<ParadoxIndexInfo> ix = t->SecondaryIndexes();
    QCOMPARE(ix.size(), 3);
    QHash<QString, ParadoxIndexInfo> byName;
    for (const ParadoxIndexInfo &i : ix) byName.insert(i.name, i);
    QVERIFY(byName.contains(QStringLiteral("Schnellsuche")));
    QCOMPARE(byName[QStringLiteral("Schnellsuche")].fieldNames, QStringList({"Aktiv", "Kurz", "Name"}));
    QVERIFY(byName[QStringLiteral("Schnellsuche")].maintained);
    QVERIFY(byName[QStringLiteral("Schnellsuche")].composite);
    QCOMPARE(byName[QStringLiteral("Ix_Datum")].fieldNames, QStringList({"Datum", "Nummer"}));
    QVERIFY(!byName[QStringLiteral("Ix_Datum")].maintained);
    QVERIFY(byName.contains(QStringLiteral("Name")));
    QVERIFY(!byName[QStringLiteral("Name")].composite);
    QVERIFY(!byName[QStringLiteral("Name")].yFile.isEmpty());
    verifyConsistency(*t);
    // Headers of the side files
    QFile x(env.file(QStringLiteral("Adressen.XG0")));
    QVERIFY(x.open(QIODevice::ReadOnly));
    const ParadoxHeader xh = ReadParadoxHeader(x.readAll());
    QCOMPARE(xh.fileType, 8);
    QCOMPARE(xh.indexName, QStringLiteral("Schnellsuche"));
    QCOMPARE(xh.recordCount, qint64(400));
    QFile y(env.file(QStringLiteral("Adressen.YG0")));
    QVERIFY(y.open(QIODevice::ReadOnly));
    QCOMPARE(ReadParadoxHeader(y.readAll()).fileType, 7);
}

void tst_ParadoxTable::codePages_data()
{
    QTest::addColumn<int>("codePage");
    QTest::addColumn<QString>("sortOrder");
    QTest::newRow("ANSI") << 1252 << QStringLiteral("ANSIINTL");
    QTest::newRow("DOS 850") << 850 << QStringLiteral("intl850");
    QTest::newRow("DOS 437") << 437 << QStringLiteral("intl");
}

void tst_ParadoxTable::codePages()
{
    QFETCH(int, codePage);
    QFETCH(QString, sortOrder);
    test::TestEnv env;
    ParadoxSchema s;
    s.codePage = codePage;
    s.sortOrder = sortOrder;
    s.keyFieldCount = 1;
    s.fields = {{QStringLiteral("Name"), PxType::Alpha, 40}, {QStringLiteral("Text"), PxType::Memo, 10}};
    const QString path = env.file(QStringLiteral("Cp.DB"));
    ParadoxWriter w(path, s);
    const QStringList names = {QStringLiteral("Äußerst größte Übel"), QStringLiteral("Ölsardinen é"), QStringLiteral("zz")};
    for (const QString &n : names) w.AddRecord({n, n + QStringLiteral(" - Memo ä")});
    w.Finish();
    auto t = ParadoxTable::Open(path);
    QCOMPARE(t->Header().codePage, codePage);
    QStringList got;
    for (int r = 0; r < t->RowCount(); ++r) got << t->Value(r, 0).toString();
    QCOMPARE(got, names); // key order: Ä with A, Ö with O
    QCOMPARE(t->Value(1, 1).toString(), names[1] + QStringLiteral(" - Memo ä"));
    // bytes really are in that code page
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray all = f.readAll();
    const QByteArray umlautA = codePage == 1252 ? QByteArray("\xC4") : QByteArray("\x8E");
    QVERIFY(all.contains(umlautA + "u"));
}

void tst_ParadoxTable::sortOrder_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("expected");
    QTest::newRow("case-insensitive") << "apfel" << "Birne" << -1;
    QTest::newRow("umlaut with base letter") << "Äpfel" << "Birne" << -1;
    QTest::newRow("umlaut after z? no") << "Ölmühle" << "Pumpe" << -1;
    QTest::newRow("ß as ss") << "Straße" << "Strassf" << -1;
    QTest::newRow("ß after sr") << "Straße" << "Strasr" << 1;
    QTest::newRow("accent") << "éclair" << "Eclairs" << -1;
    QTest::newRow("prefix first") << "Müll" << "Müller" << -1;
    QTest::newRow("RangeHigh bound above umlaut words") << "Übermut" << QString(QChar(127)) << -1;
    QTest::newRow("RangeLow bound below") << QString(QChar(0)) << "Äther" << -1;
    QTest::newRow("equal") << "Zürich" << "Zürich" << 0;
    QTest::newRow("empty (NULL) first") << "" << "A" << -1;
}

void tst_ParadoxTable::sortOrder()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, expected);
    QCOMPARE(ParadoxCompare(a, b, PxType::Alpha), expected);
    QCOMPARE(ParadoxCompare(b, a, PxType::Alpha), -expected);
    if (expected != 0) QVERIFY(ParadoxFoldText(a) != ParadoxFoldText(b) || ParadoxCompareText(a, b) == expected);
    QCOMPARE(ParadoxFoldText(QStringLiteral("ÄÖÜäöüß")), QStringLiteral("aouaouss"));
}

void tst_ParadoxTable::nullSortsFirstInKeys()
{
    const QVector<PxType> types = {PxType::Short, PxType::Alpha, PxType::Date};
    QVERIFY(ParadoxCompareKeys({QVariant(), "a"}, {-5, "a"}, types) < 0);
    QVERIFY(ParadoxCompareKeys({1, QVariant()}, {1, "a"}, types) < 0);
    QVERIFY(ParadoxCompareKeys({1, "b", QDate(2000, 1, 1)}, {1, "B", QDate(1999, 1, 1)}, types) != 0);
    QCOMPARE(ParadoxCompareKeys({1, "Äb"}, {1}, types), 0); // prefix search
    QVERIFY(ParadoxCompare(-2, 10, PxType::Long) < 0);
    QVERIFY(ParadoxCompare(false, true, PxType::Logical) < 0);
    QVERIFY(ParadoxCompare(QVariant(), false, PxType::Logical) < 0);
}

void tst_ParadoxTable::writerRejects_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("text too long") << 0;
    QTest::newRow("short out of range") << 1;
    QTest::newRow("not a number") << 2;
    QTest::newRow("duplicate key") << 3;
    QTest::newRow("bad date") << 4;
}

void tst_ParadoxTable::writerRejects()
{
    QFETCH(int, kind);
    test::TestEnv env;
    ParadoxSchema s;
    s.keyFieldCount = 1;
    s.fields = {{"Nr", PxType::Long}, {"Name", PxType::Alpha, 5}, {"K", PxType::Short}, {"D", PxType::Date}};
    const QString path = env.file(QStringLiteral("R.DB"));
    bool threw = false;
    try {
        ParadoxWriter w(path, s);
        w.AddRecord({1, "abc", 1, QDate(2020, 1, 1)});
        switch (kind) {
        case 0: w.AddRecord({2, "abcdef", 1}); break;
        case 1: w.AddRecord({2, "a", 40000}); break;
        case 2: w.AddRecord({"zwei", "a", 1}); break;
        case 3: w.AddRecord({1, "b", 1}); w.Finish(); break;
        case 4: w.AddRecord({2, "a", 1, "31.02.2020"}); break;
        }
    } catch (const ParadoxError &e) {
        threw = true;
        QVERIFY(!e.message().isEmpty());
    }
    QVERIFY(threw);
    if (kind == 3) QVERIFY(!QFile::exists(path)); // nothing written
}

namespace {

QByteArray sampleTableBytes(const QString &dir, QByteArray *mb = nullptr)
{
    ParadoxSchema s = allTypesSchema(mb != nullptr, 1, 1);
    const QString path = dir + QStringLiteral("/D.DB");
    writeSample(path, s, 60, mb != nullptr);
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    if (mb) {
        QFile m(dir + QStringLiteral("/D.MB"));
        m.open(QIODevice::ReadOnly);
        *mb = m.readAll();
    }
    return f.readAll();
}

void put16(QByteArray &b, int off, int v) { b[off] = char(v & 0xFF); b[off + 1] = char((v >> 8) & 0xFF); }

} // namespace

void tst_ParadoxTable::damagedFiles_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("expect");
    QTest::newRow("too short") << 0 << "zu kurz";
    QTest::newRow("block size code") << 1 << "Blockgröße";
    QTest::newRow("no fields") << 2 << "Feldanzahl";
    QTest::newRow("record size mismatch") << 3 << "Satzlänge";
    QTest::newRow("unknown field type") << 4 << "Feldtyp";
    QTest::newRow("chain loop") << 5 << "Schleife";
    QTest::newRow("chain beyond file") << 6 << "außerhalb";
    QTest::newRow("overfull block") << 7 << "überfüllt";
    QTest::newRow("truncated file") << 8 << "kürzer";
    QTest::newRow("encrypted") << 9 << "verschlüsselt";
    QTest::newRow("header size beyond file") << 10 << "Kopflänge";
    QTest::newRow("uneven block fill") << 11 << "Belegung";
}

void tst_ParadoxTable::damagedFiles()
{
    QFETCH(int, kind);
    QFETCH(QString, expect);
    test::TestEnv env;
    QByteArray b = sampleTableBytes(env.path());
    const int hs = uchar(b[2]) | (uchar(b[3]) << 8);
    const int bs = uchar(b[5]) * 1024;
    switch (kind) {
    case 0: b.truncate(40); break;
    case 1: b[5] = char(0); break;
    case 2: put16(b, 0x21, 0); break;
    case 3: put16(b, 0, 3); break;
    case 4: b[0x78] = char(0x33); break;
    case 5: put16(b, hs + bs, 1); break;            // block 2 points back to 1
    case 6: put16(b, hs, 999); break;
    case 7: { const int rs = uchar(b[0]) | (uchar(b[1]) << 8); put16(b, hs + 4, ((bs - 6) / rs) * rs); break; }
    case 8: b.truncate(hs + bs + 10); break;
    case 9: b[0x5C] = 1; break;
    case 10: put16(b, 2, 0xF000); break;
    case 11: put16(b, hs + 4, 1); break;
    }
    try {
        auto t = ParadoxTable::FromBytes(b);
        for (int r = 0; r < t->RowCount(); ++r) t->Values(r);
        QFAIL("damage not noticed");
    } catch (const ParadoxError &e) {
        QVERIFY2(e.message().contains(expect), qPrintable(e.message()));
    }
}

void tst_ParadoxTable::damagedMemoFile_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("missing .MB") << 0;
    QTest::newRow("pointer beyond file") << 1;
    QTest::newRow("length differs") << 2;
    QTest::newRow("free block") << 3;
}

void tst_ParadoxTable::damagedMemoFile()
{
    QFETCH(int, kind);
    test::TestEnv env;
    QByteArray mb;
    const QByteArray db = sampleTableBytes(env.path(), &mb);
    auto good = ParadoxTable::FromBytes(db, mb);
    const int memo = good->FieldIndex(QStringLiteral("Text"));
    int row = -1;
    for (int r = 0; r < good->RowCount() && row < 0; ++r)
        if (good->Value(r, memo).toString().size() > 3000) row = r;
    QVERIFY(row >= 0);
    QByteArray d = db;
    QByteArray m = mb;
    const int fieldOff = good->Fields()[memo].offset + good->Fields()[memo].size - 10;
    // locate the pointer bytes in our copy by the record's content
    const QByteArray rec(good->RecordData(row), good->Header().recordSize);
    const qint64 pos = d.indexOf(rec) + fieldOff;
    QVERIFY(pos > 0);
    const quint32 ptr = quint32(uchar(d[pos])) | (quint32(uchar(d[pos + 1])) << 8) | (quint32(uchar(d[pos + 2])) << 16) | (quint32(uchar(d[pos + 3])) << 24);
    switch (kind) {
    case 0: m.clear(); break;
    case 1: d[pos + 3] = char(0x7F); break;
    case 2: d[pos + 4] = char(uchar(d[pos + 4]) ^ 0x01); break;
    case 3: m[int(ptr & 0xFFFFFF00u)] = 4; break;
    }
    auto t = ParadoxTable::FromBytes(d, m);
    try {
        t->Value(row, memo);
        QFAIL("damage not noticed");
    } catch (const ParadoxError &e) {
        QVERIFY2(e.message().contains(QLatin1String("Memo")), qPrintable(e.message()));
    }
    // other fields of the record stay readable
    QCOMPARE(t->Value(row, 0), good->Value(row, 0));
}

void tst_ParadoxTable::realTables()
{
    const QString dir = qEnvironmentVariable("MV_PARADOX_SAMPLES");
    if (dir.isEmpty()) QSKIP("MV_PARADOX_SAMPLES not set (folder of engine-written tables)");
    int tables = 0, records = 0;
    QStringList problems;
    QDirIterator it(dir, {QStringLiteral("*.db"), QStringLiteral("*.DB")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        try {
            std::unique_ptr<ParadoxTable> t = ParadoxTable::Open(path);
            ++tables;
            for (int r = 0; r < t->RowCount(); ++r, ++records)
                for (int f = 0; f < t->Fields().size(); ++f) t->Value(r, f);
            if (qint64(t->RowCount()) != t->Header().recordCount)
                problems << path + QStringLiteral(": %1 records in blocks, header says %2").arg(t->RowCount()).arg(t->Header().recordCount);
            const QFileInfo fi(path);
            const bool hasPx = QFile::exists(fi.dir().filePath(fi.completeBaseName() + ".PX")) || QFile::exists(fi.dir().filePath(fi.completeBaseName() + ".px"));
            if (t->Keyed() && hasPx) {
                int sum = 0;
                for (const ParadoxIndexEntry &e : t->ReadPrimaryIndex()) sum += e.count;
                if (sum != t->RowCount()) problems << path + QStringLiteral(": primary index counts %1 records").arg(sum);
                verifyConsistency(*t);
                if (QTest::currentTestFailed()) return;
            }
            for (const ParadoxIndexInfo &ix : t->SecondaryIndexes()) {
                const auto recs = t->ReadSecondaryIndex(ix);
                if (ix.maintained && recs.size() != t->RowCount()) problems << path + QStringLiteral(": index %1 has %2 entries").arg(ix.name).arg(recs.size());
                qInfo() << "  index" << ix.name << ix.fieldNames << (ix.maintained ? "maintained" : "not maintained");
            }
            bool blobs = false;
            for (const ParadoxField &f : t->Fields()) blobs = blobs || PxIsBlob(f.type);
            if (!blobs) {
                crossCheckWithPxlib(path);
                if (QTest::currentTestFailed()) return;
            }
            qInfo() << path << t->RowCount() << "records, version" << t->Header().fileVersion << t->Header().sortOrderName << t->CodecName();
        } catch (const ParadoxError &e) {
            if (e.message().contains(QStringLiteral("verschlüsselt"))) { qInfo() << "encrypted:" << path; continue; }
            problems << path + QStringLiteral(": ") + e.message();
        }
    }
    qInfo() << tables << "tables," << records << "records";
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    QVERIFY(tables > 0);
}

QTEST_GUILESS_MAIN(tst_ParadoxTable)
#include "tst_ParadoxTable.moc"
