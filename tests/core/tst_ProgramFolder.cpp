// Which folder becomes the program folder, and how the user's own folder of
// an installed program gets and keeps its templates.

#include "core/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace mv;

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<fehlt>");
}

// A fake installation: prefix/bin (program) and prefix/share/marktvoll.
struct Install {
    QTemporaryDir root;
    QString prefix() const { return root.path() + "/usr"; }
    QString bin() const { return prefix() + "/bin"; }
    QString share() const { return prefix() + "/share/marktvoll"; }
    QString home() const { return root.path() + "/home"; }
    Install()
    {
        QDir().mkpath(bin());
        writeFile(share() + "/shop/config/config.up", "<?php $shopname = 'Vorlage'; ?>\r\n");
        writeFile(share() + "/shop/module/db_check/db_check.php", "<?php // v1\n");
        writeFile(share() + "/db/install.sql", "CREATE TABLE t (a INT);\n");
        writeFile(share() + "/wawi/WaWiIndexe.txt", "Artikel.DB\n");
        QDir().mkpath(share() + "/shop/abilder");
        QDir().mkpath(home());
    }
};

} // namespace

class tst_ProgramFolder : public QObject {
    Q_OBJECT
private slots:
    void choice_data();
    void choice();
    void firstStartCopiesTemplates();
    void laterVersionAddsAndKeeps();
    void unchangedTemplatesCostNothing();
    void unusableFolder_data();
    void unusableFolder();
};

void tst_ProgramFolder::choice_data()
{
    QTest::addColumn<QString>("layout");      // "build", "installed", "readonly"
    QTest::addColumn<QString>("homeEnv");
    QTest::addColumn<QString>("xdg");         // below the temp root; "rel:" = as given
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("expected");    // relative to the temp root; "" = program folder
    QTest::addColumn<bool>("templates");

    // A build tree: db/, shop/ beside the program, writable.
    QTest::newRow("build tree") << "build" << "" << "" << int(ProgramFolderKind::ProgramDir) << "" << false;
    QTest::newRow("build tree, MARKTVOLL_HOME") << "build" << "eigen" << "" << int(ProgramFolderKind::Environment)
                                                << "eigen/" << false;
    // Installed: writable /usr/bin (root) still is no place for settings.
    QTest::newRow("installed") << "installed" << "" << "" << int(ProgramFolderKind::UserFolder)
                               << "home/.local/share/marktvoll/" << true;
    QTest::newRow("installed, XDG_DATA_HOME") << "installed" << "" << "xdg" << int(ProgramFolderKind::UserFolder)
                                              << "xdg/marktvoll/" << true;
    QTest::newRow("installed, relative XDG_DATA_HOME ignored")
        << "installed" << "" << "rel:relativ/daten" << int(ProgramFolderKind::UserFolder) << "home/.local/share/marktvoll/"
        << true;
    QTest::newRow("installed, MARKTVOLL_HOME") << "installed" << "eigen" << "xdg" << int(ProgramFolderKind::Environment)
                                               << "eigen/" << false;
}

void tst_ProgramFolder::choice()
{
    QFETCH(QString, layout);
    QFETCH(QString, homeEnv);
    QFETCH(QString, xdg);
    QFETCH(int, kind);
    QFETCH(QString, expected);
    QFETCH(bool, templates);

    Install inst;
    const QString root = inst.root.path() + "/";
    ProgramFolderInputs in;
    in.home = inst.home();
    if (layout == "build") {
        in.programDir = root + "build";
        QDir().mkpath(in.programDir + "/shop");
        QDir().mkpath(in.programDir + "/db");
    } else {
        in.programDir = inst.bin();
    }
    if (!homeEnv.isEmpty())
        in.homeEnv = root + homeEnv;
    if (!xdg.isEmpty())
        in.xdgDataHome = xdg.startsWith("rel:") ? xdg.mid(4) : root + xdg;
    const ProgramFolderChoice c = ChooseProgramFolder(in);
    QCOMPARE(int(c.kind), kind);
    QCOMPARE(c.path, expected.isEmpty() ? in.programDir + "/" : root + expected);
    QCOMPARE(c.templateDir, templates ? QDir::cleanPath(inst.share()) : QString());
}

void tst_ProgramFolder::firstStartCopiesTemplates()
{
    Install inst;
    const QString folder = inst.home() + "/.local/share/marktvoll";
    const TemplateSyncResult r = SyncTemplates(inst.share(), folder);
    QVERIFY2(r.ok, qPrintable(r.error));
    QVERIFY(r.created);
    QVERIFY(r.added.isEmpty());   // the first start says "angelegt", not a list
    QVERIFY(r.Summary(folder).contains("wurde angelegt"));
    for (const char *rel : {"shop/config/config.up", "shop/module/db_check/db_check.php", "db/install.sql",
                            "wawi/WaWiIndexe.txt"})
        QCOMPARE(readFile(folder + "/" + rel), readFile(inst.share() + "/" + rel));
    QVERIFY(QFileInfo(folder + "/shop/abilder").isDir());
    // The copy is the user's to change, whatever the template's mode.
    QFile::setPermissions(inst.share() + "/db/install.sql", QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    QTemporaryDir other;
    QVERIFY(SyncTemplates(inst.share(), other.path() + "/neu").ok);
    QVERIFY(QFile::permissions(other.path() + "/neu/db/install.sql") & QFile::WriteOwner);
}

// A later version: new files come, copies the user never touched follow the
// template, the user's changes and config.php stay byte for byte.
void tst_ProgramFolder::laterVersionAddsAndKeeps()
{
    Install inst;
    writeFile(inst.share() + "/shop/config/config.php", "<?php $dbhost = ''; ?>\r\n");
    const QString folder = inst.home() + "/.local/share/marktvoll";
    QVERIFY(SyncTemplates(inst.share(), folder).ok);

    // The user's doing between the versions: config.php with umlauts and
    // CR LF as the program writes it, an edited script, config.up consumed.
    const QByteArray userConfig = "<?php\r\n$dbhost = 'db.example.de';\r\n$shopname = 'M\xfc" "ller & S\xf6hne';\r\n?>\r\n";
    writeFile(folder + "/shop/config/config.php", userConfig);
    writeFile(folder + "/db/install.sql", "-- meine Änderung\n");
    QVERIFY(QFile::remove(folder + "/shop/config/config.up"));
    // Not part of the templates at all: never looked at.
    writeFile(folder + "/ShopMod.ini", "[Allgemeine_Einstellung]\r\n");

    // The new version's templates.
    writeFile(inst.share() + "/shop/config/config.php", "<?php $dbhost = 'neu'; ?>\r\n");
    writeFile(inst.share() + "/db/install.sql", "CREATE TABLE t (a INT, b INT);\n");
    writeFile(inst.share() + "/shop/module/db_check/db_check.php", "<?php // v2\n");
    writeFile(inst.share() + "/db/update_8.sql", "ALTER TABLE t ADD c INT;\n");
    writeFile(inst.share() + "/shop/config/config.up", "<?php $shopname = 'Vorlage 2'; $neu = 1; ?>\r\n");

    const TemplateSyncResult r = SyncTemplates(inst.share(), folder);
    QVERIFY2(r.ok, qPrintable(r.error));
    QVERIFY(!r.created);
    QCOMPARE(readFile(folder + "/shop/config/config.php"), userConfig);
    QCOMPARE(readFile(folder + "/db/install.sql"), QByteArray("-- meine Änderung\n"));
    QCOMPARE(readFile(folder + "/shop/module/db_check/db_check.php"), QByteArray("<?php // v2\n"));
    QCOMPARE(readFile(folder + "/db/update_8.sql"), QByteArray("ALTER TABLE t ADD c INT;\n"));
    // A new config template comes back so the program merges it into config.php.
    QCOMPARE(readFile(folder + "/shop/config/config.up"), readFile(inst.share() + "/shop/config/config.up"));
    QCOMPARE(readFile(folder + "/ShopMod.ini"), QByteArray("[Allgemeine_Einstellung]\r\n"));

    QCOMPARE(r.added, QStringList({"db/update_8.sql", "shop/config/config.up"}));
    QCOMPARE(r.updated, QStringList({"shop/module/db_check/db_check.php"}));
    QCOMPARE(r.kept, QStringList({"db/install.sql", "shop/config/config.php"}));
    const QString text = r.Summary(folder);
    QVERIFY2(text.contains("Neue Vorlagen") && text.contains("db/update_8.sql") && text.contains("behalten"),
             qPrintable(text));

    // Removed by the user and unchanged in the template: stays removed.
    QVERIFY(QFile::remove(folder + "/db/update_8.sql"));
    writeFile(inst.share() + "/wawi/WaWiIndexe.txt", "Artikel.DB\nAdressen.DB\n");
    const TemplateSyncResult again = SyncTemplates(inst.share(), folder);
    QVERIFY(again.ok);
    QVERIFY(!QFile::exists(folder + "/db/update_8.sql"));
    QCOMPARE(again.updated, QStringList({"wawi/WaWiIndexe.txt"}));
    QVERIFY(again.added.isEmpty() && again.kept.isEmpty());
    QCOMPARE(readFile(folder + "/shop/config/config.php"), userConfig);
}

void tst_ProgramFolder::unchangedTemplatesCostNothing()
{
    Install inst;
    const QString folder = inst.home() + "/pf";
    QVERIFY(SyncTemplates(inst.share(), folder).ok);
    writeFile(folder + "/db/install.sql", "-- geändert\n");
    const TemplateSyncResult r = SyncTemplates(inst.share(), folder);
    QVERIFY(r.ok);
    QVERIFY(r.Summary(folder).isEmpty());
    QCOMPARE(readFile(folder + "/db/install.sql"), QByteArray("-- geändert\n"));
}

void tst_ProgramFolder::unusableFolder_data()
{
    QTest::addColumn<QString>("how");
    // Below a plain file no folder can be made, not even by root.
    QTest::newRow("parent is a file") << "parent-file";
    QTest::newRow("folder is a file") << "folder-file";
}

void tst_ProgramFolder::unusableFolder()
{
    QFETCH(QString, how);
    Install inst;
    writeFile(inst.home() + "/datei", "x");
    const QString folder = how == "parent-file" ? inst.home() + "/datei/marktvoll" : inst.home() + "/datei";
    const TemplateSyncResult r = SyncTemplates(inst.share(), folder);
    QVERIFY(!r.ok);
    QVERIFY2(r.error.contains("Programmordner") && r.error.contains("MARKTVOLL_HOME"), qPrintable(r.error));
    QCOMPARE(r.Summary(folder), r.error);
    QCOMPARE(readFile(inst.home() + "/datei"), QByteArray("x"));
}

QTEST_GUILESS_MAIN(tst_ProgramFolder)
#include "tst_ProgramFolder.moc"
