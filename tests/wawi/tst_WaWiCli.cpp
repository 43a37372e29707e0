// marktvoll-cli wawi demo / detect / dump, run as a user would.

#include "support/TestEnv.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

class TestWaWiCli : public QObject {
    Q_OBJECT
private:
    QString cli() const { return QDir(mv::test::TestEnv::binaryDir()).filePath(QStringLiteral("marktvoll-cli")); }

    // Runs the tool; returns stdout, exit code in *rc.
    QString run(const QStringList &args, int *rc, const QString &cwd = QString(), bool withHome = true)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!withHome)
            env.remove(QStringLiteral("MARKTVOLL_HOME"));
        p.setProcessEnvironment(env);
        if (!cwd.isEmpty())
            p.setWorkingDirectory(cwd);
        p.start(cli(), args);
        if (!p.waitForFinished(120000)) {
            *rc = -1;
            return QString();
        }
        *rc = p.exitCode();
        m_stderr = QString::fromUtf8(p.readAllStandardError());
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    QString m_stderr;

private slots:
    void initTestCase()
    {
        if (!QFileInfo::exists(cli())) {
            if (qEnvironmentVariable("CI") == QLatin1String("true"))
                QFAIL("marktvoll-cli fehlt");
            QSKIP("marktvoll-cli nicht gebaut");
        }
    }

    void demoDetectDump()
    {
        mv::test::TestEnv env;
        const QString dir = env.file(QStringLiteral("Demo WaWi"));
        int rc = 0;
        run({QStringLiteral("wawi"), QStringLiteral("demo"), dir, QStringLiteral("--articles"), QStringLiteral("120"),
             QStringLiteral("--addresses"), QStringLiteral("40"), QStringLiteral("--mandanten"), QStringLiteral("3"),
             QStringLiteral("--seed"), QStringLiteral("9")},
            &rc);
        QVERIFY2(rc == 0, qPrintable(m_stderr));
        QVERIFY(QFileInfo::exists(QDir(dir).filePath(QStringLiteral("Artikel.DB"))));

        const QString det = run({QStringLiteral("wawi"), QStringLiteral("detect")}, &rc);
        QVERIFY2(rc == 0, qPrintable(det + m_stderr));
        QVERIFY(det.contains(QStringLiteral("Edition: 2")));
        QVERIFY(det.contains(QStringLiteral("WaWiDir: ") + QDir::toNativeSeparators(dir)));
        QVERIFY(det.contains(QStringLiteral("* 1: Muster & Söhne GmbH")));
        QVERIFY(det.contains(QStringLiteral("2: Meier GmbH")));
        QVERIFY(det.contains(QStringLiteral("3: Mandant 3 O'Brien KG")));
        QVERIFY(det.contains(QStringLiteral("Hauptwaehrung: 1")));

        // With MARKTVOLL_HOME: the detected folder; typed values, null when empty.
        QString out = run({QStringLiteral("wawi"), QStringLiteral("dump"), QStringLiteral("mwst.db"),
                           QStringLiteral("--fields"), QStringLiteral("MwSt_Satz,NMwST,NEU_Datum,Bezeichnung")},
                          &rc);
        QVERIFY2(rc == 0, qPrintable(m_stderr));
        QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines.at(0), QStringLiteral("{\"MwSt_Satz\":1,\"NMwST\":19,\"NEU_Datum\":\"2030-01-01\",\"Bezeichnung\":\"Normaler Satz\"}"));
        QCOMPARE(lines.at(1), QStringLiteral("{\"MwSt_Satz\":2,\"NMwST\":7,\"NEU_Datum\":null,\"Bezeichnung\":\"Ermäßigter Satz\"}"));

        // Without it: the current folder; index, range and filter.
        out = run({QStringLiteral("wawi"), QStringLiteral("dump"), QStringLiteral("Adressen.DB"), QStringLiteral("--index"),
                   QStringLiteral("Schnellsuche"), QStringLiteral("--range"), QStringLiteral("0;1;{low}"), QStringLiteral("0;1;{high}"),
                   QStringLiteral("--filter"), QStringLiteral("Onlinenot=FALSCH"), QStringLiteral("--fields"),
                   QStringLiteral("Adresse,Art,Mandant,Suchbegriff,Onlinenot")},
                  &rc, dir, false);
        QVERIFY2(rc == 0, qPrintable(m_stderr));
        lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(lines.size() > 5);
        for (const QString &l : lines) {
            const QJsonObject o = QJsonDocument::fromJson(l.toUtf8()).object();
            QCOMPARE(o.value(QStringLiteral("Art")).toInt(), 0);
            QCOMPARE(o.value(QStringLiteral("Mandant")).toInt(), 1);
            QCOMPARE(o.value(QStringLiteral("Onlinenot")).toBool(true), false);
            QVERIFY(o.keys().size() == 5);
        }

        // Unknown table or field: a message and a failure code.
        run({QStringLiteral("wawi"), QStringLiteral("dump"), QStringLiteral("Gibtsnicht.DB")}, &rc, dir, false);
        QVERIFY(rc != 0);
        QVERIFY(m_stderr.contains(QStringLiteral("Gibtsnicht")));
        run({QStringLiteral("wawi"), QStringLiteral("dump"), QStringLiteral("MWST.DB"), QStringLiteral("--fields"), QStringLiteral("Quatsch")},
            &rc, dir, false);
        QVERIFY(rc != 0);
        QVERIFY(m_stderr.contains(QStringLiteral("Quatsch")));
    }

    void detectWithoutWaWi()
    {
        mv::test::TestEnv env;
        int rc = 0;
        const QString out = run({QStringLiteral("wawi"), QStringLiteral("detect")}, &rc);
        QCOMPARE(rc, 1);
        QVERIFY(out.contains(QStringLiteral("keine Warenwirtschaft gefunden")));
        QVERIFY(m_stderr.contains(QStringLiteral("Es wurde keine Warenwirtschaft gefunden")));
    }
};

QTEST_GUILESS_MAIN(TestWaWiCli)
#include "tst_WaWiCli.moc"
