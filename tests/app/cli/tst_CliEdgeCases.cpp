// Wrong calls and unsuitable files on the command line: a usage error, an
// input that holds nothing to work on, and files far too big or not files
// at all end with a German message and a failure code, never with an
// exhausted memory. Big files are sparse, so the tests stay small on disk.

#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

class TstCliEdgeCases : public QObject {
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
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
            r.err = QStringLiteral("<Zeitüberschreitung>");
            return r;
        }
        r.exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

private slots:
    void initTestCase()
    {
        if (!QFileInfo::exists(cli()))
            QFAIL("marktvoll-cli is not built");
    }

    void refusedWithMessage_data()
    {
        QTest::addColumn<QString>("file");     // what the fixture file is
        QTest::addColumn<QStringList>("args"); // %F = the fixture file, %D = its folder
        QTest::addColumn<QString>("message");  // part of stderr

        QTest::newRow("no arguments") << QString() << QStringList{} << QStringLiteral("Aufruf: marktvoll-cli BEFEHL");
        QTest::newRow("newsletter: empty file")
            << QStringLiteral("empty:leer.txt") << QStringList{"newsletter", "import", "%F"}
            << QStringLiteral("enthält keine Adressen");
        QTest::newRow("newsletter: picture")
            << QStringLiteral("png:bild.png") << QStringList{"newsletter", "import", "%F"}
            << QStringLiteral("enthält keine Adressen");
        QTest::newRow("rtf: 600 MB") << QStringLiteral("sparse600:gross.rtf") << QStringList{"rtf", "%F"}
                                     << QStringLiteral("zu groß für einen Memotext (600 MB");
        QTest::newRow("rtf: device") << QStringLiteral("device") << QStringList{"rtf", "/dev/zero"}
                                     << QStringLiteral("/dev/zero ist keine Datei");
        QTest::newRow("wawi dump: 3 GB non-table")
            << QStringLiteral("sparse3g:Gross.DB") << QStringList{"wawi", "dump", "Gross", "--dir", "%D"}
            << QStringLiteral("mehr als eine Paradox-Datei groß sein kann");
        QTest::newRow("wawi dump: /dev/zero")
            << QStringLiteral("link:Null.DB") << QStringList{"wawi", "dump", "Null", "--dir", "%D"}
            << QStringLiteral("ist keine Datei");
        QTest::newRow("wawi dump: small non-table")
            << QStringLiteral("png:Bild.DB") << QStringList{"wawi", "dump", "Bild", "--dir", "%D"}
            << QStringLiteral("keine Paradox-Datei");
    }
    void refusedWithMessage()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        mv::test::TestEnv env;
        const QString dir = env.file(QStringLiteral("daten"));
        QVERIFY(QDir().mkpath(dir));
        const QString kind = file.section(QLatin1Char(':'), 0, 0);
        const QString path = QDir(dir).filePath(file.section(QLatin1Char(':'), 1));
        if (kind == QLatin1String("link")) {
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
        } else if (!kind.isEmpty() && kind != QLatin1String("device")) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            if (kind == QLatin1String("png"))
                f.write(QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10\0\0\0\x10\x08\x02\0\0\0\x90\x91h6", 33));
            else if (kind == QLatin1String("sparse600"))
                QVERIFY(f.resize(qint64(600) * 1024 * 1024));
            else if (kind == QLatin1String("sparse3g"))
                QVERIFY(f.resize(qint64(3) * 1024 * 1024 * 1024));
        }
        for (QString &a : args)
            a.replace(QLatin1String("%F"), path).replace(QLatin1String("%D"), dir);
        const Run r = run(args);
        QVERIFY2(r.exit == (args.isEmpty() ? 2 : 1), qPrintable(QString::number(r.exit) + QLatin1Char(' ') + r.err));
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY2(!r.err.contains(QLatin1String("bad_alloc")), qPrintable(r.err));
        QVERIFY(!r.out.contains(QLatin1String("übernommen")));
    }

    // "settings set" refuses what ShopMod.ini cannot hold, before anything
    // is written.
    void settingsSetRefusesWhatTheFileCannotHold_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        QTest::newRow("line breaks") << "SQL_Host" << "a\nSQL_Pass=injected\n[x]" << "Zeilenumbruch";
        QTest::newRow("outside Windows-1252") << "FTP_Host" << QString::fromUtf8("Łx😀€") << "Windows-1252";
    }
    void settingsSetRefusesWhatTheFileCannotHold()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, message);
        mv::test::TestEnv env;
        const QString ini = env.file(QStringLiteral("ShopMod.ini"));
        QCOMPARE(run({"settings", "set", "SQL_Host", "server", "FTP_Host", "ftp.beispiel.de"}).exit, 0);
        QFile f(ini);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray before = f.readAll();
        f.close();
        const Run r = run({"settings", "set", "SQL_User", "neu", key, value});
        QCOMPARE(r.exit, 2);
        QVERIFY2(r.err.contains(message) && r.err.contains(key), qPrintable(r.err));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        const Run shown = run({"settings"});
        QVERIFY(shown.out.contains(QStringLiteral("\nSQL_Host=server\n")));
        QVERIFY(shown.out.contains(QStringLiteral("\nFTP_Host=ftp.beispiel.de\n")));
        QVERIFY(!shown.out.contains(QStringLiteral("injected")));
    }
};

QTEST_GUILESS_MAIN(TstCliEdgeCases)
#include "tst_CliEdgeCases.moc"
