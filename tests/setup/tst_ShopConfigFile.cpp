// config.php: reading, writing, the template update, the database keys,
// and "marktvoll-cli config"; PHP itself reads back what we write.
#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "setup/ShopConfigFile.h"
#include "support/TestEnv.h"
#include "support/TestServers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace mv;
using mv::test::TestEnv;

namespace {

// A config.php as shops have it, in Windows-1252 with CR LF.
const QByteArray kFixture =
    "<?php\r\n"
    "// Shopkonfiguration\r\n"
    "\r\n"
    "$dbhost = \"localhost\"; // Datenbankserver\r\n"
    "$dbname = \"shop\";//ohne Blank\r\n"
    "   $dbuser = \"web\";   \r\n"
    "$dbpass = \"\";\r\n"
    "$shopurl = \"http://www.example.de/shop\"; // Adresse\r\n"
    "$waehrung = \"\xe4\xf6\xfc \x80\"; //W\xe4hrung\r\n"
    "$anzahl = 20; // eine Zahl ohne Anf\xfchrungszeichen\r\n"
    "define('DEBUG', false);\r\n"
    "if (isset($x)) { $y = \"1\"; }\r\n"
    "# Kommentar\r\n"
    "$geheim = \"a\\$b\\\"c\\\\d\";\r\n"
    "?>\r\n";

void write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray read(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString php()
{
    return QStandardPaths::findExecutable(QStringLiteral("php"));
}

} // namespace

class ShopConfigFileTest : public QObject {
    Q_OBJECT
    RecordingUiHooks ui;

private slots:
    void init()
    {
        ui = RecordingUiHooks();
        SetUiHooks(&ui);
    }
    void cleanup() { SetUiHooks(nullptr); }

    void parseLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("remark");
        QTest::addColumn<bool>("raw");
        QTest::newRow("assignment with remark") << "$dbhost = \"localhost\"; // Server" << "$dbhost" << "localhost" << "Server" << false;
        QTest::newRow("no blanks") << "$a=\"x\";//r" << "$a" << "x" << "r" << false;
        QTest::newRow("url kept") << "$u = \"http://a.de/x\"; // Adresse" << "$u" << "http://a.de/x" << "Adresse" << false;
        QTest::newRow("url without remark") << "$u = \"ftp://a.de\";" << "$u" << "ftp://a.de" << "" << false;
        QTest::newRow("remark only") << "//  Bemerkung " << "" << "" << "Bemerkung" << false;
        QTest::newRow("opening") << "<?php" << "<?php" << "" << "" << false;
        QTest::newRow("closing") << "?>" << "?>" << "" << "" << false;
        QTest::newRow("empty") << "" << "" << "" << "" << false;
        QTest::newRow("escaped value") << "$p = \"a\\$b\\\"c\\\\d\";" << "$p" << "a$b\"c\\d" << "" << false;
        QTest::newRow("number is kept as code") << "$n = 20;" << "$n = 20;" << "" << "" << true;
        QTest::newRow("php code") << "define('X', 1);" << "define('X', 1);" << "" << "" << true;
        QTest::newRow("hash comment") << "# alt" << "# alt" << "" << "" << true;
    }
    void parseLine()
    {
        QFETCH(QString, line);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, remark);
        QFETCH(bool, raw);
        const ConfigRow r = ShopConfigFile::ParseLine(line);
        QCOMPARE(r.key, key);
        QCOMPARE(r.value, value);
        QCOMPARE(r.remark, remark);
        QCOMPARE(r.raw, raw);
        QCOMPARE(ShopConfigFile::LineOf(r), line); // unchanged = byte for byte
    }

    void roundTripIsByteExact()
    {
        TestEnv env;
        const QString path = ShopConfigFile::PhpPath();
        write(path, kFixture);
        QVector<ConfigRow> rows;
        QVERIFY(ShopConfigFile::Read(path, rows));
        QCOMPARE(rows.size(), 15);
        QCOMPARE(rows.at(8).value, QString::fromUtf8("äöü €"));
        QCOMPARE(rows.at(8).remark, QString::fromUtf8("Währung"));
        QVERIFY(ShopConfigFile::Write(path, rows));
        QCOMPARE(read(path), kFixture);
    }

    void editedRowsAreRewritten_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("remark");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("value, remark without blank") << 3 << " db.example.de " << "Datenbankserver"
                                                     << QByteArray("$dbhost = \"db.example.de\"; //Datenbankserver");
        QTest::newRow("remark only line") << 1 << "" << "Neu " << QByteArray("//Neu");
        QTest::newRow("url with remark keeps both") << 7 << "https://shop.de" << "Adresse"
                                                    << QByteArray("$shopurl = \"https://shop.de\"; //Adresse");
        QTest::newRow("umlauts in cp1252") << 8 << QString::fromUtf8("Schweizer Fränkli") << ""
                                           << QByteArray("$waehrung = \"Schweizer Fr\xe4nkli\";");
        QTest::newRow("hostile value escaped") << 6 << "p$w\"x\\y;?>" << ""
                                               << QByteArray("$dbpass = \"p\\$w\\\"x\\\\y;?>\";");
    }
    void editedRowsAreRewritten()
    {
        QFETCH(int, row);
        QFETCH(QString, value);
        QFETCH(QString, remark);
        QFETCH(QByteArray, line);
        TestEnv env;
        const QString path = ShopConfigFile::PhpPath();
        write(path, kFixture);
        QVector<ConfigRow> rows;
        QVERIFY(ShopConfigFile::Read(path, rows));
        rows[row].value = value;
        rows[row].remark = remark;
        QVERIFY(ShopConfigFile::Write(path, rows));
        QList<QByteArray> lines = read(path).split('\n');
        QCOMPARE(lines.at(row), line + '\r');
        // every other line untouched
        const QList<QByteArray> before = kFixture.split('\n');
        for (int i = 0; i < before.size(); ++i)
            if (i != row)
                QCOMPARE(lines.at(i), before.at(i));
        QVector<ConfigRow> again;
        QVERIFY(ShopConfigFile::Read(path, again));
        if (!value.isEmpty())
            QCOMPARE(again.at(row).value, value.trimmed());
    }

    void refusesWhatCannotBeWritten()
    {
        TestEnv env;
        const QString path = ShopConfigFile::PhpPath();
        write(path, kFixture);
        QVector<ConfigRow> rows;
        QVERIFY(ShopConfigFile::Read(path, rows));
        rows[3].value = QStringLiteral("a\r\n$evil = \"1\";");
        QString error;
        QVERIFY(!ShopConfigFile::Write(path, rows, &error));
        QVERIFY(error.contains(QStringLiteral("Zeilenumbruch")));
        rows[3].value = QString::fromUtf8("日本");
        QVERIFY(!ShopConfigFile::Write(path, rows, &error));
        QVERIFY(error.contains(QStringLiteral("Windows-1252")));
        QCOMPARE(read(path), kFixture);
    }

    // "//" ends at a line break and at "?>": a remark holding either would
    // end the comment or the PHP block, and its rest would go out on every
    // page of the shop. Refused, for remarks behind a value and alone.
    void remarksCannotEndThePhpBlock_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("remark");
        QTest::addColumn<QString>("message");
        QTest::newRow("?> behind a value") << 3 << "Server ?> <script>alert(1)</script>" << "?>";
        QTest::newRow("?> alone") << 1 << "?>Text" << "?>";
        QTest::newRow("line break behind a value") << 4 << "a\n$dbpass = \"x\";" << "Zeilenumbruch";
        QTest::newRow("carriage return alone") << 1 << "a\rb" << "Zeilenumbruch";
    }
    void remarksCannotEndThePhpBlock()
    {
        QFETCH(int, row);
        QFETCH(QString, remark);
        QFETCH(QString, message);
        TestEnv env;
        const QString path = ShopConfigFile::PhpPath();
        write(path, kFixture);
        QVector<ConfigRow> rows;
        QVERIFY(ShopConfigFile::Read(path, rows));
        rows[row].remark = remark;
        QString error;
        QVERIFY(!ShopConfigFile::Write(path, rows, &error));
        QVERIFY2(error.contains(message) && error.contains(QStringLiteral("Bemerkung")), qPrintable(error));
        QCOMPARE(read(path), kFixture);
        // "?" and ">" apart are plain text.
        rows[row].remark = QStringLiteral("Frage? Pfeil ->");
        QVERIFY2(ShopConfigFile::Write(path, rows, &error), qPrintable(error));
        QVERIFY(ShopConfigFile::Read(path, rows));
        QCOMPARE(rows[row].remark, QStringLiteral("Frage? Pfeil ->"));
    }

    // Whatever is written reads back as the same assignment and can be
    // changed again, however long the value and however many characters
    // need escaping.
    void longValuesReadAndChangeAgain_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("25,000 letters") << QString(25000, QLatin1Char('x'));
        QTest::newRow("25,000 escaped") << QStringLiteral("$\"\\").repeated(8334);
        QTest::newRow("87,500 mixed") << QString::fromUtf8("ä$ b\\\"{").repeated(12500);
    }
    void longValuesReadAndChangeAgain()
    {
        QFETCH(QString, value);
        TestEnv env;
        const QString path = ShopConfigFile::PhpPath();
        write(path, kFixture);
        QVector<ConfigRow> rows;
        QVERIFY(ShopConfigFile::Read(path, rows));
        QVERIFY(ShopConfigFile::SetValue(rows, QStringLiteral("$dbhost"), value));
        QString error;
        QVERIFY2(ShopConfigFile::Write(path, rows, &error), qPrintable(error));
        QVERIFY(ShopConfigFile::Read(path, rows));
        QVERIFY(rows[3].assignment);
        QCOMPARE(rows[3].key, QStringLiteral("$dbhost"));
        QCOMPARE(rows[3].value, value);
        QCOMPARE(rows[3].remark, QStringLiteral("Datenbankserver"));
        QVERIFY(ShopConfigFile::SetValue(rows, QStringLiteral("$dbhost"), QStringLiteral("wieder kurz")));
        QVERIFY2(ShopConfigFile::Write(path, rows, &error), qPrintable(error));
        QByteArray expected = kFixture;
        expected.replace("$dbhost = \"localhost\"; // Datenbankserver", "$dbhost = \"wieder kurz\"; //Datenbankserver");
        QCOMPARE(read(path), expected);
    }

    void phpReadsOurValues()
    {
        if (php().isEmpty()) {
            if (mv::test::isCi())
                QFAIL("php not found");
            QSKIP("php not found");
        }
        TestEnv env;
        write(ShopConfigFile::PhpPath(), kFixture);
        const QString hostile = QStringLiteral("x$dbhost\"'\\{${a}}\\n;?>");
        QCOMPARE(ShopConfigFile::WriteDbKeys(QStringLiteral(" db:3306 "), QStringLiteral("shop"), QStringLiteral("u"),
                                             hostile),
                 ShopConfigFile::DbKeysResult::Written);
        QProcess p;
        p.start(php(), {QStringLiteral("-d"), QStringLiteral("display_errors=stderr"), QStringLiteral("-r"),
                        QStringLiteral("include $argv[1]; echo $dbhost, '|', $dbpass, '|', $geheim, '|', $waehrung;"),
                        ShopConfigFile::PhpPath()});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(QString::fromUtf8(p.readAllStandardError()), QString());
        QCOMPARE(p.readAllStandardOutput(), QByteArray("db:3306|") + hostile.toLatin1() + "|a$b\"c\\d|\xe4\xf6\xfc \x80");
    }

    void dbKeys()
    {
        TestEnv env;
        Settings().AssiSteps[1][2] = 1;
        QByteArray fixture = kFixture;
        fixture.replace("$dbpass = \"\";\r\n", "");
        fixture.replace("// Shopkonfiguration", "// $dbhost = \"nicht dies\"");
        write(ShopConfigFile::PhpPath(), fixture);
        QCOMPARE(ShopConfigFile::WriteDbKeys("h", "d", "u", "p"), ShopConfigFile::DbKeysResult::Written);
        const QList<QByteArray> lines = read(ShopConfigFile::PhpPath()).split('\n');
        QCOMPARE(lines.at(1), QByteArray("// $dbhost = \"nicht dies\"\r"));
        QCOMPARE(lines.at(3), QByteArray("$dbhost = \"h\";\r"));
        QCOMPARE(lines.at(4), QByteArray("$dbname = \"d\";\r"));
        QCOMPARE(lines.at(5), QByteArray("$dbuser = \"u\";\r"));
        QVERIFY(!read(ShopConfigFile::PhpPath()).contains("$dbpass"));
        QCOMPARE(Settings().AssiSteps[1][2], 0);
        QFile::remove(ShopConfigFile::PhpPath());
        QCOMPARE(ShopConfigFile::WriteDbKeys("h", "d", "u", "p"), ShopConfigFile::DbKeysResult::NoFile);
    }

    void templateUpdate()
    {
        TestEnv env;
        Settings().AssiSteps[1][2] = 1;
        write(ShopConfigFile::PhpPath(), "<?php\r\n$dbhost = \"mein.server\"; //alt\r\n$DBNAME = \"gross\";\r\n"
                                         "$alt = \"weg\";\r\n$dbpass = \"a\\$b\";\r\n?>\r\n");
        write(ShopConfigFile::TemplatePath(), "<?php\r\n// Neu\r\n$dbname = \"\"; // Name\r\n"
                                              "$dbhost = \"localhost\"; // Server\r\n$dbpass = \"\";\r\n"
                                              "$neu = \"1\"; // neu\r\n?>\r\n");
        QVERIFY(ShopConfigFile::TemplateUpdate());
        QVERIFY(!QFileInfo::exists(ShopConfigFile::TemplatePath()));
        QCOMPARE(read(ShopConfigFile::PhpPath()),
                 QByteArray("<?php\r\n// Neu\r\n$dbname = \"\"; // Name\r\n$dbhost = \"mein.server\"; //Server\r\n"
                            "$dbpass = \"a\\$b\";\r\n$neu = \"1\"; // neu\r\n?>\r\n"));
        QCOMPARE(Settings().AssiSteps[1][2], 0);
        // Nothing to do without a template.
        QVERIFY(!ShopConfigFile::TemplateUpdate());
    }

    void templateWithoutConfigBecomesIt()
    {
        TestEnv env;
        const QByteArray up = "<?php\r\n$a = \"1\";  //  r \r\n?>\r\n";
        write(ShopConfigFile::TemplatePath(), up);
        QVERIFY(ShopConfigFile::TemplateUpdate());
        QCOMPARE(read(ShopConfigFile::PhpPath()), up);
        QVERIFY(!QFileInfo::exists(ShopConfigFile::TemplatePath()));
    }

    void cli()
    {
        TestEnv env;
        write(ShopConfigFile::PhpPath(), kFixture);
        auto run = [&](const QStringList &args, QString *out = nullptr) {
            QProcess p;
            QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
            e.insert(QStringLiteral("MARKTVOLL_HOME"), env.path());
            p.setProcessEnvironment(e);
            p.start(TestEnv::binaryDir() + QStringLiteral("/marktvoll-cli"), args);
            p.waitForFinished(30000);
            if (out)
                *out = QString::fromUtf8(p.readAllStandardOutput());
            return p.exitCode();
        };
        QString out;
        QCOMPARE(run({"config", "set", "$dbpass", "ge$heim\""}), 0);
        QCOMPARE(run({"config", "show"}, &out), 0);
        QVERIFY(out.contains(QStringLiteral("$dbpass=********\n")));
        QVERIFY(out.contains(QString::fromUtf8("$waehrung=äöü €\t// Währung\n")));
        QCOMPARE(run({"config", "show", "--show-passwords"}, &out), 0);
        QVERIFY(out.contains(QStringLiteral("$dbpass=ge$heim\"\n")));
        QCOMPARE(run({"config", "set", "$fehlt", "x"}), 2);
        write(ShopConfigFile::TemplatePath(), "<?php\r\n$dbpass = \"\"; //neu\r\n?>\r\n");
        QCOMPARE(run({"config", "update"}), 0);
        QCOMPARE(read(ShopConfigFile::PhpPath()), QByteArray("<?php\r\n$dbpass = \"ge\\$heim\\\"\"; //neu\r\n?>\r\n"));
        QCOMPARE(run({"config"}), 2);
    }
};

QTEST_GUILESS_MAIN(ShopConfigFileTest)
#include "tst_ShopConfigFile.moc"
