// marktvoll-cli --help / -h: the tool lists its commands, and every command
// answers with its usage without doing anything else.

#include "support/TestEnv.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

class TstCliHelp : public QObject {
    Q_OBJECT
private:
    struct Run {
        int exit = -1;
        QString out, err;
    };
    static QString cli() { return QDir(mv::test::TestEnv::binaryDir()).filePath(QStringLiteral("marktvoll-cli")); }
    static Run run(const QStringList &args)
    {
        QProcess p;
        p.start(cli(), args);
        Run r;
        if (!p.waitForFinished(60000))
            return r;
        r.exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }
    // Command names from the tool's own list.
    static QStringList commands()
    {
        const Run r = run({QStringLiteral("--help")});
        QStringList names;
        static const QRegularExpression line(QStringLiteral("^  marktvoll-cli (\\S+)"), QRegularExpression::MultilineOption);
        for (auto it = line.globalMatch(r.out); it.hasNext();)
            names << it.next().captured(1);
        return names;
    }

private slots:
    void initTestCase()
    {
        if (!QFileInfo::exists(cli())) {
            if (qEnvironmentVariable("CI") == QLatin1String("true"))
                QFAIL("marktvoll-cli is not built");
            QSKIP("marktvoll-cli is not built");
        }
    }

    void toolList_data()
    {
        QTest::addColumn<QString>("flag");
        QTest::newRow("--help") << "--help";
        QTest::newRow("-h") << "-h";
    }
    void toolList()
    {
        QFETCH(QString, flag);
        mv::test::TestEnv env;
        const Run r = run({flag});
        QCOMPARE(r.exit, 0);
        QVERIFY(r.out.startsWith(QStringLiteral("Aufruf: marktvoll-cli BEFEHL")));
        const QStringList names = commands();
        for (const char *name : {"rtf", "schema", "settings", "sql", "tablefile", "wawi"})
            QVERIFY2(names.contains(QLatin1String(name)), name);

        const Run unknown = run({QStringLiteral("gibtsnicht")});
        QCOMPARE(unknown.exit, 2);
        QVERIFY(unknown.err.contains(QStringLiteral("Unbekannter Befehl: gibtsnicht")));
        QVERIFY(unknown.out.isEmpty());
    }

    // Every registered command, both spellings, alone and among other arguments.
    void everyCommand_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("args");
        for (const QString &c : commands()) {
            for (const char *flag : {"--help", "-h"}) {
                QTest::addRow("%s %s", qPrintable(c), flag) << c << QStringList{QString::fromLatin1(flag)};
                QTest::addRow("%s dump x %s", qPrintable(c), flag)
                    << c << QStringList{QStringLiteral("dump"), QStringLiteral("x"), QString::fromLatin1(flag)};
            }
        }
    }
    void everyCommand()
    {
        QFETCH(QString, command);
        QFETCH(QStringList, args);
        mv::test::TestEnv env;
        const Run r = run(QStringList{command} + args);
        QCOMPARE(r.exit, 0);
        QVERIFY2(r.out.startsWith(QStringLiteral("Aufruf: marktvoll-cli ") + command), qPrintable(r.out));
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
    }

    // Help does nothing else: no statement reaches the database, no setting
    // is written.
    void helpHasNoEffect()
    {
        mv::test::TestEnv env;
        const QString ini = env.file(QStringLiteral("ShopMod.ini"));
        Run r = run({QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("SQL_Host"), QStringLiteral("x"),
                     QStringLiteral("--help")});
        QCOMPARE(r.exit, 0);
        QVERIFY(!QFileInfo::exists(ini));

        // A database nobody listens on: a real statement fails there.
        r = run({QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("SQL_Server"), QStringLiteral("MySQL"),
                 QStringLiteral("SQL_Host"), QStringLiteral("127.0.0.1:1"), QStringLiteral("SQL_User"), QStringLiteral("u"),
                 QStringLiteral("SQL_Data"), QStringLiteral("d")});
        QCOMPARE(r.exit, 0);
        QVERIFY(QFileInfo::exists(ini));
        r = run({QStringLiteral("sql"), QStringLiteral("SELECT 1")});
        QCOMPARE(r.exit, 1);
        QVERIFY(r.err.startsWith(QStringLiteral("Ergebnis: ")));
        for (const QStringList &args : {QStringList{QStringLiteral("sql"), QStringLiteral("--help")},
                                        QStringList{QStringLiteral("sql"), QStringLiteral("--execute"), QStringLiteral("-h")},
                                        QStringList{QStringLiteral("sql"), QStringLiteral("--mode"), QStringLiteral("direct"),
                                                    QStringLiteral("--help"), QStringLiteral("SELECT 1")}}) {
            r = run(args);
            QCOMPARE(r.exit, 0);
            QVERIFY2(!r.err.contains(QStringLiteral("Ergebnis")), qPrintable(r.err));
            QVERIFY(r.out.contains(QStringLiteral("--mode direct|gateway")));
        }
        // Without help a wrong call still is a usage error, on stderr.
        r = run({QStringLiteral("tablefile")});
        QCOMPARE(r.exit, 2);
        QVERIFY(r.err.startsWith(QStringLiteral("Aufruf: marktvoll-cli tablefile")));
    }
};

QTEST_GUILESS_MAIN(TstCliHelp)
#include "tst_CliHelp.moc"
