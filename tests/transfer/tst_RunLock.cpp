// One transfer at a time per program folder, across processes, and what a
// run without the window leaves for the window to show.

#include "support/TestEnv.h"
#include "transfer/RunLock.h"
#include "transfer/TransferProtocol.h"
#include "transfer/TransferRun.h"
#include "transfer/UnattendedRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace mv;
using mv::test::TestEnv;

namespace {

QString helper() { return QDir(TestEnv::binaryDir()).filePath(QStringLiteral("tests/runlock_helper")); }
QString cli() { return QDir(TestEnv::binaryDir()).filePath(QStringLiteral("marktvoll-cli")); }

// Starts a helper holding the lock of folder and waits until it holds it.
bool startHolder(QProcess &p, const QString &folder)
{
    p.start(helper(), {folder, QStringLiteral("60000")});
    return p.waitForReadyRead(20000) && p.readAll().startsWith("lauf");
}

struct CliRun {
    int exit = -1;
    QString err;
};

CliRun runCli(const QString &home, const QStringList &args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MARKTVOLL_HOME"), home);
    env.insert(QStringLiteral("MARKTVOLL_REGISTRY"), home + QStringLiteral("/registry.reg"));
    env.insert(QStringLiteral("MARKTVOLL_RUNLOCK_WAIT"), QStringLiteral("1"));
    p.setProcessEnvironment(env);
    p.start(cli(), args);
    CliRun r;
    if (p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit)
        r.exit = p.exitCode();
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QStringList protocols(const QString &home)
{
    return QDir(home + QStringLiteral("/protokolle")).entryList({QStringLiteral("transfer-*.json")}, QDir::Files);
}

} // namespace

class tst_RunLock : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!QFileInfo::exists(helper()) || !QFileInfo::exists(cli())) {
            if (qEnvironmentVariable("CI") == QLatin1String("true"))
                QFAIL("runlock_helper or marktvoll-cli is not built");
            QSKIP("runlock_helper or marktvoll-cli is not built");
        }
    }

    void oneHolderPerFolder()
    {
        QTemporaryDir dir, other;
        RunLock a(dir.path()), b(dir.path()), c(other.path());
        QVERIFY(a.Acquire(0));
        QVERIFY(!b.Acquire(200));
        QVERIFY2(b.Message().startsWith(QStringLiteral("Ein anderer Datenbankabgleich läuft bereits (")), qPrintable(b.Message()));
        QVERIFY(b.Message().contains(QStringLiteral("Prozess %1").arg(QCoreApplication::applicationPid())));
        QVERIFY(b.Message().contains(QStringLiteral("nicht gestartet")));
        QVERIFY(c.Acquire(0));   // another program folder is another shop
        // A run that ends while the next one waits lets it in.
        QTimer::singleShot(300, [&a] { a.Release(); });
        QVERIFY(b.Acquire(10000));
        QVERIFY(b.IsHeld() && !a.IsHeld());
        b.Release();
        QVERIFY(a.Acquire(0));
    }

    void twoProcessesStartedTogether()
    {
        QTemporaryDir dir;
        QProcess p1, p2;
        p1.start(helper(), {dir.path(), QStringLiteral("3000")});
        p2.start(helper(), {dir.path(), QStringLiteral("3000")});
        QVERIFY(p1.waitForFinished(30000) && p2.waitForFinished(30000));
        const QByteArray o1 = p1.readAll(), o2 = p2.readAll();
        QCOMPARE(int(o1.startsWith("lauf")) + int(o2.startsWith("lauf")), 1);
        const QByteArray refused = o1.startsWith("lauf") ? o2 : o1;
        QVERIFY2(refused.startsWith("gesperrt: Ein anderer Datenbankabgleich l\xc3\xa4uft bereits (runlock_helper, Prozess "),
                 refused.constData());
        QCOMPARE((o1.startsWith("lauf") ? p2 : p1).exitCode(), kExitRunLocked);
        QCOMPARE((o1.startsWith("lauf") ? p1 : p2).exitCode(), 0);
    }

    void killedHolderIsTakenOver()
    {
        QTemporaryDir dir;
        QProcess p;
        QVERIFY(startHolder(p, dir.path()));
        p.kill();   // SIGKILL: no chance to clean up
        QVERIFY(p.waitForFinished(10000));
        QFile file(RunLock::FilePath(dir.path()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("pid="));   // the file of the dead run is still there
        RunLock next(dir.path());
        QVERIFY2(next.Acquire(0), qPrintable(next.Message()));
    }

    // The command line gives way to a running transfer with its own status,
    // a dry run does not need the lock, and a run leaves its protocol.
    void cliGivesWay()
    {
        QTemporaryDir home;
        QVERIFY(runCli(home.path(), {"settings", "set", "SQL_Server", "MySQL", "SQL_Host", "127.0.0.1:1"}).exit == 0);
        const QStringList transfer = {"transfer", "--kinds", "laender", "--all"};
        QProcess holder;
        QVERIFY(startHolder(holder, home.path()));

        CliRun r = runCli(home.path(), transfer);
        QCOMPARE(r.exit, kExitRunLocked);
        QVERIFY2(r.err.contains(QStringLiteral("Ein anderer Datenbankabgleich läuft bereits (runlock_helper, Prozess %1")
                                    .arg(holder.processId())),
                 qPrintable(r.err));
        QVERIFY(!r.err.contains(QStringLiteral("Keine Verbindung")));
        QVERIFY(protocols(home.path()).isEmpty());

        r = runCli(home.path(), transfer + QStringList{"--dry-run"});
        QCOMPARE(r.exit, 2);   // past the lock, then no shop
        QVERIFY2(!r.err.contains(QStringLiteral("Datenbankabgleich läuft bereits")), qPrintable(r.err));
        QVERIFY(protocols(home.path()).isEmpty());

        holder.kill();
        QVERIFY(holder.waitForFinished(10000));
        r = runCli(home.path(), transfer);
        QCOMPARE(r.exit, 2);
        QVERIFY2(!r.err.contains(QStringLiteral("Datenbankabgleich läuft bereits")), qPrintable(r.err));
        QCOMPARE(protocols(home.path()).size(), 1);
        const LastUnattendedRun last = FindLastUnattendedRun(home.path() + QStringLiteral("/protokolle"));
        QVERIFY(last.found);
        QVERIFY(!last.succeeded);
        QCOMPARE(last.outcome, QStringLiteral("keine Verbindung zum Shop oder Shopdatenbank nicht verwendbar"));
        QVERIFY(last.ended.isValid() && last.ended.secsTo(QDateTime::currentDateTime()) < 300);
    }

    void outcome_data()
    {
        QTest::addColumn<bool>("reachable");
        QTest::addColumn<bool>("stopped");
        QTest::addColumn<int>("refused");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("ok") << true << false << 0 << "erfolgreich";
        QTest::newRow("refused") << true << false << 2 << "mit Fehlern (2 abgelehnte Anweisungen)";
        QTest::newRow("stopped") << true << true << 0 << "abgebrochen";
        QTest::newRow("no shop") << false << false << 0 << "keine Verbindung zum Shop oder Shopdatenbank nicht verwendbar";
    }
    void outcome()
    {
        QFETCH(bool, reachable);
        QFETCH(bool, stopped);
        QFETCH(int, refused);
        QFETCH(QString, outcome);
        TestEnv env;
        TransferReport report;
        report.started = QDateTime(QDate(2026, 12, 11), QTime(2, 30));
        report.ended = QDateTime(QDate(2026, 12, 11), QTime(2, 41, 7));
        report.reachable = reachable;
        report.stopped = stopped;
        TransferStepReport step;
        step.name = QStringLiteral("Länder");
        step.ran = true;
        step.refused = refused;
        report.steps << step;
        QVERIFY(!SaveTransferProtocol(UnattendedProtocol(report), report.ended).isEmpty());
        const LastUnattendedRun last = FindLastUnattendedRun();
        QVERIFY(last.found);
        QCOMPARE(last.outcome, outcome);
        QCOMPARE(LastUnattendedRunText(last),
                 QStringLiteral("Letzter Abgleich ohne Fenster (Zeitplan, marktvoll-cli): beendet 11.12.2026 02:41:07, ") + outcome);
    }

    // The window's own runs are not the ones asked for; of two runs in one
    // second the later one (-2) counts.
    void newestMarkedProtocol()
    {
        TestEnv env;
        QCOMPARE(LastUnattendedRunText(FindLastUnattendedRun()),
                 QStringLiteral("Letzter Abgleich ohne Fenster (Zeitplan, marktvoll-cli): noch keiner"));
        TransferReport ok;
        ok.reachable = true;
        ok.ended = QDateTime(QDate(2026, 12, 10), QTime(2, 30, 5));
        TransferReport lost = ok;
        lost.shopLost = true;
        const QDateTime second(QDate(2026, 12, 10), QTime(3, 0));
        QVERIFY(!SaveTransferProtocol(UnattendedProtocol(ok), second).isEmpty());
        QVERIFY(!SaveTransferProtocol(UnattendedProtocol(lost), second).isEmpty());   // -2
        TransferReport window = ok;
        QVERIFY(!SaveTransferProtocol(window.toJson(), second.addSecs(3600)).isEmpty());
        const LastUnattendedRun last = FindLastUnattendedRun();
        QVERIFY(last.found);
        QVERIFY(last.file.endsWith(QStringLiteral("transfer-2026-12-10-030000-2.json")));
        QCOMPARE(last.outcome, QStringLiteral("Verbindung zum Shop während des Abgleichs verloren"));
    }
};

QTEST_GUILESS_MAIN(tst_RunLock)
#include "tst_RunLock.moc"
