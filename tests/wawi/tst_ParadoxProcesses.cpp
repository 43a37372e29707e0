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
    QString dumpError;
    while (!writer.waitForFinished(1)) {
        QProcess d;
        startProcess(d, cli(), {QStringLiteral("wawi"), QStringLiteral("dump"), QStringLiteral("Artikel"), QStringLiteral("--dir"), dir,
                                QStringLiteral("--index"), QStringLiteral("Ix_Neueste")}, env.file("backup"));
        QVERIFY(d.waitForFinished(60000));
        ++dumps;
        if (d.exitCode() != 0) { ++failedDumps; dumpError = QString::fromUtf8(d.readAllStandardError()); }
    }
    reader.kill();
    reader.waitForFinished();
    QCOMPARE(writer.exitStatus(), QProcess::NormalExit);
    const QString out = QString::fromUtf8(writer.readAllStandardOutput());
    QVERIFY2(writer.exitCode() == 0, qPrintable(out + QString::fromUtf8(writer.readAllStandardError())));
    QCOMPARE(failedDumps, 0);
    Q_UNUSED(dumpError);
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

QTEST_GUILESS_MAIN(tst_ParadoxProcesses)
#include "tst_ParadoxProcesses.moc"
