// The built programs copied into a fake installation (prefix/bin with
// prefix/share/marktvoll) and into a build-tree-like folder: where their
// program folder ends up, what a first and a later start do, and an
// unusable home ending with a German message and exit status 2, no crash.

#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run {
    bool crashed = true;
    int exit = -1;
    QString out, err;
};

bool copyTree(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    const QDir src(from);
    for (const QFileInfo &fi : src.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        const QString target = to + "/" + fi.fileName();
        if (fi.isDir() ? !copyTree(fi.filePath(), target) : !QFile::copy(fi.filePath(), target))
            return false;
    }
    return true;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<fehlt>");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

class tst_CliInstalled : public QObject {
    Q_OBJECT

    QTemporaryDir m_root;
    QString prefix() const { return m_root.path() + "/usr"; }
    QString share() const { return prefix() + "/share/marktvoll"; }
    QString cli() const { return prefix() + "/bin/marktvoll-cli"; }
    QString gui() const { return prefix() + "/bin/marktvoll"; }
    static QString built(const char *name) { return QDir(mv::test::TestEnv::binaryDir()).filePath(name); }

    Run run(const QString &program, const QStringList &args, const QString &home, const QString &xdg = QString())
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("MARKTVOLL_HOME");
        env.remove("XDG_DATA_HOME");
        env.insert("HOME", home);
        if (!xdg.isEmpty())
            env.insert("XDG_DATA_HOME", xdg);
        env.insert("MARKTVOLL_REGISTRY", m_root.path() + "/registry.reg");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(program, args);
        Run r;
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.crashed = p.exitStatus() != QProcess::NormalExit;
        r.exit = p.exitCode();
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

private slots:
    void initTestCase()
    {
        for (const char *name : {"marktvoll-cli", "marktvoll"}) {
            if (!QFileInfo::exists(built(name))) {
                if (qEnvironmentVariable("CI") == QLatin1String("true"))
                    QFAIL("the programs are not built");
                QSKIP("the programs are not built");
            }
        }
        QVERIFY(QDir().mkpath(prefix() + "/bin"));
        QVERIFY(QFile::copy(built("marktvoll-cli"), cli()));
        QVERIFY(QFile::copy(built("marktvoll"), gui()));
        for (const char *d : {"db", "shop", "wawi"})
            QVERIFY(copyTree(mv::test::TestEnv::sourceDir() + "/" + d, share() + "/" + d));
    }

    void version_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("marktvoll-cli") << "marktvoll-cli";
        QTest::newRow("marktvoll") << "marktvoll";
    }
    void version()
    {
        QFETCH(QString, program);
        // Needs no program folder: an unusable home does not matter.
        const Run r = run(prefix() + "/bin/" + program, {"--version"}, m_root.path() + "/gibt/es/nicht");
        QVERIFY(!r.crashed);
        QCOMPARE(r.exit, 0);
        QCOMPARE(r.out, program + " " + MV_VERSION + "\n");
    }

    // First start in a fresh home, then a later start with the user's
    // changes and a newer template.
    void installedFirstAndLaterStart()
    {
        const QString home = m_root.path() + "/home-neu";
        QVERIFY(QDir().mkpath(home));
        const QString folder = home + "/.local/share/marktvoll";
        Run r = run(cli(), {"settings", "set", "SQL_Host", "db.example.de"}, home);
        QVERIFY(!r.crashed);
        QVERIFY2(r.exit == 0, qPrintable(r.err));
        QVERIFY2(r.err.contains("Der Programmordner " + folder + "/ wurde angelegt."), qPrintable(r.err));
        QVERIFY(readFile(folder + "/ShopMod.ini").contains("SQL_Host=db.example.de\r\n"));
        QCOMPARE(readFile(folder + "/shop/module/db_check/db_check.php"),
                 readFile(share() + "/shop/module/db_check/db_check.php"));
        QVERIFY(QFileInfo(folder + "/wawi/WaWiIndexe.txt").isFile());
        QVERIFY(!QFileInfo::exists(prefix() + "/bin/ShopMod.ini"));

        // The user's config.php and a new template file of a later version.
        const QByteArray config = "<?php\r\n$shopname = 'K\xe4se & W\xfcrste';\r\n?>\r\n";
        writeFile(folder + "/shop/config/config.php", config);
        writeFile(share() + "/shop/config/config.php", "<?php $shopname = ''; ?>\r\n");
        writeFile(share() + "/db/update_neu.sql", "SELECT 1;\n");
        r = run(cli(), {"settings"}, home);
        QVERIFY(!r.crashed);
        QCOMPARE(r.exit, 0);
        QVERIFY(r.out.contains("SQL_Host=db.example.de\n"));
        QVERIFY2(r.err.contains("Neue Vorlagen im Programmordner") && r.err.contains("db/update_neu.sql"),
                 qPrintable(r.err));
        QVERIFY(!r.err.contains("angelegt"));
        QCOMPARE(readFile(folder + "/shop/config/config.php"), config);
        QCOMPARE(readFile(folder + "/db/update_neu.sql"), QByteArray("SELECT 1;\n"));

        // Nothing new: nothing to say.
        r = run(cli(), {"settings"}, home);
        QCOMPARE(r.exit, 0);
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
        QFile::remove(share() + "/shop/config/config.php");
        QFile::remove(share() + "/db/update_neu.sql");
    }

    void xdgDataHome()
    {
        const QString home = m_root.path() + "/home-xdg";
        const QString xdg = m_root.path() + "/daten";
        QVERIFY(QDir().mkpath(home));
        const Run r = run(cli(), {"settings", "set", "SQL_Data", "shop"}, home, xdg);
        QCOMPARE(r.exit, 0);
        QVERIFY(readFile(xdg + "/marktvoll/ShopMod.ini").contains("SQL_Data=shop\r\n"));
        QVERIFY(!QFileInfo::exists(home + "/.local"));
    }

    // A build tree (db/, shop/ beside the program) keeps working in its own
    // folder, with or without MARKTVOLL_HOME.
    void buildTree()
    {
        const QString dir = m_root.path() + "/baum";
        QVERIFY(QDir().mkpath(dir + "/shop"));
        QVERIFY(QDir().mkpath(dir + "/db"));
        QVERIFY(QFile::copy(built("marktvoll-cli"), dir + "/marktvoll-cli"));
        const QString home = m_root.path() + "/home-baum";
        QVERIFY(QDir().mkpath(home));
        Run r = run(dir + "/marktvoll-cli", {"settings", "set", "SQL_User", "u"}, home);
        QCOMPARE(r.exit, 0);
        QVERIFY(readFile(dir + "/ShopMod.ini").contains("SQL_User=u\r\n"));
        QVERIFY(!QFileInfo::exists(home + "/.local"));
        QVERIFY(r.err.isEmpty());
    }

    void unusableHome_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::newRow("marktvoll-cli") << "marktvoll-cli" << QStringList{"settings"};
        QTest::newRow("marktvoll-cli transfer") << "marktvoll-cli" << QStringList{"transfer", "--all-kinds"};
        QTest::newRow("marktvoll") << "marktvoll" << QStringList{};
    }
    void unusableHome()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        // HOME is a plain file: no folder can be made below it, not even by root.
        const QString home = m_root.path() + "/home-datei";
        writeFile(home, "keine Ordner hier");
        const Run r = run(prefix() + "/bin/" + program, args, home);
        QVERIFY2(!r.crashed, qPrintable(r.err));
        QCOMPARE(r.exit, 2);
        QVERIFY2(r.err.contains("Der Programmordner " + home + "/.local/share/marktvoll kann nicht angelegt werden."),
                 qPrintable(r.err));
        QVERIFY(r.err.contains("MARKTVOLL_HOME"));
        QCOMPARE(readFile(home), QByteArray("keine Ordner hier"));
    }
};

QTEST_GUILESS_MAIN(tst_CliInstalled)
#include "tst_CliInstalled.moc"
