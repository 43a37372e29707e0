// marktvoll-cli tablefile dump / fields on a file with every value form;
// tablefile write as the editors write their files.

#include "masterdata/MasterLayouts.h"
#include "masterdata/TableFile.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

#include <limits>

using namespace mv;

class TstCliTableFile : public QObject {
    Q_OBJECT
private:
    QString cli() const { return test::TestEnv::binaryDir() + QStringLiteral("/marktvoll-cli"); }
    QByteArray run(const QStringList &args, int *rc, const QByteArray &input = QByteArray())
    {
        QProcess p;
        p.start(cli(), args);
        p.write(input);
        p.closeWriteChannel();
        p.waitForFinished(60000);
        *rc = p.exitCode();
        m_err = p.readAllStandardError();
        return p.readAllStandardOutput();
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

    void dumpAndFields()
    {
        test::TestEnv env;
        const QString path = env.file("alle.xml");
        TableFile::WritePacketFile(path,
                                   {{"Nr", FieldType::AutoInc, 0, true}, {"Name", FieldType::String, 30}, {"Preis", FieldType::Float},
                                    {"Aktiv", FieldType::Boolean}, {"Am", FieldType::DateTime}, {"Tag", FieldType::Date},
                                    {"Zeit", FieldType::Time}, {"Text", FieldType::Memo, 250}, {"Bild", FieldType::Graphic}},
                                   {{1, QString::fromUtf8("Müller \"Ä\"\\"), 12.5, true, QDateTime(QDate(2026, 12, 9), QTime(10, 30, 15, 250)),
                                     QDate(2026, 12, 9), QTime(7, 5, 3), QStringLiteral("a\r\nb\tc"), QByteArray("\x01\x02")},
                                    {2, QString(QLatin1String("")), QVariant(), false, QVariant(), QVariant(), QVariant(), QVariant(), QVariant()}},
                                   3);
        int rc = -1;
        const QByteArray out = run({"tablefile", "dump", path}, &rc);
        QCOMPARE(rc, 0);
        const QList<QByteArray> lines = out.split('\n');
        QCOMPARE(lines.size(), 3);
        QCOMPARE(QString::fromUtf8(lines[0]),
                 QString::fromUtf8("{\"Nr\":1,\"Name\":\"Müller \\\"Ä\\\"\\\\\",\"Preis\":12.5,\"Aktiv\":true,"
                                   "\"Am\":\"2026-12-09T10:30:15.250\",\"Tag\":\"2026-12-09\",\"Zeit\":\"07:05:03.000\","
                                   "\"Text\":\"a\\r\\nb\\tc\",\"Bild\":\"AQI=\"}"));
        QCOMPARE(lines[1], QByteArray("{\"Nr\":2,\"Name\":\"\",\"Preis\":null,\"Aktiv\":false,\"Am\":null,\"Tag\":null,"
                                      "\"Zeit\":null,\"Text\":null,\"Bild\":null}"));
        QVERIFY(lines[2].isEmpty());

        const QByteArray fields = run({"tablefile", "fields", path}, &rc);
        QCOMPARE(rc, 0);
        QVERIFY(fields.startsWith("Nr\tAutoInc\t0\tschreibgeschützt\nName\tString\t30\n"));
    }

    // What a JSON reader gets back: exact 64-bit integers, the shortest
    // price text, an empty text apart from NULL.
    void numbersAndEmpty()
    {
        test::TestEnv env;
        const QString path = env.file("zahlen.xml");
        TableFile::WritePacketFile(path,
                                   {{"Gross", FieldType::LargeInt}, {"Preis", FieldType::Currency}, {"Wert", FieldType::Float},
                                    {"Name", FieldType::String, 10}},
                                   {{qint64(9007199254740993LL), 234.64, 0.1 + 0.2, QString(QLatin1String(""))},
                                    {std::numeric_limits<qint64>::min(), 1e-7, 1e21, QVariant()}});
        int rc = -1;
        const QByteArray out = run({"tablefile", "dump", path}, &rc);
        QCOMPARE(rc, 0);
        QCOMPARE(out, QByteArray("{\"Gross\":9007199254740993,\"Preis\":234.64,\"Wert\":0.30000000000000004,\"Name\":\"\"}\n"
                                 "{\"Gross\":-9223372036854775808,\"Preis\":1e-07,\"Wert\":1e+21,\"Name\":null}\n"));
    }

    // write: the program's fields for that file name, memo text as it
    // stands (not encoded), counters numbered on after the highest given;
    // what dump prints writes the same file again.
    void writeAsTheEditors()
    {
        test::TestEnv env;
        const QString path = env.file("faq_thema6.xml");
        int rc = -1;
        run({"tablefile", "write", path}, &rc,
            "{\"gruppe\": 1, \"beschreibung\": \"Wie lange dauert's?\", \"hilfe\": \"In der Regel 2 Werktage.\\r\\nIns Ausland l\xc3\xa4nger.\"}\n"
            "\n"
            "{\"zaehler\": 7, \"gruppe\": 2, \"hilfe\": \"\xc3\x84 \xe2\x82\xac \\\"x\\\" <b>&amp;\"}\n"
            "{\"gruppe\": 2, \"beschreibung\": null}\n");
        QVERIFY2(rc == 0, m_err.constData());
        const TablePacket p = TableFile::ReadPacket(path);
        QStringList names;
        for (const FieldDef &d : p.fields)
            names << d.name;
        QStringList expected;
        for (const FieldDef &d : FaqThemaTable().fields)
            expected << d.name;
        QCOMPARE(names, expected);
        const int hilfe = int(expected.indexOf("hilfe"));
        QCOMPARE(p.rows.size(), 3);
        QCOMPARE(p.rows[0][0].toInt(), 8);
        QCOMPARE(p.rows[1][0].toInt(), 7);
        QCOMPARE(p.rows[2][0].toInt(), 9);
        QCOMPARE(p.autoIncValue, 10);
        QCOMPARE(p.rows[0][hilfe].toString(), QString::fromUtf8("In der Regel 2 Werktage.\r\nIns Ausland länger."));
        QCOMPARE(p.rows[1][hilfe].toString(), QString::fromUtf8("Ä € \"x\" <b>&amp;"));
        QVERIFY(!p.rows[2][2].isValid());
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QVERIFY(bytes.contains("Ins Ausland l\xe4nger."));

        // dump -> write gives the same file.
        const QByteArray dumped = run({"tablefile", "dump", path}, &rc);
        QCOMPARE(rc, 0);
        QDir().mkpath(env.file("kopie"));
        const QString copy = env.file("kopie/faq_thema6.xml");
        run({"tablefile", "write", copy}, &rc, dumped);
        QVERIFY2(rc == 0, m_err.constData());
        QFile g(copy);
        QVERIFY(g.open(QIODevice::ReadOnly));
        QCOMPARE(g.readAll(), bytes);
    }

    // The article list's links keep their declared counter empty.
    void writeLinksWithoutCounter()
    {
        test::TestEnv env;
        const QString path = env.file("warengruppen.xml");
        int rc = -1;
        run({"tablefile", "write", path}, &rc, "{\"warengruppe\": 3, \"artikel\": 7}\n");
        QVERIFY2(rc == 0, m_err.constData());
        const TablePacket p = TableFile::ReadPacket(path);
        QCOMPARE(p.rows.size(), 1);
        for (int i = 0; i < p.fields.size(); ++i)
            if (p.fields[i].type == FieldType::AutoInc)
                QVERIFY(!p.rows[0][i].isValid());
    }

    // Nothing is written when one record is wrong; the message names its line.
    void writeRefuses_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("rc");
        QTest::addColumn<QString>("message");
        QTest::newRow("unbekanntes Feld") << "news6.xml" << QByteArray("{\"header\": \"a\"}\n{\"Header\": \"b\"}\n") << 1
                                          << "Zeile 2: die Datei hat kein Feld 'Header'";
        QTest::newRow("kein Objekt") << "news6.xml" << QByteArray("[1, 2]\n") << 1 << "Zeile 1: kein JSON-Objekt";
        QTest::newRow("kaputtes JSON") << "news6.xml" << QByteArray("{\"header\": \n") << 1 << "Zeile 1: kein JSON-Objekt";
        QTest::newRow("Text statt Zahl") << "versandkosten4.xml" << QByteArray("{\"gewicht\": \"schwer\"}\n") << 1 << "Zeile 1:";
        QTest::newRow("Bruch in ganzer Zahl") << "faq_thema6.xml" << QByteArray("{\"gruppe\": 1.5}\n") << 1
                                              << "Zeile 1: 1.5 ist keine ganze Zahl";
        QTest::newRow("Liste als Wert") << "news6.xml" << QByteArray("{\"inhalt\": [\"a\"]}\n") << 1 << "Zeile 1:";
        QTest::newRow("Datei unbekannt") << "fremd.xml" << QByteArray("{\"a\": 1}\n") << 2 << "fremd.xml";
    }
    void writeRefuses()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, input);
        QFETCH(int, rc);
        QFETCH(QString, message);
        test::TestEnv env;
        const QString path = env.file(file);
        int got = -1;
        if (file != "fremd.xml") {
            // A file already there stays as it was.
            run({"tablefile", "write", path}, &got, "{}\n");
            QCOMPARE(got, 0);
        }
        const QByteArray before = QFile::exists(path) ? TableFile::WritePacket(TableFile::ReadPacket(path).fields,
                                                                               TableFile::ReadPacket(path).rows)
                                                      : QByteArray();
        run({"tablefile", "write", path}, &got, input);
        QCOMPARE(got, rc);
        QVERIFY2(QString::fromUtf8(m_err).contains(message), m_err.constData());
        if (file == "fremd.xml") {
            QVERIFY(!QFile::exists(path));
        } else {
            const TablePacket p = TableFile::ReadPacket(path);
            QCOMPARE(TableFile::WritePacket(p.fields, p.rows), before);
            QCOMPARE(p.rows.size(), 1);
        }
    }

    void errors()
    {
        test::TestEnv env;
        int rc = -1;
        run({"tablefile", "dump", env.file("fehlt.xml")}, &rc);
        QCOMPARE(rc, 1);
        QVERIFY(m_err.contains("fehlt.xml"));
        QFile f(env.file("kaputt.xml"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("<DATAPACKET Version=\"2.0\"><METADATA><FIELDS><FIELD attrname=\"a\" fieldtype=\"i4\"/>");
        f.close();
        run({"tablefile", "dump", env.file("kaputt.xml")}, &rc);
        QCOMPARE(rc, 1);
        QVERIFY(m_err.contains("unvollständig"));
        run({"tablefile", "zeige", env.file("kaputt.xml")}, &rc);
        QCOMPARE(rc, 2);
    }
};

QTEST_GUILESS_MAIN(TstCliTableFile)
#include "tst_CliTableFile.moc"
