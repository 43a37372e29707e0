// marktvoll-cli newsletter import / list on the lists of a private program
// folder: the same rules as the window, the lists read back as JSON lines.

#include "support/TestEnv.h"

#include <QFile>
#include <QProcess>
#include <QtTest>

class tst_NewsletterCli : public QObject {
    Q_OBJECT
private:
    QString cli() const { return mv::test::TestEnv::binaryDir() + QStringLiteral("/marktvoll-cli"); }
    QByteArray run(const QStringList &args, int *rc)
    {
        QProcess p;
        p.start(cli(), args);
        p.waitForFinished(60000);
        *rc = p.exitCode();
        m_err = p.readAllStandardError();
        return p.readAllStandardOutput();
    }
    static void writeAll(const QString &path, const QByteArray &data)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    QByteArray m_err;

private slots:
    void initTestCase()
    {
        if (!QFile::exists(cli())) {
            if (qEnvironmentVariable("CI") == QLatin1String("true"))
                QFAIL("marktvoll-cli is not built");
            QSKIP("marktvoll-cli is not built");
        }
    }

    void importAndList()
    {
        mv::test::TestEnv env;
        writeAll(env.file("a.txt"), "eins@example.de; zwei@example.de\nkaputt@\n");
        writeAll(env.file("s.txt"), "zwei@example.de\n");
        writeAll(env.file("k.vcf"), "BEGIN:VCARD\nVERSION:3.0\nEMAIL:drei@example.de\nEND:VCARD\n");
        writeAll(env.file("Sent"), "From x Mon Dec  7 10:00:00 2026\nFrom: ich@example.de\nTo: vier@example.de\n\n");
        int rc = -1;
        run({"newsletter", "import", env.file("a.txt")}, &rc);
        QCOMPARE(rc, 0);
        run({"newsletter", "import", env.file("s.txt"), "--exclude"}, &rc);
        QCOMPARE(rc, 0);
        run({"newsletter", "import", env.file("k.vcf")}, &rc);
        QCOMPARE(rc, 0);
        run({"newsletter", "import", env.file("Sent")}, &rc);
        QCOMPARE(rc, 0);
        const QList<QByteArray> lines = run({"newsletter", "list"}, &rc).trimmed().split('\n');
        QCOMPARE(rc, 0);
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines.at(0).contains("\"eins@example.de\""));
        QVERIFY(lines.at(1).contains("\"drei@example.de\""));
        QVERIFY(lines.at(2).contains("\"vier@example.de\""));
        const QByteArray ex = run({"newsletter", "list", "--exclude"}, &rc);
        QVERIFY(ex.contains("\"zwei@example.de\""));
        QCOMPARE(ex.count('\n'), 1);

        run({"newsletter", "import", env.file("fehlt.txt")}, &rc);
        QCOMPARE(rc, 1);
        QVERIFY(m_err.contains("fehlt.txt"));
        run({"newsletter", "kaputt"}, &rc);
        QCOMPARE(rc, 2);
    }
};

QTEST_GUILESS_MAIN(tst_NewsletterCli)
#include "tst_NewsletterCli.moc"
