// Nothing changes silently in a WaWi table: backups, reported text
// changes, warnings about inconsistent files, index order as the files
// hold it, and a journal that cannot be finished.

#include "tst_ParadoxCommon.h"

#include "core/ShopSettings.h"
#include "support/TestEnv.h"
#include "wawi/ParadoxJournal.h"
#include "wawi/TVLBTable.h"
#include "wawi/WaWiBackup.h"
#include "wawi/WaWiWriteReport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace mv;

class tst_WaWiWriteSafety : public QObject {
    Q_OBJECT
    QTemporaryDir m_backups;
private slots:
    void initTestCase() { qputenv("MARKTVOLL_BACKUP_DIR", QFile::encodeName(m_backups.path())); }
    void backupsPrivateAndOnlyTheNewest();
    void textChangesReported_data();
    void textChangesReported();
    void inconsistentFilesWarnedAndNotWritten_data();
    void inconsistentFilesWarnedAndNotWritten();
    void unreadableMemoFileNamed();
    void keyBoundsOfTheWrongType_data();
    void keyBoundsOfTheWrongType();
    void indexWalksInFileOrder_data();
    void indexWalksInFileOrder();
    void indexFileTieOrderWins();
    void journalWithMissingFileIsNotApplied();
};

namespace {

// Nr (key), Name A10, Ort A20, Text memo; index "Ix_Name" (Name, Ort).
QString makeTable(const QString &dir, const QVector<QVariantList> &rows, const QString &sortOrder = QStringLiteral("ANSIINTL"),
                  bool descending = false, bool caseInsensitive = false)
{
    ParadoxSchema s;
    s.keyFieldCount = 1;
    s.sortOrder = sortOrder;
    s.fields = {{"Nr", PxType::Long}, {"Name", PxType::Alpha, 10}, {"Ort", PxType::Alpha, 20}, {"Text", PxType::Memo, 10}};
    s.indexes = {{"Ix_Name", {"Name", "Ort"}, true, descending, caseInsensitive}, {QString(), {"Ort"}}};
    const QString path = dir + QStringLiteral("/T.DB");
    ParadoxWriter w(path, s);
    for (const QVariantList &r : rows) w.AddRecord(r);
    w.Finish();
    return path;
}

QVector<QVariantList> sampleRows(int n)
{
    QVector<QVariantList> rows;
    for (int i = 1; i <= n; ++i) rows << QVariantList{i, QStringLiteral("N%1").arg(i % 7), QStringLiteral("Ort %1").arg(i % 5), QStringLiteral("Text %1").arg(i)};
    return rows;
}

int ownerOnlyMode(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

// The primary keys in the order of the index file.
QVector<int> fileOrder(const ParadoxTable &t, const QString &index)
{
    QVector<int> out;
    for (const ParadoxIndexInfo &ix : t.SecondaryIndexes()) {
        if (ix.name != index) continue;
        const QVector<ParadoxIndexRecord> recs = t.ReadSecondaryIndex(ix);
        const int keyCol = int(ix.fields.size()); // Nr follows the index fields
        for (const ParadoxIndexRecord &r : recs) out << r.values.value(keyCol).toInt();
    }
    return out;
}

QVector<int> walk(const QString &dir, const QString &index)
{
    TVLBTable v;
    v.SetDirectory(dir);
    v.SetTableName(QStringLiteral("T"));
    v.SetIndexName(index);
    v.Open();
    QVector<int> out;
    for (v.First(); !v.Eof(); v.Next()) out << v.FieldByName(QStringLiteral("Nr"))->AsInteger();
    return out;
}

} // namespace

void tst_WaWiWriteSafety::backupsPrivateAndOnlyTheNewest()
{
    test::TestEnv env;
    const QString dir = env.file(QStringLiteral("wawi"));
    QDir().mkpath(dir);
    const QString path = makeTable(dir, sampleRows(20));
    const QString root = env.file(QStringLiteral("sicherung"));
    Settings().WaWi_Sicherungen = 3;
    QStringList made;
    QByteArray stateBeforeLast;
    for (int run = 0; run < 5; ++run) {
        BeginWaWiBackupRun();
        WaWiWriteRecorder rec;
        stateBeforeLast = pxtest::hashFiles(dir);
        auto t = ParadoxTable::Open(path);
        t->SetBackupDir(root);
        t->UpdateRecord(0, {{2, QStringLiteral("Lauf %1").arg(run)}});
        t->UpdateRecord(1, {{2, QStringLiteral("Lauf %1").arg(run)}}); // one backup per run
        QCOMPARE(rec.Report().backups.size(), 1);
        QCOMPARE(rec.Report().backups.first().first, QStringLiteral("T.DB"));
        made << rec.Report().backups.first().second;
        QVERIFY(rec.Report().Lines().join(QLatin1Char('\n')).contains(QDir::toNativeSeparators(made.last())));
    }
    Settings().WaWi_Sicherungen = 5;
    QCOMPARE(ownerOnlyMode(root), 0700);
    QCOMPARE(ownerOnlyMode(made.last()), 0700);
    QStringList left = WaWiBackupsOf(root, QStringLiteral("T"));
    QCOMPARE(left.size(), 3);
    QStringList newest = made.mid(2);
    std::reverse(newest.begin(), newest.end());
    QCOMPARE(left, newest);
    QVERIFY(QFileInfo(made.last()).fileName().startsWith(QLatin1String("T_")));
    QCOMPARE(pxtest::hashFiles(made.last()), stateBeforeLast); // the state before that run's first write
}

void tst_WaWiWriteSafety::textChangesReported_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("kind"); // -1 = no report
    QTest::newRow("umlauts fit") << 1 << QStringLiteral("Müller") << QStringLiteral("Müller") << -1;
    QTest::newRow("outside the code page") << 1 << QStringLiteral("Łódź") << QStringLiteral("?ód?") << int(WaWiFieldChange::Replaced);
    QTest::newRow("arrow in a memo") << 3 << QStringLiteral("A → B, ő") << QStringLiteral("A ? B, ?") << int(WaWiFieldChange::Replaced);
    QTest::newRow("cut at the width") << 1 << QStringLiteral("Schmidt-Rottluff") << QStringLiteral("Schmidt-Ro") << int(WaWiFieldChange::Truncated);
    QTest::newRow("cut and replaced") << 1 << QStringLiteral("Łukasiewicz-Nowak") << QStringLiteral("?ukasiewic") << int(WaWiFieldChange::Truncated);
}

void tst_WaWiWriteSafety::textChangesReported()
{
    QFETCH(int, field);
    QFETCH(QString, given);
    QFETCH(QString, stored);
    QFETCH(int, kind);
    test::TestEnv env;
    const QString dir = env.file(QStringLiteral("wawi"));
    QDir().mkpath(dir);
    const QString path = makeTable(dir, sampleRows(10));
    WaWiWriteRecorder rec;
    // through the data-access component, as the address fetch writes
    TVLBTable v;
    v.SetDirectory(dir);
    v.SetTableName(QStringLiteral("T"));
    v.Open();
    QVERIFY(v.FindKey({4}));
    v.Edit();
    v.FieldAt(field)->SetValue(given);
    v.Post();
    // and an append straight on the table
    QVariantList fresh{99, QStringLiteral("x"), QStringLiteral("y"), QVariant()};
    fresh[field] = given;
    ParadoxTable::Open(path)->AppendRecord(fresh);

    auto t = ParadoxTable::Open(path);
    QCOMPARE(t->Value(t->RowOfKey({4}), field).toString(), stored);
    QCOMPARE(t->Value(t->RowOfKey({99}), field).toString(), stored);
    if (kind < 0) {
        QVERIFY(rec.Report().changes.isEmpty());
        return;
    }
    QCOMPARE(rec.Report().changes.size(), 2);
    const WaWiFieldChange &c = rec.Report().changes.first();
    QCOMPARE(c.table, QStringLiteral("T.DB"));
    QCOMPARE(c.recordKey, QStringLiteral("4"));
    QCOMPARE(c.field, t->Fields().at(field).name);
    QCOMPARE(c.oldValue, given);
    QCOMPARE(c.newValue, stored);
    QCOMPARE(int(c.kind), kind);
    QCOMPARE(rec.Report().changes.at(1).recordKey, QStringLiteral("99"));
    QVERIFY(rec.Report().Lines().first().contains(given));
}

void tst_WaWiWriteSafety::inconsistentFilesWarnedAndNotWritten_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<bool>("writeRefused");
    QTest::newRow("empty composite index") << QStringLiteral("T.XG0") << QStringLiteral("ist leer oder abgeschnitten") << true;
    QTest::newRow("empty primary index") << QStringLiteral("T.PX") << QStringLiteral("ist leer oder abgeschnitten") << true;
    QTest::newRow("header count too large") << QStringLiteral("T.DB") << QStringLiteral("der Dateikopf nennt 13 Sätze, die Datenblöcke enthalten 12") << true;
}

void tst_WaWiWriteSafety::inconsistentFilesWarnedAndNotWritten()
{
    QFETCH(QString, file);
    QFETCH(QString, warning);
    QFETCH(bool, writeRefused);
    test::TestEnv env;
    const QString dir = env.file(QStringLiteral("wawi"));
    QDir().mkpath(dir);
    const QString path = makeTable(dir, sampleRows(12));
    {
        QFile f(QDir(dir).filePath(file));
        if (file.endsWith(QLatin1String(".DB"))) {
            QVERIFY(f.open(QIODevice::ReadWrite));
            f.seek(6);
            const char c[4] = {13, 0, 0, 0};
            f.write(c, 4);
        } else {
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        }
    }
    const QByteArray before = pxtest::hashFiles(dir);
    auto t = ParadoxTable::Open(path);
    QVERIFY2(t->ConsistencyWarnings().join(QLatin1Char('\n')).contains(warning), qPrintable(t->ConsistencyWarnings().join(QLatin1Char('\n'))));
    bool refused = false;
    try {
        t->UpdateRecord(2, {{2, QStringLiteral("neu")}});
    } catch (const ParadoxError &) {
        refused = true;
    }
    QCOMPARE(refused, writeRefused);
    QCOMPARE(pxtest::hashFiles(dir), before);
    // the dump says so on stderr and still prints the records
    QProcess p;
    p.start(QDir(test::TestEnv::binaryDir()).filePath(QStringLiteral("marktvoll-cli")),
            {QStringLiteral("wawi"), QStringLiteral("dump"), QStringLiteral("T"), QStringLiteral("--dir"), dir});
    QVERIFY(p.waitForFinished(30000));
    QVERIFY(QString::fromUtf8(p.readAllStandardError()).contains(QStringLiteral("Warnung: T.DB: ")));
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()).count(QLatin1Char('\n')), 12);
}

void tst_WaWiWriteSafety::unreadableMemoFileNamed()
{
    test::TestEnv env;
    const QString dir = env.file(QStringLiteral("wawi"));
    QDir().mkpath(dir);
    QVector<QVariantList> rows = sampleRows(3);
    rows[1][3] = QStringLiteral("ein längerer Text, der nicht in den Vorspann passt");
    const QString path = makeTable(dir, rows);
    QVERIFY(QFile::remove(QDir(dir).filePath(QStringLiteral("T.MB"))));
    QVERIFY(QDir().mkpath(QDir(dir).filePath(QStringLiteral("T.MB")))); // there, but cannot be read
    auto t = ParadoxTable::Open(path);
    QString message;
    try {
        t->Value(1, 3);
    } catch (const ParadoxError &e) {
        message = e.message();
    }
    QVERIFY2(message.contains(QLatin1String("nicht lesbar")) && !message.contains(QLatin1String("fehlt")), qPrintable(message));
    QDir(QDir(dir).filePath(QStringLiteral("T.MB"))).removeRecursively();
    message.clear();
    try {
        ParadoxTable::Open(path)->Value(1, 3);
    } catch (const ParadoxError &e) {
        message = e.message();
    }
    QVERIFY2(message.contains(QLatin1String("fehlt")), qPrintable(message));
}

void tst_WaWiWriteSafety::keyBoundsOfTheWrongType_data()
{
    QTest::addColumn<QVariant>("low");
    QTest::addColumn<QString>("expect");
    QTest::newRow("RangeLow on a number") << QVariant(QString(QChar(0))) << QStringLiteral("\"chr(0)\" passt nicht zum Feld Nr: es ist ein Zahlenfeld. Die Bereichsgrenzen RangeLow/RangeHigh");
    QTest::newRow("text on a number") << QVariant(QStringLiteral("abc")) << QStringLiteral("\"abc\" passt nicht zum Feld Nr: es ist ein Zahlenfeld.");
}

void tst_WaWiWriteSafety::keyBoundsOfTheWrongType()
{
    QFETCH(QVariant, low);
    QFETCH(QString, expect);
    test::TestEnv env;
    const QString dir = env.file(QStringLiteral("wawi"));
    QDir().mkpath(dir);
    makeTable(dir, sampleRows(5));
    TVLBTable v;
    v.SetDirectory(dir);
    v.SetTableName(QStringLiteral("T"));
    v.Open();
    QString message;
    try {
        v.SetRange({low}, {QString(QChar(127))});
    } catch (const DatasetError &e) {
        message = e.message();
    }
    QVERIFY2(message.contains(expect), qPrintable(message));
    QVERIFY(!message.contains(QChar(0)));
    QCOMPARE(v.RecordCount(), 5); // no range set
}

void tst_WaWiWriteSafety::indexWalksInFileOrder_data()
{
    QTest::addColumn<QString>("sortOrder");
    QTest::addColumn<bool>("descending");
    QTest::addColumn<QString>("index");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<bool>("caseInsensitive");
    const QStringList ties = {QStringLiteral("müller"), QStringLiteral("Müller"), QStringLiteral("MÜLLER"), QStringLiteral("Mueller"),
                              QStringLiteral("Muller"), QStringLiteral("mUller"), QStringLiteral("Zöllner"), QStringLiteral("abel"),
                              QStringLiteral("Abel"), QStringLiteral("Äbel"), QString()};
    QTest::newRow("ascending composite") << QStringLiteral("ANSIINTL") << false << QStringLiteral("Ix_Name") << ties << false;
    QTest::newRow("descending composite") << QStringLiteral("ANSIINTL") << true << QStringLiteral("Ix_Name") << ties << false;
    QTest::newRow("single field") << QStringLiteral("ANSIINTL") << false << QStringLiteral("Ort") << ties << false;
    QTest::newRow("ascii") << QStringLiteral("ascii") << false << QStringLiteral("Ix_Name") << ties << false;
    QTest::newRow("ascii descending") << QStringLiteral("ascii") << true << QStringLiteral("Ix_Name") << ties << false;
    QTest::newRow("ascii case-insensitive") << QStringLiteral("ascii") << false << QStringLiteral("Ix_Name") << ties << true;
    QTest::newRow("intl") << QStringLiteral("intl") << false << QStringLiteral("Ix_Name") << ties << false;
}

void tst_WaWiWriteSafety::indexWalksInFileOrder()
{
    QFETCH(QString, sortOrder);
    QFETCH(bool, descending);
    QFETCH(QString, index);
    QFETCH(QStringList, names);
    QFETCH(bool, caseInsensitive);
    test::TestEnv env;
    const QString dir = env.file(QStringLiteral("wawi"));
    QDir().mkpath(dir);
    QVector<QVariantList> rows;
    for (int i = 0; i < 40; ++i) {
        const QString n = names.at((i * 7) % names.size());
        rows << QVariantList{i + 1, n.isEmpty() ? QVariant() : QVariant(n), n.isEmpty() ? QVariant() : QVariant(n + QStringLiteral(" Ort")), QVariant()};
    }
    const QString path = makeTable(dir, rows, sortOrder, descending, caseInsensitive);
    auto t = ParadoxTable::Open(path);
    const QVector<int> expected = fileOrder(*t, index);
    QCOMPARE(expected.size(), 40);
    QCOMPARE(walk(dir, index), expected);
    // after a write that moves entries the walk follows the rewritten file
    t->UpdateRecord(t->RowOfKey({5}), {{1, QStringLiteral("mÜller")}, {2, QStringLiteral("Müller Ort")}});
    t->AppendRecord({77, QStringLiteral("MüLLER"), QStringLiteral("MüLLER Ort"), QVariant()});
    auto u = ParadoxTable::Open(path);
    pxtest::verifyConsistency(*u);
    QCOMPARE(walk(dir, index), fileOrder(*u, index));
    // finds and ranges on that order
    TVLBTable v;
    v.SetDirectory(dir);
    v.SetTableName(QStringLiteral("T"));
    v.SetIndexName(index);
    v.Open();
    QVERIFY(v.FindKey({index == QLatin1String("Ort") ? QStringLiteral("Zöllner Ort") : QStringLiteral("Zöllner")}));
    QCOMPARE(v.FieldByName(QStringLiteral("Name"))->AsString(), QStringLiteral("Zöllner"));
    v.SetRange({QStringLiteral("abel")}, {QStringLiteral("abel") + QChar(127)});
    int inRange = 0;
    for (v.First(); !v.Eof(); v.Next()) {
        ++inRange;
        QVERIFY(v.FieldByName(QStringLiteral("Name"))->AsString().endsWith(QLatin1String("bel")));
    }
    QVERIFY(inRange >= 1);
    if (caseInsensitive) {
        // keys upper-cased in the file, as the engine keeps them; finds ignore case
        for (const ParadoxIndexInfo &ix : u->SecondaryIndexes())
            if (ix.name == index)
                for (const ParadoxIndexRecord &r : ParadoxTable::Open(path)->ReadSecondaryIndex(ix))
                    QCOMPARE(r.values.value(0).toString(), r.values.value(0).toString().toUpper());
        v.CancelRange();
        QVERIFY(v.FindKey({QStringLiteral("zÖllner")}));
        QCOMPARE(v.FieldByName(QStringLiteral("Name"))->AsString(), QStringLiteral("Zöllner"));
    }
}

// The engine may order equal keys differently from our writer: the walk
// follows the file.
void tst_WaWiWriteSafety::indexFileTieOrderWins()
{
    test::TestEnv env;
    const QString dir = env.file(QStringLiteral("wawi"));
    QDir().mkpath(dir);
    QVector<QVariantList> rows;
    const QStringList names = {QStringLiteral("Maier"), QStringLiteral("maier"), QStringLiteral("MAIER"), QStringLiteral("Zander")};
    for (int i = 0; i < names.size(); ++i) rows << QVariantList{i + 1, names.at(i), QStringLiteral("Ort"), QVariant()};
    const QString path = makeTable(dir, rows);
    // swap the first two entries of the .XG0 (both "maier" to a
    // case-insensitive index; the file decides)
    const QString xg0 = QDir(dir).filePath(QStringLiteral("T.XG0"));
    QFile f(xg0);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QByteArray all = f.readAll();
    const ParadoxHeader h = ReadParadoxHeader(all);
    const qsizetype first = h.headerSize + 6;
    const QByteArray a = all.mid(first, h.recordSize), b = all.mid(first + h.recordSize, h.recordSize);
    all.replace(first, h.recordSize, b);
    all.replace(first + h.recordSize, h.recordSize, a);
    f.seek(0);
    f.write(all);
    f.close();
    auto t = ParadoxTable::Open(path);
    const QVector<int> order = fileOrder(*t, QStringLiteral("Ix_Name"));
    QCOMPARE(walk(dir, QStringLiteral("Ix_Name")), order);
}

// A journal whose new files are gone is not applied: the table stays as
// it was, the journal stays for a look, and opening says why.
void tst_WaWiWriteSafety::journalWithMissingFileIsNotApplied()
{
    test::TestEnv env;
    const QString dir = env.file(QStringLiteral("wawi"));
    QDir().mkpath(dir);
    const QString path = makeTable(dir, sampleRows(30));
    // crash after the journal is written, before any rename
    bool found = false;
    for (int step = 0; step < 30 && !found; ++step) {
        auto t = ParadoxTable::Open(path);
        ParadoxTable::SetFailAfterSteps(step);
        try {
            t->UpdateRecord(3, {{1, QStringLiteral("Neu")}}); // indexed field: new index files
        } catch (const ParadoxError &) {
        }
        ParadoxTable::SetFailAfterSteps(-1);
        const QStringList tmp = QDir(dir).entryList({QStringLiteral("*.mvnew")}, QDir::Files);
        found = QFile::exists(pxjournal::JournalPath(path)) && !tmp.isEmpty();
        if (found) {
            const QByteArray before = pxtest::hashFiles(dir);
            QVERIFY(QFile::remove(QDir(dir).filePath(tmp.first())));
            const QByteArray withoutTmp = pxtest::hashFiles(dir);
            QString message;
            try {
                ParadoxTable::Open(path);
            } catch (const ParadoxError &e) {
                message = e.message();
            }
            QVERIFY2(message.contains(QLatin1String("kann nicht abgeschlossen werden")), qPrintable(message));
            QCOMPARE(pxtest::hashFiles(dir), withoutTmp);
            QVERIFY(before != withoutTmp);
        } else {
            ParadoxTable::Open(path); // finishes or rolls back
        }
    }
    QVERIFY(found);
}

QTEST_GUILESS_MAIN(tst_WaWiWriteSafety)
#include "tst_WaWiWriteSafety.moc"
