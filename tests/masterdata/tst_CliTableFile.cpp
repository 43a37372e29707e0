// marktvoll-cli tablefile dump / fields on a file with every value form.

#include "masterdata/TableFile.h"
#include "support/TestEnv.h"

#include <QProcess>
#include <QtTest>

#include <limits>

using namespace mv;

class TstCliTableFile : public QObject {
    Q_OBJECT
private:
    QString cli() const { return test::TestEnv::binaryDir() + QStringLiteral("/marktvoll-cli"); }
    QByteArray run(const QStringList &args, int *rc)
    {
        QProcess p;
        p.start(cli(), args);
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
