// Several processes on one WaWi table, as in real use (the WaWi, the
// program's windows and a nightly transfer): a writer beside readers and
// dumps, writers killed at random moments, and the WaWi's lock files.

#include "ParadoxStressCommon.h"
#include "tst_ParadoxCommon.h"

#include "support/TestEnv.h"
#include "wawi/ParadoxLock.h"
#include "wawi/TVLBTable.h"
#include "wawi/WaWiWriteReport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <csignal>

using namespace mv;

class tst_ParadoxProcesses : public QObject {
    Q_OBJECT
    QTemporaryDir m_backups;
private slots:
    void initTestCase() { qputenv("MARKTVOLL_BACKUP_DIR", QFile::encodeName(m_backups.path())); }
    void writerBesideReaders();
    void killedWritersLeaveOldOrNewState();
    void engineLocksMakeWritesWaitThenRefuse_data();
    void engineLocksMakeWritesWaitThenRefuse();
    void engineLockReleasedWhileWaiting();
    void noLockFilesNoChange();
    void secondWriterMovesOtherRecords_data();
    void secondWriterMovesOtherRecords();
    void twoWriterProcessesOnTheirOwnRecords();
    void lockFileAppearingDuringAWriteChangesNoFile_data();
    void lockFileAppearingDuringAWriteChangesNoFile();
    void warningsMatchTheTableAsWritten();
};

namespace {

QString helper() { return QDir(test::TestEnv::binaryDir()).filePath(QStringLiteral("tests/wawi_stress_helper")); }
QString cli() { return QDir(test::TestEnv::binaryDir()).filePath(QStringLiteral("marktvoll-cli")); }

void requireTools()
{
    if (!QFile::exists(helper()) || !QFile::exists(cli())) QFAIL("wawi_stress_helper oder marktvoll-cli nicht gebaut");
}

QStringList leftovers(const QString &dir)
{
    return QDir(dir).entryList({QStringLiteral("*.mvnew"), QStringLiteral("*.mvj"), QStringLiteral("*.mvj.tmp")}, QDir::Files);
}

void startProcess(QProcess &p, const QString &program, const QStringList &args, const QString &backupDir)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MARKTVOLL_BACKUP_DIR"), backupDir);
    p.setProcessEnvironment(env);
    p.start(program, args);
    QVERIFY2(p.waitForStarted(), qPrintable(program));
}

} // namespace

// One process writes a few hundred edits of every kind while others read,
// walk an index and dump the same table in a loop: afterwards every index
// finds every record with the right block hint and no write failed or got
// lost.
void tst_ParadoxProcesses::writerBesideReaders()
{
    requireTools();
    test::TestEnv env;
    const QString dir = env.file(QStringLiteral("wawi"));
    QDir().mkpath(dir);
    const QString path = stress::create(dir, 300);

    QProcess writer;
    startProcess(writer, helper(), {QStringLiteral("write"), dir, QStringLiteral("300"), QStringLiteral("7")}, env.file("backup"));
    QProcess reader;
    startProcess(reader, helper(), {QStringLiteral("read"), dir, QStringLiteral("600000")}, env.file("backup"));
    int dumps = 0, failedDumps = 0;
    QString dumpError, dumpWarnings;
    while (!writer.waitForFinished(1)) {
        QProcess d;
        startProcess(d, cli(), {QStringLiteral("wawi"), QStringLiteral("dump"), QStringLiteral("Artikel"), QStringLiteral("--dir"), dir,
                                QStringLiteral("--index"), QStringLiteral("Ix_Neueste")}, env.file("backup"));
        QVERIFY(d.waitForFinished(60000));
        ++dumps;
        const QString stderrText = QString::fromUtf8(d.readAllStandardError());
        if (d.exitCode() != 0) { ++failedDumps; dumpError = stderrText; }
        if (stderrText.contains(QLatin1String("Warnung"))) dumpWarnings = stderrText;
    }
    reader.kill();
    reader.waitForFinished();
    QCOMPARE(writer.exitStatus(), QProcess::NormalExit);
    const QString out = QString::fromUtf8(writer.readAllStandardOutput());
    QVERIFY2(writer.exitCode() == 0, qPrintable(out + QString::fromUtf8(writer.readAllStandardError())));
    QCOMPARE(failedDumps, 0);
    Q_UNUSED(dumpError);
    QCOMPARE(dumpWarnings, QString()); // the indexes are read with the data, never half-way through a write
    QVERIFY(dumps > 1);
    QVERIFY(out.startsWith(QLatin1String("DIGEST ")));

    auto t = ParadoxTable::Open(path);
    pxtest::verifyConsistency(*t);
    QCOMPARE(QString::fromLatin1(stress::digest(stress::rows(*t))), out.mid(7).trimmed());
    QCOMPARE(t->RowCount(), 300 + 300 / 5);
    QVERIFY(leftovers(dir).isEmpty());
}

// kill -9 of a writer at random moments, also while another process reads:
// the next open sees the old or the new state with consistent indexes, and
// the next write leaves no temporary files.
void tst_ParadoxProcesses::killedWritersLeaveOldOrNewState()
{
    requireTools();
    test::TestEnv env;
    const QString dir = env.file(QStringLiteral("wawi"));
    QDir().mkpath(dir);
    const QString path = stress::create(dir, 200);
    QProcess reader;
    startProcess(reader, helper(), {QStringLiteral("read"), dir, QStringLiteral("600000")}, env.file("backup"));
    QRandomGenerator rnd(11);
    int rows = 200;
    for (int round = 0; round < 12; ++round) {
        QProcess writer;
        startProcess(writer, helper(), {QStringLiteral("write"), dir, QStringLiteral("100000"), QString::number(round)}, env.file("backup"));
        QThread::msleep(80 + rnd.bounded(400));
        ::kill(pid_t(writer.processId()), SIGKILL);
        QVERIFY(writer.waitForFinished(10000));
        auto t = ParadoxTable::Open(path);
        pxtest::verifyConsistency(*t);
        if (QTest::currentTestFailed()) QFAIL(qPrintable(QStringLiteral("Runde %1").arg(round)));
        QVERIFY(t->RowCount() >= rows); // appends only add
        rows = t->RowCount();
    }
    reader.kill();
    reader.waitForFinished();
    auto t = ParadoxTable::Open(path);
    t->UpdateRecord(0, {{3, QStringLiteral("danach")}});
    QVERIFY2(leftovers(dir).isEmpty(), qPrintable(leftovers(dir).join(QLatin1Char(' '))));
    pxtest::verifyConsistency(*ParadoxTable::Open(path));
}

// Lock files as the WaWi's engine leaves them in the table's folder while
// it holds a lock (see docs/paradox-locking.md).
void tst_ParadoxProcesses::engineLocksMakeWritesWaitThenRefuse_data()
{
    QTest::addColumn<QString>("lockFile");
    QTest::addColumn<QByteArray>("content");
    // a table write lock and a record lock in the table's lock file
    QTest::newRow("table lock") << QStringLiteral("ARTIKEL.LCK") << QByteArray("\x02\x00\x01\x00ARTIKEL\0", 12).leftJustified(64, '\0');
    QTest::newRow("record lock") << QStringLiteral("Artikel.lck") << QByteArray("\x04\x00\x01\x00ARTIKEL\0\x07\x00", 14).leftJustified(64, '\0');
    // the folder taken exclusively
    QTest::newRow("exclusive folder") << QStringLiteral("PARADOX.LCK") << QByteArray(64, '\0');
}

void tst_ParadoxProcesses::engineLocksMakeWritesWaitThenRefuse()
{
    QFETCH(QString, lockFile);
    QFETCH(QByteArray, content);
    test::TestEnv env;
    const QString dir = env.file(QStringLiteral("wawi"));
    QDir().mkpath(dir);
    const QString path = stress::create(dir, 50);
    {
        QFile f(QDir(dir).filePath(lockFile));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    const QByteArray before = pxtest::hashFiles(dir);
    pxlock::SetEngineLockWaitMs(600);
    WaWiWriteRecorder rec;
    auto t = ParadoxTable::Open(path);
    QElapsedTimer timer;
    timer.start();
    QString message;
    try {
        t->UpdateRecord(3, {{3, QStringLiteral("geändert")}});
    } catch (const ParadoxError &e) {
        message = e.message();
    }
    QVERIFY(timer.elapsed() >= 550);  // waited and tried again
    QVERIFY2(message.contains(QLatin1String("\"Artikel.DB\" ist in der Warenwirtschaft gerade gesperrt")), qPrintable(message));
    QVERIFY(pxlock::IsEngineLockMessage(message));
    QCOMPARE(rec.Report().lockRefusals.size(), 1);
    QCOMPARE(pxtest::hashFiles(dir), before); // lock file and table untouched
    // the same through the data-access component
    TVLBTable v;
    v.SetDirectory(dir);
    v.SetTableName(QStringLiteral("Artikel"));
    v.Open();
    v.Edit();
    v.FieldByName(QStringLiteral("Bezeichnung_Intern"))->SetValue(QStringLiteral("x"));
    bool refused = false;
    try {
        v.Post();
    } catch (const DatasetError &e) {
        refused = pxlock::IsEngineLockMessage(e.message());
    }
    QVERIFY(refused);
    QCOMPARE(rec.Report().lockRefusals.size(), 2);
    QCOMPARE(pxtest::hashFiles(dir), before);
    pxlock::SetEngineLockWaitMs(5000);
}

void tst_ParadoxProcesses::engineLockReleasedWhileWaiting()
{
    test::TestEnv env;
    const QString dir = env.file(QStringLiteral("wawi"));
    QDir().mkpath(dir);
    const QString path = stress::create(dir, 50);
    const QString lock = QDir(dir).filePath(QStringLiteral("ARTIKEL.LCK"));
    {
        QFile f(lock);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(64, '\1'));
    }
    pxlock::SetEngineLockWaitMs(5000);
    QThread *release = QThread::create([lock] { QThread::msleep(400); QFile::remove(lock); });
    release->start();
    auto t = ParadoxTable::Open(path);
    QElapsedTimer timer;
    timer.start();
    const int row = t->UpdateRecord(3, {{3, QStringLiteral("nach dem Warten")}});
    QVERIFY(timer.elapsed() >= 350);
    release->wait();
    delete release;
    QCOMPARE(ParadoxTable::Open(path)->Value(row, 3).toString(), QStringLiteral("nach dem Warten"));
}

// With no lock files of the engine a write neither waits nor leaves a lock
// file of any kind behind.
void tst_ParadoxProcesses::noLockFilesNoChange()
{
    test::TestEnv env;
    const QString dir = env.file(QStringLiteral("wawi"));
    QDir().mkpath(dir);
    const QString path = stress::create(dir, 50);
    const QStringList filesBefore = QDir(dir).entryList(QDir::Files);
    pxlock::SetEngineLockWaitMs(5000);
    auto t = ParadoxTable::Open(path);
    QElapsedTimer timer;
    timer.start();
    t->UpdateRecord(3, {{3, QStringLiteral("ohne Sperre")}});
    t->AppendRecord(stress::record(777));
    QVERIFY(timer.elapsed() < 4000);
    QCOMPARE(QDir(dir).entryList(QDir::Files), filesBefore);
}

// Another writer changed the table after this one read it: a record it
// did not touch is still found (by its key) and written, wherever it went;
// only a record changed meanwhile is refused.
void tst_ParadoxProcesses::secondWriterMovesOtherRecords_data()
{
    QTest::addColumn<QString>("other");
    QTest::addColumn<bool>("conflict");
    QTest::newRow("append before it") << "append" << false;
    QTest::newRow("many appends split its block") << "split" << false;
    QTest::newRow("key change moves another") << "key" << false;
    QTest::newRow("same record changed") << "same" << true;
    QTest::newRow("same record's key changed") << "same key" << true;
}

void tst_ParadoxProcesses::secondWriterMovesOtherRecords()
{
    QFETCH(QString, other);
    QFETCH(bool, conflict);
    test::TestEnv env;
    const QString dir = env.file(QStringLiteral("wawi"));
    QDir().mkpath(dir);
    const QString path = stress::create(dir, 200);
    auto mine = ParadoxTable::Open(path);
    auto theirs = ParadoxTable::Open(path);
    // A record of Mandant 2: the Mandant 1 records sort before it.
    const int row = 150;
    QCOMPARE(mine->Value(row, 0).toInt(), 2);
    const QVariantList key = mine->KeyValues(row);
    if (other == QLatin1String("append")) {
        theirs->AppendRecord(stress::record(1000));
    } else if (other == QLatin1String("split")) {
        // Mandant 2 keys right before this record's: its block splits and
        // the record lands elsewhere in the file.
        for (int i = 0; i < 12; ++i) {
            QVariantList v = stress::record(99);
            v[1] = QStringLiteral("A000100_%1").arg(i, 2, 10, QLatin1Char('0'));
            theirs->AppendRecord(v);
        }
    } else if (other == QLatin1String("key")) {
        // a Mandant 1 record becomes the last of Mandant 2: the records
        // between move up by one
        theirs->UpdateRecord(0, {{0, 2}, {1, QStringLiteral("Z000000")}});
    } else if (other == QLatin1String("same")) {
        theirs->UpdateRecord(theirs->RowOfKey(key), {{3, QStringLiteral("von dort")}});
    } else {
        theirs->UpdateRecord(theirs->RowOfKey(key), {{1, QStringLiteral("A000000x")}});
    }
    QString message;
    int newRow = -1;
    try {
        newRow = mine->UpdateRecord(row, {{3, QStringLiteral("von hier")}, {9, QStringLiteral("Memo von hier")}});
    } catch (const ParadoxError &e) {
        message = e.message();
    }
    auto now = ParadoxTable::Open(path);
    pxtest::verifyConsistency(*now);
    if (conflict) {
        QCOMPARE(message, QStringLiteral("Der Satz wurde inzwischen geändert; bitte neu laden."));
        for (int r = 0; r < now->RowCount(); ++r) QVERIFY(now->Value(r, 3).toString() != QLatin1String("von hier"));
        return;
    }
    QVERIFY2(message.isEmpty(), qPrintable(message));
    QCOMPARE(mine->KeyValues(newRow), key);
    const int at = now->RowOfKey(key);
    QVERIFY(at >= 0);
    QCOMPARE(now->Value(at, 3).toString(), QStringLiteral("von hier"));
    QCOMPARE(now->Value(at, 9).toString(), QStringLiteral("Memo von hier"));
    QCOMPARE(now->RowCount(), other == QLatin1String("append") ? 201 : other == QLatin1String("split") ? 212 : 200);
}

// Two processes edit, append and re-key records of their own Mandant as
// fast as they can: every write of both goes through (no false "changed
// meanwhile"), and each one's records end up as it wrote them.
void tst_ParadoxProcesses::twoWriterProcessesOnTheirOwnRecords()
{
    requireTools();
    test::TestEnv env;
    const QString dir = env.file(QStringLiteral("wawi"));
    QDir().mkpath(dir);
    const QString path = stress::create(dir, 300);
    QProcess one, two;
    startProcess(one, helper(), {QStringLiteral("write-own"), dir, QStringLiteral("250"), QStringLiteral("3"), QStringLiteral("1")},
                 env.file("backup"));
    startProcess(two, helper(), {QStringLiteral("write-own"), dir, QStringLiteral("250"), QStringLiteral("4"), QStringLiteral("2")},
                 env.file("backup"));
    QVERIFY(one.waitForFinished(300000));
    QVERIFY(two.waitForFinished(300000));
    QMap<QString, QVariantList> rows = stress::rows(*ParadoxTable::Open(path));
    for (QProcess *p : {&one, &two}) {
        const QString out = QString::fromUtf8(p->readAllStandardOutput());
        QVERIFY2(p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0,
                 qPrintable(out + QString::fromUtf8(p->readAllStandardError())));
        QVERIFY(out.startsWith(QLatin1String("DIGEST ")));
        const QString prefix = QLatin1String(p == &one ? "1|" : "2|");
        QMap<QString, QVariantList> own;
        for (auto it = rows.cbegin(); it != rows.cend(); ++it)
            if (it.key().startsWith(prefix)) own.insert(it.key(), it.value());
        QCOMPARE(QString::fromLatin1(stress::digest(own)), out.mid(7).trimmed());
    }
    auto t = ParadoxTable::Open(path);
    pxtest::verifyConsistency(*t);
    QCOMPARE(t->RowCount(), 300 + 2 * 250 / 5);
    QVERIFY(leftovers(dir).isEmpty());
}

// The WaWi takes the table while a write is being prepared: the write is
// refused at its last look at the lock files, and no file of the table,
// the memo file included, has changed by a single byte.
void tst_ParadoxProcesses::lockFileAppearingDuringAWriteChangesNoFile_data()
{
    QTest::addColumn<QString>("write");
    QTest::newRow("memo changed") << "memo";
    QTest::newRow("key and memo changed") << "key";
    QTest::newRow("record with memo appended") << "append";
}

void tst_ParadoxProcesses::lockFileAppearingDuringAWriteChangesNoFile()
{
    QFETCH(QString, write);
    test::TestEnv env;
    const QString dir = env.file(QStringLiteral("wawi"));
    QDir().mkpath(dir);
    const QString path = stress::create(dir, 60);
    const QString lock = QDir(dir).filePath(QStringLiteral("ARTIKEL.LCK"));
    const QByteArray before = pxtest::hashFiles(dir);
    const qint64 mbSize = QFileInfo(QDir(dir).filePath(QStringLiteral("Artikel.MB"))).size();
    auto t = ParadoxTable::Open(path);
    const auto doWrite = [&] {
        const QString memo = QStringLiteral("Neuer Langtext ").repeated(200);
        if (write == QLatin1String("memo")) t->UpdateRecord(5, {{9, memo}});
        else if (write == QLatin1String("key")) t->UpdateRecord(5, {{1, QStringLiteral("Z1")}, {9, memo}});
        else t->AppendRecord(stress::record(500).mid(0, 9) << memo);
    };
    ParadoxTable::SetBeforeCommitHook([&] {
        QFile f(lock);
        if (f.open(QIODevice::WriteOnly)) f.write(QByteArray("\x02\x00\x01\x00ARTIKEL\0", 12).leftJustified(64, '\0'));
    });
    QString message;
    try {
        doWrite();
    } catch (const ParadoxError &e) {
        message = e.message();
    }
    ParadoxTable::SetBeforeCommitHook({});
    QVERIFY2(pxlock::IsEngineLockMessage(message), qPrintable(message));
    QVERIFY(QFile::remove(lock));
    QCOMPARE(QFileInfo(QDir(dir).filePath(QStringLiteral("Artikel.MB"))).size(), mbSize);
    QCOMPARE(pxtest::hashFiles(dir), before);
    QVERIFY(leftovers(dir).isEmpty());
    // Without the lock the same write goes through.
    doWrite();
    pxtest::verifyConsistency(*ParadoxTable::Open(path));
}

// A table read before another writer appended: its warnings describe the
// files as they are, not a header of one moment against indexes of the next.
void tst_ParadoxProcesses::warningsMatchTheTableAsWritten()
{
    test::TestEnv env;
    const QString dir = env.file(QStringLiteral("wawi"));
    QDir().mkpath(dir);
    const QString path = stress::create(dir, 100);
    auto reader = ParadoxTable::Open(path);
    auto writer = ParadoxTable::Open(path);
    writer->AppendRecord(stress::record(700));
    writer->UpdateRecord(0, {{1, QStringLiteral("Z0")}});
    QCOMPARE(reader->ConsistencyWarnings(), QStringList());
    QCOMPARE(reader->RowCount(), 100); // what it read stays as it was
    // A real mismatch is still reported.
    QFile x(QDir(dir).filePath(QStringLiteral("Artikel.XG0")));
    QVERIFY(x.open(QIODevice::ReadWrite));
    QVERIFY(x.seek(6));
    QVERIFY(x.write(QByteArray("\x07\x00\x00\x00", 4)) == 4);
    x.close();
    QVERIFY2(reader->ConsistencyWarnings().join(QLatin1Char('\n')).contains(QStringLiteral("hat 7 Einträge für 101 Sätze")),
             qPrintable(reader->ConsistencyWarnings().join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(tst_ParadoxProcesses)
#include "tst_ParadoxProcesses.moc"
