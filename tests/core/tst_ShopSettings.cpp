#include "core/Registry.h"
#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace mv;
using mv::test::TestEnv;

namespace {
QByteArray readFile(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}
void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}
QStringList keysOf(const QByteArray &bytes)
{
    QStringList keys;
    for (const QByteArray &line : bytes.split('\n')) {
        const int eq = line.indexOf('=');
        if (eq > 0)
            keys << QString::fromLatin1(line.left(eq));
    }
    return keys;
}
}

class ShopSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void firstStartWritesAll33KeysInOrder()
    {
        TestEnv env;
        QVERIFY(!QFile::exists(SettingsFilePath()));
        QVERIFY(LoadSettings());
        QCOMPARE(Settings().Assi_Zeige, 1);
        QCOMPARE(Settings().Assi_Frage, 0);
        QCOMPARE(Settings().FTP_Port, QString("21"));
        QCOMPARE(Settings().InspectorBar1, 0);
        QVERIFY(SaveSettings());
        const QByteArray bytes = readFile(SettingsFilePath());
        QVERIFY(bytes.startsWith("[Allgemeine_Einstellung]\r\n"));
        QVERIFY(!bytes.contains("\n\n"));
        const QStringList expected = {
            "Komma1", "VLB_Programm", "Aktiv_Mandant", "SQL_Server", "SQL_HTTP", "SQL_Host", "SQL_User",
            "SQL_Pass", "SQL_Data", "SQL_Global", "SQL_SSL", "FTP_Art", "FTP_Host", "FTP_Username", "FTP_Password",
            "FTP_Port", "FTP_Dir", "FTP_Proxy_Host", "FTP_Proxy_UserName", "FTP_Proxy_Password",
            "FTP_Proxy_Port", "FTP_Proxy_Type", "FTP_TLS", "InspectorBar1", "IB_Ass", "Assi_Frage", "Assi_Zeige",
            "SHOPASSI_0_0", "SHOPASSI_0_1", "SHOPASSI_0_2", "SHOPASSI_0_3", "SHOPASSI_0_4",
            "SHOPASSI_1_0", "SHOPASSI_1_1", "SHOPASSI_1_2"};
        QCOMPARE(keysOf(bytes), expected);
        QVERIFY(bytes.contains("\r\nSQL_Global=\r\n"));
        QVERIFY(bytes.contains("\r\nFTP_Port=21\r\n"));
        QVERIFY(bytes.endsWith("SHOPASSI_1_2=0\r\n"));
#ifdef Q_OS_UNIX
        const auto perms = QFile::permissions(SettingsFilePath());
        QVERIFY(perms.testFlags(QFile::ReadOwner | QFile::WriteOwner));
        QVERIFY(!(perms & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther)));
#endif
        // no temporary file left beside it
        QCOMPARE(QDir(env.path()).entryList(QStringList() << "ShopMod.ini*", QDir::Files).size(), 1);
    }

    // The switch back to one statement per round trip: absent from a file
    // until it is set, then kept (also when set back to 0).
    void oneByOneSwitchWrittenOnceSet()
    {
        TestEnv env;
        QVERIFY(LoadSettings());
        QCOMPARE(Settings().SQL_Einzeln, 0);
        QVERIFY(SaveSettings());
        QVERIFY(!readFile(SettingsFilePath()).contains("SQL_Einzeln"));
        Settings().SQL_Einzeln = 1;
        QVERIFY(SaveSettings());
        QVERIFY(readFile(SettingsFilePath()).contains("\r\nSQL_Einzeln=1\r\n"));
        Settings().SQL_Einzeln = 0;
        QVERIFY(LoadSettings());
        QCOMPARE(Settings().SQL_Einzeln, 1);
        Settings().SQL_Einzeln = 0;
        QVERIFY(SaveSettings());
        QVERIFY(readFile(SettingsFilePath()).contains("\r\nSQL_Einzeln=0\r\n"));
        QVERIFY(LoadSettings());
        QCOMPARE(Settings().SQL_Einzeln, 0);
    }

    void secondCycleIsByteIdenticalAndKeepsUnknownKeys()
    {
        TestEnv env;
        writeFile(SettingsFilePath(),
                  "; Kommentar\r\n[Andere]\r\nx=1\r\n\r\n[Allgemeine_Einstellung]\r\nFremd=bleibt\r\n"
                  "SQL_Host=server\r\nAssi_Zeige=0\r\n\r\n[Noch_eine]\r\ny=2\r\n");
        QVERIFY(LoadSettings());
        QCOMPARE(Settings().SQL_Host, QString("server"));
        QCOMPARE(Settings().Assi_Zeige, 0);
        QVERIFY(SaveSettings());
        const QByteArray first = readFile(SettingsFilePath());
        QVERIFY(first.contains("[Andere]\r\nx=1\r\n"));
        QVERIFY(first.contains("Fremd=bleibt\r\n"));
        QVERIFY(first.contains("[Noch_eine]\r\ny=2\r\n"));
        QVERIFY(first.startsWith("; Kommentar\r\n"));
        // the new keys stay inside their section
        QVERIFY(first.indexOf("SHOPASSI_1_2") < first.indexOf("[Noch_eine]"));
        Settings() = ShopSettings();
        InitPaths();
        QVERIFY(LoadSettings());
        QVERIFY(SaveSettings());
        QCOMPARE(readFile(SettingsFilePath()), first);
    }

    void umlautsRoundTripAsWindows1252()
    {
        TestEnv env;
        Settings().FTP_Dir = QStringLiteral("/shop/Bürobedarf Größe €");
        Settings().SQL_Pass = QStringLiteral("päss=wört");
        QVERIFY(SaveSettings());
        const QByteArray bytes = readFile(SettingsFilePath());
        QVERIFY(bytes.contains("FTP_Dir=/shop/B\xfc" "robedarf Gr\xf6\xdf" "e \x80\r\n"));
        Settings() = ShopSettings();
        InitPaths();
        QVERIFY(LoadSettings());
        QCOMPARE(Settings().FTP_Dir, QStringLiteral("/shop/Bürobedarf Größe €"));
        QCOMPARE(Settings().SQL_Pass, QStringLiteral("päss=wört")); // text after the first "="
    }

    void blankAndMissingValues()
    {
        TestEnv env;
        Settings().SQL_Host = QStringLiteral("vorher");
        writeFile(SettingsFilePath(), "[Allgemeine_Einstellung]\r\nSQL_Host=\r\nSQL_User=   \r\nKomma1=\r\nSQL_Data= db \r\n");
        QVERIFY(LoadSettings());
        QCOMPARE(Settings().SQL_Host, QString("vorher"));
        QCOMPARE(Settings().SQL_User, QString());
        QCOMPARE(Settings().Komma1, 2);
        QCOMPARE(Settings().FTP_Port, QString("21"));
        QCOMPARE(Settings().SQL_Data, QString(" db ")); // untrimmed value
    }

    void nonNumericStopsLoadingAtThatKey()
    {
        TestEnv env;
        writeFile(SettingsFilePath(),
                  "[Allgemeine_Einstellung]\r\nSQL_Host=h\r\nFTP_Art=zwei\r\nFTP_Host=ftp.example\r\nAssi_Zeige=0\r\n");
        QString error;
        QVERIFY(!LoadSettings(&error));
        QVERIFY2(error.contains("FTP_Art") && error.contains("zwei"), qPrintable(error));
        QCOMPARE(Settings().SQL_Host, QString("h"));    // before the bad key
        QCOMPARE(Settings().FTP_Host, QString());       // after it
        QCOMPARE(Settings().Assi_Zeige, 1);
    }

    void badStepValueEndsOnlyTheStepKeys()
    {
        TestEnv env;
        writeFile(SettingsFilePath(),
                  "[Allgemeine_Einstellung]\r\nSHOPASSI_0_0=1\r\nSHOPASSI_0_1=x\r\nSHOPASSI_0_2=1\r\nIB_Ass=1\r\n");
        QVERIFY(LoadSettings());
        QCOMPARE(Settings().AssiSteps[0][0], 1);
        QCOMPARE(Settings().AssiSteps[0][2], 0);
        QCOMPARE(Settings().IB_Ass, 1);
    }

    // A line break would end the entry and start others; a character
    // outside Windows-1252 would come back as '?'. Neither is stored: the
    // file keeps every byte, the message names the key, and a password's
    // characters never appear in it.
    void valuesTheFileCannotHold_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        QTest::newRow("injected key and section")
            << "SQL_Host" << "a\nSQL_Pass=injected\n[x]" << "Zeilenumbruch";
        QTest::newRow("carriage return") << "FTP_Dir" << "/shop\r" << "Zeilenumbruch";
        QTest::newRow("outside the code page") << "FTP_Host" << QString::fromUtf8("Łx😀€")
                                               << QString::fromUtf8("nicht speichern kann: Ł😀");
        QTest::newRow("password outside the code page")
            << "SQL_Pass" << QString::fromUtf8("gehe😀im") << "nicht speichern kann. Bitte";
    }
    void valuesTheFileCannotHold()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, message);
        TestEnv env;
        Settings().SQL_Host = QStringLiteral("server");
        Settings().SQL_Pass = QStringLiteral("geheim");
        Settings().FTP_Host = QStringLiteral("ftp.beispiel.de");
        Settings().FTP_Dir = QStringLiteral("/shop");
        QVERIFY(SaveSettings());
        const QByteArray before = readFile(SettingsFilePath());
        const QString stored = SettingValue(key);

        QString error;
        QVERIFY(!SetSettingValue(key, value, &error));
        QVERIFY2(error.contains(QLatin1Char('"') + key + QLatin1Char('"')) && error.contains(message), qPrintable(error));
        if (IsPasswordKey(key))
            QVERIFY(!error.contains(QString::fromUtf8("😀")));
        QCOMPARE(SettingValue(key), stored);

        // What a window put into the settings: the others are saved, this
        // one keeps what the file holds.
        QVERIFY(SetSettingValue(QStringLiteral("SQL_Data"), QStringLiteral("shopdb")));
        *(key == "SQL_Host" ? &Settings().SQL_Host : key == "SQL_Pass" ? &Settings().SQL_Pass
          : key == "FTP_Host" ? &Settings().FTP_Host : &Settings().FTP_Dir) = value;
        error.clear();
        QVERIFY(!SaveSettings(&error));
        QVERIFY2(error.contains(message), qPrintable(error));
        QByteArray expected = before;
        expected.replace("SQL_Data=\r\n", "SQL_Data=shopdb\r\n");
        QCOMPARE(readFile(SettingsFilePath()), expected);
        Settings() = ShopSettings();
        InitPaths();
        QVERIFY(LoadSettings());
        QCOMPARE(Settings().SQL_Host, QString("server"));
        QCOMPARE(Settings().SQL_Pass, QString("geheim"));
        QCOMPARE(Settings().FTP_Host, QString("ftp.beispiel.de"));
        QCOMPARE(Settings().FTP_Dir, QString("/shop"));
        QCOMPARE(Settings().SQL_Data, QString("shopdb"));
    }

    void listRoutines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("boolResult"); // -1 unchanged
        QTest::newRow("zero") << "E_VK1_Netto=0" << 0;
        QTest::newRow("one") << "E_VK1_Netto=1" << 1;
        QTest::newRow("text") << "E_VK1_Netto=ja" << 1;
        QTest::newRow("empty") << "E_VK1_Netto=" << -1;
        QTest::newRow("missing") << "Anders=1" << -1;
        QTest::newRow("zero with blank") << "E_VK1_Netto= 0" << 1;
    }
    void listRoutines()
    {
        QFETCH(QString, line);
        QFETCH(int, boolResult);
        for (bool start : {false, true}) {
            bool b = start;
            IniBool(QStringList() << "x=y" << line, "E_VK1_Netto", b);
            QCOMPARE(b, boolResult < 0 ? start : bool(boolResult));
        }
    }

    void registryRoutines()
    {
        TestEnv env;
        Settings().RegPath = QStringLiteral("Software\\VLB-Software\\Zweigwart");
        QCOMPARE(RegReadSetting("Programm", "Nummer"), QString());
        QCOMPARE(RegReadSettingDef("Programm", "Nummer", "3"), QString("3"));
        QVERIFY(RegWriteSetting("Programm", "Nummer", "5"));
        QCOMPARE(RegReadSettingDef("Programm", "Nummer", "3"), QString("5"));
        QCOMPARE(RegReadValue("software\\vlb-software\\ZWEIGWART\\Einstellungen\\Programm", "nummer"), QString("5"));
        QVERIFY(RegWriteBool("Artikel", "Baum", true));
        QCOMPARE(RegReadBool("Artikel", "Baum", 7), 1);
        QVERIFY(RegWriteSetting("Artikel", "Baum", "2"));
        QCOMPARE(RegReadBool("Artikel", "Baum", 7), 7);
        QVERIFY(RegWriteSetting("Artikel", "Baum", "   "));
        QCOMPARE(RegReadBool("Artikel", "Baum", 7), 7);
        QVERIFY(RegWriteSetting("Artikel", "Text", "Grüße \"zitiert\" \\ Pfad"));
        QCOMPARE(RegReadSetting("Artikel", "Text"), QString("Grüße \"zitiert\" \\ Pfad"));
        QVERIFY(RegKeyExists("Software\\VLB-Software\\Zweigwart"));
        QVERIFY(!RegKeyExists("Software\\VLB-Software\\Zweig"));
    }

    void folders()
    {
        TestEnv env;
        const ShopSettings &s = Settings();
        QCOMPARE(s.ExeDir, QDir(env.path()).absolutePath() + "/");
        QVERIFY(s.TempDir.endsWith("/ShopMod/"));
        QVERIFY(QDir(s.TempDir).exists());
        QCOMPARE(s.ShopDir, s.ExeDir + "shop/");
        QCOMPARE(s.PictureDir, s.ExeDir + "shop/abilder/");
        QCOMPARE(s.PictureSubdir, QString("abilder/"));
        QCOMPARE(s.LimitClause, QString("LIMIT 0,30"));
        QCOMPARE(s.RangeLow, QChar(0));
        QCOMPARE(s.RangeHigh, QChar(127));
    }
};

QTEST_GUILESS_MAIN(ShopSettingsTest)
#include "tst_ShopSettings.moc"
