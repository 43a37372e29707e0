// The record writer's text and value rules, picture collection and the
// cleanup of the picture folder: offline, no servers.
#include "core/ShopSettings.h"
#include "transfer/PictureCleanup.h"
#include "transfer/RecordWriter.h"
#include "transfer/ShopVersionCheck.h"
#include "transfer/TransferRun.h"
#include "transfer/TransferStep.h"
#include "support/TestEnv.h"

#include <QtTest>

using namespace mv;
using namespace mv::test;

class tst_RecordWriter : public QObject {
    Q_OBJECT
private slots:
    void sqlText_data();
    void sqlText();
    void sqlValue_data();
    void sqlValue();
    void keyCondition_data();
    void keyCondition();
    void booleanLiteral_data();
    void booleanLiteral();
    void columnKinds();
    void writingStatements_data();
    void writingStatements();
    void collectPicture();
    void deleteFilesExcept();
    void pictureFolderGuard_data();
    void pictureFolderGuard();
    void updateLadder_data();
    void updateLadder();
    void reportExitCodes();
    void reportExplainsItsCounts();
};

void tst_RecordWriter::sqlText_data()
{
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::newRow("apostrophe doubled") << "O'Neil's" << "O''Neil''s";
    QTest::newRow("two lines get <br>") << "Zeile 1\r\nZeile 2" << "Zeile 1<br>Zeile 2";
    QTest::newRow("own <BR> keeps line breaks") << "a<Br>\r\nb" << "a<Br>\r\nb";
    QTest::newRow("lone LF stays") << "a\nb" << "a\nb";
    QTest::newRow("double quote outside section") << "18\" Zoll" << "18'''' Zoll";
    QTest::newRow("marked section keeps its breaks")
        << "vor\r\nher<HTML><b>1\r\n2</b></HTML>nach\r\nher" << "vor<br>her<b>1\r\n2</b>nach<br>her";
    QTest::newRow("quotes inside section") << "<html>a'b\"c" << "a''b''c";
    QTest::newRow("apostrophe after section doubled once") << "<HTML>x</HTML>y'z" << "xy''z";
    QTest::newRow("two sections") << "a\r\n<HTML>b\r\n</HTML>c\r\n<HTML>d\r\n</HTML>e" << "a<br>b\r\nc<br>d\r\ne";
    QTest::newRow("backslashes unchanged") << "C:\\Bilder\\ 'x'\\" << "C:\\Bilder\\ ''x''\\";
    QTest::newRow("umlauts, # and & unchanged") << "Grüße #1 & ß" << "Grüße #1 & ß";
    QTest::newRow("empty") << "" << "";
}

void tst_RecordWriter::sqlText()
{
    QFETCH(QString, in);
    QFETCH(QString, out);
    QCOMPARE(SqlText(in), out);
}

void tst_RecordWriter::sqlValue_data()
{
    QTest::addColumn<bool>("numeric");
    QTest::addColumn<QString>("v");
    QTest::addColumn<QString>("value");
    QTest::newRow("text") << false << "abc" << "'abc'";
    QTest::newRow("empty text is NULL") << false << "" << "NULL";
    QTest::newRow("blank text stays text") << false << "  " << "'  '";
    QTest::newRow("decimal comma") << true << "3,5" << "3.5";
    QTest::newRow("negative with exponent") << true << "-1,5E3" << "-1.5E3";
    QTest::newRow("empty number is NULL") << true << "" << "NULL";
    QTest::newRow("blank number is NULL") << true << "   " << "NULL";
    QTest::newRow("boolean word") << true << "True" << "True";
    QTest::newRow("text in a number column is quoted") << true << "abc" << "'abc'";
    QTest::newRow("no statement through a number column") << true << "1); DROP TABLE x; --" << "'1); DROP TABLE x; --'";
    QTest::newRow("apostrophe in a number column") << true << "1'2" << "'1''2'";
}

void tst_RecordWriter::sqlValue()
{
    QFETCH(bool, numeric);
    QFETCH(QString, v);
    QFETCH(QString, value);
    const ColumnKind kind = numeric ? ColumnKind::Numeric : ColumnKind::Text;
    QCOMPARE(SqlValue(kind, v), value);
    QCOMPARE(SqlAssignment(QStringLiteral("c"), kind, v), QStringLiteral("c=") + value);
}

void tst_RecordWriter::keyCondition_data()
{
    QTest::addColumn<bool>("numeric");
    QTest::addColumn<QString>("v");
    QTest::addColumn<QString>("condition");
    QTest::newRow("apostrophe in a text key") << false << "Côte d'Ivoire" << "k='Côte d''Ivoire'";
    QTest::newRow("text key converted like the stored value") << false << "a\r\nb\"" << "k='a<br>b'''''";
    QTest::newRow("numeric key as number") << true << "1,5" << "k=1.5";
    QTest::newRow("empty text key") << false << "" << "k IS NULL";
    QTest::newRow("empty numeric key") << true << " " << "k IS NULL";
}

void tst_RecordWriter::keyCondition()
{
    QFETCH(bool, numeric);
    QFETCH(QString, v);
    QFETCH(QString, condition);
    QCOMPARE(SqlKeyCondition(QStringLiteral("k"), numeric ? ColumnKind::Numeric : ColumnKind::Text, v), condition);
}

void tst_RecordWriter::booleanLiteral_data()
{
    QTest::addColumn<QString>("v");
    QTest::addColumn<QString>("numeric");
    QTest::addColumn<QString>("text");
    QTest::newRow("TRUE") << "True" << "1" << "TRUE";
    QTest::newRow("wahr") << "wahr" << "1" << "TRUE";
    QTest::newRow("1") << "1" << "1" << "TRUE";
    QTest::newRow("Ja") << "Ja" << "1" << "TRUE";
    QTest::newRow("yes") << "yes" << "1" << "TRUE";
    QTest::newRow("False") << "False" << "0" << "FALSE";
    QTest::newRow("empty") << "" << "0" << "FALSE";
    QTest::newRow("2 is not true") << "2" << "0" << "FALSE";
    QTest::newRow("blank around is not trimmed") << " ja" << "0" << "FALSE";
}

void tst_RecordWriter::booleanLiteral()
{
    QFETCH(QString, v);
    QFETCH(QString, numeric);
    QFETCH(QString, text);
    QCOMPARE(BooleanLiteral(ColumnKind::Numeric, v), numeric);
    QCOMPARE(BooleanLiteral(ColumnKind::Text, v), text);
}

void tst_RecordWriter::columnKinds()
{
    const QList<FieldType> numeric = {FieldType::SmallInt, FieldType::Integer, FieldType::Word,
                                      FieldType::Boolean, FieldType::Float, FieldType::AutoInc};
    const QList<FieldType> text = {FieldType::String, FieldType::Memo, FieldType::Date, FieldType::DateTime,
                                   FieldType::Currency, FieldType::BCD, FieldType::LargeInt, FieldType::Time};
    for (FieldType t : numeric)
        QVERIFY2(KindOfFieldType(t) == ColumnKind::Numeric, qPrintable(FieldTypeName(t)));
    for (FieldType t : text)
        QVERIFY2(KindOfFieldType(t) == ColumnKind::Text, qPrintable(FieldTypeName(t)));
}

void tst_RecordWriter::writingStatements_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("writing");
    QTest::newRow("select") << "SELECT * FROM x" << false;
    QTest::newRow("select in parentheses") << "  (select 1)" << false;
    QTest::newRow("show") << "SHOW TABLES" << false;
    QTest::newRow("insert") << "insert into x values (1)" << true;
    QTest::newRow("update") << "UPDATE x SET a=1" << true;
    QTest::newRow("delete") << "DELETE FROM x" << true;
    QTest::newRow("alter") << "ALTER TABLE x ADD y INT" << true;
    QTest::newRow("script comment line") << "# nur ein Kommentar" << true;
    QTest::newRow("replace") << "REPLACE INTO x VALUES (1)" << true;
}

void tst_RecordWriter::writingStatements()
{
    QFETCH(QString, sql);
    QFETCH(bool, writing);
    QCOMPARE(TransferContext::IsWritingStatement(sql), writing);
}

static void touch(const QString &path, const QByteArray &content = "x")
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

void tst_RecordWriter::collectPicture()
{
    TestEnv env;
    ShopSettings &s = Settings();
    s.WaWiDir = env.file(QStringLiteral("wawi/"));
    touch(env.file(QStringLiteral("bilder/Rote Schuhe.JPG")));
    touch(env.file(QStringLiteral("wawi/nur_wawi.png")));
    touch(env.file(QStringLiteral("vorlagen/Größe #2.gif")));
    touch(env.file(QStringLiteral("anderswo/rot blau.jpg")));
    touch(env.file(QStringLiteral("zweiter/Rot_Blau.JPG")));
    PictureList().clear();

    // Windows-style reference relative to the program folder.
    QCOMPARE(CollectPicture(QStringLiteral("bilder\\Rote Schuhe.JPG")), QStringLiteral("abilder/rote_schuhe.jpg"));
    QCOMPARE(CollectPicture(QStringLiteral("bilder/Rote Schuhe.JPG")), QStringLiteral("abilder/rote_schuhe.jpg"));
    QCOMPARE(PictureList().size(), 1);   // the same file once
    QCOMPARE(CollectPicture(QStringLiteral(" hTTp://example.org/a.jpg ")), QStringLiteral("hTTp://example.org/a.jpg"));
    QCOMPARE(PictureList().size(), 1);   // web addresses are not collected
    QCOMPARE(CollectPicture(QStringLiteral("fehlt.jpg")), QString());
    QCOMPARE(CollectPicture(QString()), QString());
    QCOMPARE(ResolveLocalFile(QStringLiteral("bilder")), QString());   // a folder is no picture

    QCOMPARE(CollectPicture(QStringLiteral("nur_wawi.png")), QString());
    QCOMPARE(CollectPictureAnywhere(QStringLiteral("nur_wawi.png")), QStringLiteral("abilder/nur_wawi.png"));
    QCOMPARE(CollectPictureAnywhere(QStringLiteral("Größe #2.gif")), QStringLiteral("abilder/gr__e__2.gif"));
    QCOMPARE(CollectPictureAnywhere(QStringLiteral("nirgends.gif")), QString());

    // Different files, same target name.
    QCOMPARE(CollectPicture(env.file(QStringLiteral("anderswo/rot blau.jpg"))), QStringLiteral("abilder/rot_blau.jpg"));
    QCOMPARE(CollectPicture(env.file(QStringLiteral("zweiter/Rot_Blau.JPG"))), QStringLiteral("abilder/rot_blau.jpg"));
    QCOMPARE(PictureList().size(), 5);
    PictureList().clear();
}

void tst_RecordWriter::deleteFilesExcept()
{
    TestEnv env;
    const QString dir = env.file(QStringLiteral("shop/abilder/"));
    touch(dir + QStringLiteral("a.jpg"));
    touch(dir + QStringLiteral("INDEX.HTML"));
    touch(dir + QStringLiteral("alt.gif"));
    touch(dir + QStringLiteral(".versteckt.jpg"));
    touch(dir + QStringLiteral("schreibgeschuetzt.jpg"));
    QFile::setPermissions(dir + QStringLiteral("schreibgeschuetzt.jpg"), QFileDevice::ReadOwner);
    touch(dir + QStringLiteral("unter/b.jpg"));
    const int n = DeleteFilesExcept(dir, {QStringLiteral("alt.gif"), QStringLiteral("alt.jpg"), QStringLiteral("index.htm"),
                                          QStringLiteral("index.html")});
    QCOMPARE(n, 3);
    QStringList left = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    QCOMPARE(left, QStringList({"INDEX.HTML", "alt.gif", "unter"}));
    QVERIFY(QFileInfo::exists(dir + QStringLiteral("unter/b.jpg")));
    QCOMPARE(DeleteFilesExcept(env.file(QStringLiteral("gibtsnicht")), {}), 0);
}

void tst_RecordWriter::pictureFolderGuard_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("emptied");
    QTest::newRow("abilder") << "shop/abilder/" << true;
    QTest::newRow("case of the guard ignored") << "shop/ABILDER/" << true;
    QTest::newRow("any other folder never") << "shop/bilder/" << false;
    QTest::newRow("blank: ShopDir/abilder") << "" << true;
}

void tst_RecordWriter::pictureFolderGuard()
{
    QFETCH(QString, folder);
    QFETCH(bool, emptied);
    TestEnv env;
    const QString dir = folder.isEmpty() ? Settings().ShopDir + QStringLiteral("abilder/") : env.file(folder);
    Settings().PictureDir = folder.isEmpty() ? QString() : dir;
    touch(dir + QStringLiteral("alt.jpg"));
    touch(dir + QStringLiteral("weg.jpg"));
    PictureList() = QStringList{QStringLiteral("/irgendwo/x.jpg")};
    QCOMPARE(DeleteCollectedPictures(), QString());
    QVERIFY(PictureList().isEmpty());
    QCOMPARE(Settings().PictureDir, dir);
    QVERIFY(QFileInfo::exists(dir + QStringLiteral("alt.jpg")));
    QCOMPARE(QFileInfo::exists(dir + QStringLiteral("weg.jpg")), !emptied);
}

void tst_RecordWriter::updateLadder_data()
{
    QTest::addColumn<double>("version");
    QTest::addColumn<QStringList>("files");
    const QStringList all = {"db/update20.sql", "db/update25.sql", "db/update26.sql", "db/update30.sql", "db/update31.sql",
                             "db/update32.sql", "db/update40.sql", "db/update60.sql", "db/update70.sql"};
    QTest::newRow("1.0: all nine") << 1.0 << all;
    QTest::newRow("2.28") << 2.28 << all;
    QTest::newRow("2.3: not update20") << 2.3 << all.mid(1);
    QTest::newRow("5.0: no step of its own") << 5.0 << QStringList{"db/update60.sql", "db/update70.sql"};
    QTest::newRow("6.0: only update70") << 6.0 << QStringList{"db/update70.sql"};
    QTest::newRow("7.0: none") << 7.0 << QStringList{};
    QTest::newRow("8.0: none") << 8.0 << QStringList{};
}

void tst_RecordWriter::updateLadder()
{
    QFETCH(double, version);
    QFETCH(QStringList, files);
    QCOMPARE(UpdateFilesFor(version), files);
}

void tst_RecordWriter::reportExitCodes()
{
    TransferReport r;
    QCOMPARE(r.ExitCode(), 2);   // not reachable
    r.reachable = true;
    r.steps.append(TransferStepReport{QStringLiteral("Länder"), QStringLiteral("laender"), true});
    QCOMPARE(r.ExitCode(), 0);
    QVERIFY(r.Succeeded());
    r.steps[0].refused = 1;
    QCOMPARE(r.ExitCode(), 1);
    r.steps[0].refused = 0;
    r.steps[0].failed = true;
    QCOMPARE(r.ExitCode(), 1);
    r.steps[0].failed = false;
    r.stopped = true;
    QCOMPARE(r.ExitCode(), 1);
    r.stopped = false;
    r.shopLost = true;
    QCOMPARE(r.ExitCode(), 2);
    const QJsonObject j = r.toJson();
    QCOMPARE(j.value("steps").toArray().size(), 1);
    QCOMPARE(j.value("exitCode").toInt(), 2);
    QVERIFY(r.toText().contains(QStringLiteral("Länder")));
}

// A step's own line counts its own records; the records not written are
// named with their reasons, further shop tables follow in words.
void tst_RecordWriter::reportExplainsItsCounts()
{
    TransferReport r;
    r.reachable = true;
    TransferStepReport check{QStringLiteral("Schemaprüfung"), QString(), true};
    check.messages << QStringLiteral("Schemaversion des Shops: 7.00");
    TransferStepReport art{QStringLiteral("Artikel"), QStringLiteral("artikel"), true};
    art.read = 10;
    art.Inserted(QStringLiteral("artikel"), 6);
    art.Deleted(QStringLiteral("artikel"));
    art.Inserted(QStringLiteral("varianten"), 20);
    art.Skipped(QStringLiteral("nicht online (im Shop gelöscht)"), 3);
    art.Skipped(QStringLiteral("vom Shop abgelehnt (siehe Meldungen)"));
    art.refused = 1;
    TransferStepReport faq{QStringLiteral("FAQ"), QStringLiteral("faq"), true};
    faq.read = 3;
    faq.Inserted(QStringLiteral("faq_gruppe"), 2);
    faq.Inserted(QStringLiteral("faq_thema"));
    r.steps << check << art << faq;

    const QStringList lines = r.toText().split(QLatin1Char('\n'));
    auto line = [&](const QString &start) {
        for (const QString &l : lines)
            if (l.startsWith(start))
                return l.simplified();
        return QString();
    };
    QCOMPARE(line(QStringLiteral("Shop-Datenbank prüfen")).section(QLatin1Char(' '), 0, 2),
             QStringLiteral("Shop-Datenbank prüfen 0,00"));
    QCOMPARE(line(QStringLiteral("Artikel")).section(QLatin1Char(' '), 0, 5), QStringLiteral("Artikel 10 6 0 1 1"));
    QCOMPARE(line(QStringLiteral("    nicht übertragen")),
             QStringLiteral("nicht übertragen (4): 3 nicht online (im Shop gelöscht); 1 vom Shop abgelehnt (siehe Meldungen)"));
    QCOMPARE(line(QStringLiteral("    außerdem")), QStringLiteral("außerdem im Shop Varianten: 20 neu"));
    QCOMPARE(line(QStringLiteral("FAQ")).section(QLatin1Char(' '), 0, 5), QStringLiteral("FAQ 3 3 0 0 0"));
    QCOMPARE(line(QStringLiteral("    im Shop FAQ-Gruppen")), QStringLiteral("im Shop FAQ-Gruppen: 2 neu"));
    QCOMPARE(line(QStringLiteral("    im Shop FAQ-Themen")), QStringLiteral("im Shop FAQ-Themen: 1 neu"));
    for (const char *internal : {"Schemaprüfung", "varianten:", "faq_gruppe", "artikel:"})
        QVERIFY2(!r.toText().contains(QString::fromUtf8(internal)), internal);
    // The step table fits a narrow window; only free texts may run longer.
    for (const QString &l : lines)
        if (!l.startsWith(QStringLiteral("    ")) && !l.startsWith(QStringLiteral("gelesen:")))
            QVERIFY2(l.size() <= 80, qPrintable(l));
    const QJsonObject j = r.toJson().value("steps").toArray().at(1).toObject();
    QCOMPARE(j.value("skipped").toObject().value("nicht online (im Shop gelöscht)").toInt(), 3);
}

QTEST_GUILESS_MAIN(tst_RecordWriter)
#include "tst_RecordWriter.moc"
