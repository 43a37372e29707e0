// Table files: round trip of every field type and awkward text, change-log
// packets, broken input, and the open/close rules of the editors.

#include "masterdata/TableFile.h"
#include "masterdata/TableLayouts.h"
#include "core/UiHooks.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QtTest>

using namespace mv;

namespace {
QByteArray readAll(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

void writeAll(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

QString fixture(const QString &name)
{
    return test::TestEnv::sourceDir() + QStringLiteral("/tests/masterdata/fixtures/") + name;
}

QVector<FieldDef> allTypes()
{
    return {{"s", FieldType::String, 60}, {"i", FieldType::Integer}, {"si", FieldType::SmallInt}, {"w", FieldType::Word},
            {"li", FieldType::LargeInt}, {"ai", FieldType::AutoInc, 0, true}, {"b", FieldType::Boolean},
            {"f", FieldType::Float}, {"c", FieldType::Currency}, {"bcd", FieldType::BCD}, {"d", FieldType::Date},
            {"t", FieldType::Time}, {"dt", FieldType::DateTime}, {"m", FieldType::Memo, 250},
            {"fm", FieldType::FmtMemo, 250}, {"g", FieldType::Graphic}, {"bl", FieldType::Blob}, {"by", FieldType::Bytes, 8},
            {"Feld mit Blank", FieldType::String, 10}};
}
}

class TstTableFile : public QObject {
    Q_OBJECT
private slots:
    void init() { SetUiHooks(&m_ui); }
    void cleanup() { SetUiHooks(nullptr); }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("umlauts") << QString::fromUtf8("Grüße aus Köln: ÄÖÜäöüß");
        QTest::newRow("apostrophes and quotes") << QString::fromUtf8("O'Neil sagt \"Hallo\" und 'tschüss'");
        QTest::newRow("line breaks and tabs") << QStringLiteral("eins\r\nzwei\ndrei\rvier\tfünf");
        QTest::newRow("backslashes") << QStringLiteral("C:\\Bilder\\neu\\\\x.jpg \\n");
        QTest::newRow("markup characters") << QStringLiteral("<b>a & b</b> &amp; &#013; > <");
        QTest::newRow("code page specials") << QString::fromUtf8("€ „Zitat“ – … ™ Š");
        QTest::newRow("outside the code page") << QString::fromUtf8("Ω ∑ 日本 😀");
        QTest::newRow("empty") << QString(QLatin1String(""));
        QTest::newRow("blanks") << QStringLiteral("  ");
    }
    void roundTrip()
    {
        QFETCH(QString, text);
        const QVector<FieldDef> defs = allTypes();
        const QDateTime dt(QDate(2026, 12, 9), QTime(10, 30, 15, 250));
        QVector<QVector<QVariant>> rows;
        rows.push_back({text, -2147483647 - 1, -32768, 65535, qint64(1) << 53, 7, true, 0.1, 1234.5678, -12.25,
                        QDate(1999, 12, 31), QTime(23, 59, 59, 999), dt, text, text + QStringLiteral("{\\rtf1}"),
                        QByteArray("\x00\x01\xff\x89PNG", 8), QByteArray("\r\n\t<>&\"'\\"), QByteArray("12345678"), text});
        // All NULL (attributes left out) except the text fields, which are
        // empty strings: empty and NULL must stay apart.
        QVector<QVariant> nulls(defs.size());
        nulls[0] = QString(QLatin1String(""));
        nulls[13] = QString(QLatin1String(""));
        rows.push_back(nulls);
        rows.push_back({QVariant(), 2147483647, 32767, 0, qint64(-1), 8, false, -1.5e-300, 0.0, 0.0,
                        QDate(2026, 1, 1), QTime(0, 0), QDateTime(QDate(2026, 1, 1), QTime(0, 0)), QVariant(), QVariant(),
                        QByteArray(), QVariant(), QVariant(), QVariant()});

        const QByteArray data = TableFile::WritePacket(defs, rows, 9);
        QVERIFY(data.startsWith("<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\">"));
        QVERIFY(!data.contains('\n') && !data.contains('\r') && !data.contains('\t'));
        const TablePacket p = TableFile::ParsePacket(data);
        QCOMPARE(p.autoIncValue, 9);
        QCOMPARE(p.fields.size(), defs.size());
        for (int i = 0; i < defs.size(); ++i) {
            QCOMPARE(p.fields[i].name, defs[i].name);
            QCOMPARE(p.fields[i].type, defs[i].type);
        }
        QCOMPARE(p.fields[0].size, 60);
        QVERIFY(p.fields[5].readOnly);
        QCOMPARE(p.rows.size(), rows.size());
        for (int r = 0; r < rows.size(); ++r) {
            for (int f = 0; f < defs.size(); ++f) {
                const QVariant &want = rows[r][f];
                const QVariant &got = p.rows[r][f];
                const bool wantNull = !want.isValid() || want.isNull();
                QVERIFY2(wantNull == (!got.isValid() || got.isNull()), qPrintable(QStringLiteral("row %1 field %2").arg(r).arg(defs[f].name)));
                if (!wantNull)
                    QVERIFY2(got == want, qPrintable(QStringLiteral("row %1 field %2: %3 != %4").arg(r).arg(defs[f].name, got.toString(), want.toString())));
            }
        }
    }

    void escapingAndCodePage()
    {
        const QByteArray data = TableFile::WritePacket({{"s", FieldType::String, 50}},
                                                       {{QString::fromUtf8("ä'\"<>&\r\n\t\\€Ω")}});
        QVERIFY2(data.contains("s=\"\xe4&apos;&quot;&lt;&gt;&amp;&#013;&#010;&#009;&#092;\x80&#937;\""), data.constData());
        QVERIFY(!data.contains("encoding"));
        QVERIFY(data.contains("<FIELD attrname=\"s\" fieldtype=\"string\" WIDTH=\"50\"/>"));
    }

    void charactersXmlCannotHold()
    {
        // NUL cannot be stored and is dropped; a lone surrogate becomes U+FFFD;
        // other control characters survive as references. The file must
        // stay readable either way.
        const QString text = QStringLiteral("a") + QChar(0) + QStringLiteral("b") + QChar(0xD800) + QChar(1) + QChar(0x1F);
        const QString name = QString::fromUtf8("Ω-Wert");
        const QByteArray data = TableFile::WritePacket({{"s", FieldType::String, 10}, {name, FieldType::Integer}}, {{text, 5}});
        const TablePacket p = TableFile::ParsePacket(data);
        QCOMPARE(p.rows[0][0].toString(), QStringLiteral("ab") + QChar(0xFFFD) + QChar(1) + QChar(0x1F));
        // A field name outside the code page keeps its spelling.
        QCOMPARE(p.fields[1].name, name);
        QCOMPARE(p.rows[0][1].toInt(), 5);
    }

    void fieldDeclarations()
    {
        const QByteArray data = TableFile::WritePacket(WarengruppenLayout(), {}, 1);
        QVERIFY(data.contains("<FIELD attrname=\"id\" fieldtype=\"i4\" SUBTYPE=\"Autoinc\" readonly=\"true\"/>"));
        QVERIFY(data.contains("<PARAMS AUTOINCVALUE=\"1\"/>"));
        const QByteArray news = TableFile::WritePacket({{"inhalt", FieldType::Memo, 250}, {"an", FieldType::DateTime}},
                                                       {{QStringLiteral("x"), QDateTime(QDate(2026, 12, 9), QTime(10, 30, 15, 250))}});
        QVERIFY(news.contains("<FIELD attrname=\"inhalt\" fieldtype=\"bin.hex\" SUBTYPE=\"Text\" WIDTH=\"250\"/>"));
        QVERIFY2(news.contains("an=\"20261209T10:30:15250\""), news.constData());
    }

    void changeLog()
    {
        const TablePacket p = TableFile::ReadPacket(fixture("changelog.xml"));
        QStringList got;
        for (const auto &r : p.rows)
            got << r[0].toString() + "|" + r[1].toString() + "|" + r[2].toString();
        QCOMPARE(got, QStringList({QStringLiteral("1|Anna|erste\r\nZeile"), QString::fromUtf8("2|Berta 2|Müller & Söhne"),
                                   QStringLiteral("4|Dora|"), QStringLiteral("5|Emil 1|neu")}));
        QVERIFY(p.rows[2][2].isNull());

        // Written back (current rows only, no log) and read again: the same rows.
        test::TestEnv env;
        TableFile t;
        t.SetFileName(env.file("c.xml"));
        TableFile::Load(t, fixture("changelog.xml"));
        QCOMPARE(t.RecordCount(), 4);
        TableFile::SaveTable(t, env.file("c.xml"));
        const QByteArray written = readAll(env.file("c.xml"));
        QVERIFY(!written.contains("RowState") && !written.contains("CHANGE_LOG"));
        const TablePacket again = TableFile::ReadPacket(env.file("c.xml"));
        QCOMPARE(again.rows, p.rows);
    }

    void rowStatesWithoutLog()
    {
        // Without CHANGE_LOG the hidden versions (bits 1, 2, 32) still drop out.
        const QByteArray data =
            "<?xml version=\"1.0\" standalone=\"yes\"?><DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
            "<FIELD attrname=\"n\" fieldtype=\"i4\"/></FIELDS><PARAMS/></METADATA><ROWDATA>"
            "<ROW n=\"1\"/><ROW RowState=\"1\" n=\"2\"/><ROW RowState=\"2\" n=\"3\"/><ROW RowState=\"32\" n=\"4\"/>"
            "<ROW RowState=\"8\" n=\"5\"/><ROW RowState=\"4\" n=\"6\"/><ROW RowState=\"64\" n=\"7\"/></ROWDATA></DATAPACKET>";
        const TablePacket p = TableFile::ParsePacket(data);
        QStringList got;
        for (const auto &r : p.rows)
            got << r[0].toString();
        QCOMPARE(got, QStringList({"1", "5", "6", "7"}));
    }

    void readerTolerance_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("value");
        const QByteArray head = "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS><FIELD attrname=\"v\" fieldtype=\"";
        QTest::newRow("utf-8 declaration") << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n" + head
                                                         + "string\" WIDTH=\"9\"/></FIELDS><PARAMS/></METADATA>\n<ROWDATA>\n<ROW v=\"Gr\xc3\xbc\xc3\x9f" "e\"/>\n</ROWDATA></DATAPACKET>\n")
                                           << QString::fromUtf8("Grüße");
        QTest::newRow("no declaration, single quotes, hex reference") << QByteArray(head + "string\"/></FIELDS></METADATA><ROWDATA><ROW v='a&#x41;&#65;\xfc'/></ROWDATA></DATAPACKET>")
                                                                       << QString::fromUtf8("aAAü");
        QTest::newRow("midnight date-time without time") << QByteArray(head + "dateTime\"/></FIELDS></METADATA><ROWDATA><ROW v=\"19880707\"/></ROWDATA></DATAPACKET>")
                                                         << QStringLiteral("07.07.1988");
        QTest::newRow("time") << QByteArray(head + "time\"/></FIELDS></METADATA><ROWDATA><ROW v=\"10:00:01500\"/></ROWDATA></DATAPACKET>")
                              << QStringLiteral("10:00:01");
        QTest::newRow("boolean by first letter") << QByteArray(head + "boolean\"/></FIELDS></METADATA><ROWDATA><ROW v=\"true\"/></ROWDATA></DATAPACKET>")
                                                 << QStringLiteral("True");
        QTest::newRow("comments and fieldname") << QByteArray("<!-- x --><DATAPACKET Version=\"2.0\"><METADATA><FIELDS><FIELD attrname=\"Species_No\" fieldname=\"Species No\" fieldtype=\"r8\"/></FIELDS></METADATA><ROWDATA><!-- y --><ROW Species_No=\"90020\"/></ROWDATA></DATAPACKET>")
                                                << QStringLiteral("90020");
        QTest::newRow("literal line break in value") << QByteArray(head + "string\"/></FIELDS></METADATA><ROWDATA><ROW v=\"a\r\nb\"/></ROWDATA></DATAPACKET>")
                                                     << QStringLiteral("a b");
        // Declared code pages: Latin-1 as Windows writes it, and Latin-9 with
        // the euro sign where Windows-1252 has the currency sign.
        QTest::newRow("iso-8859-1 declaration") << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + head
                                                              + "string\"/></FIELDS></METADATA><ROWDATA><ROW v=\"\x80 \xa4 \xfc\"/></ROWDATA></DATAPACKET>")
                                                << QString::fromUtf8("€ ¤ ü");
        QTest::newRow("iso-8859-15 declaration") << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-15\"?>" + head
                                                               + "string\"/></FIELDS></METADATA><ROWDATA><ROW v=\"\xa4 \xfc\"/></ROWDATA></DATAPACKET>")
                                                 << QString::fromUtf8("€ ü");
    }
    void readerTolerance()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, value);
        const TablePacket p = TableFile::ParsePacket(data);
        QCOMPARE(p.rows.size(), 1);
        QCOMPARE(FieldValueToText(p.rows[0][0], p.fields[0].type), value);
    }

    void brokenInput_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("part");
        const QByteArray head = "<?xml version=\"1.0\" standalone=\"yes\"?><DATAPACKET Version=\"2.0\"><METADATA><FIELDS>";
        const QByteArray good = head + "<FIELD attrname=\"n\" fieldtype=\"i4\"/><FIELD attrname=\"s\" fieldtype=\"string\" WIDTH=\"5\"/>"
                                       "</FIELDS><PARAMS/></METADATA><ROWDATA><ROW n=\"1\" s=\"abc\"/><ROW n=\"2\"/></ROWDATA></DATAPACKET>";
        QTest::newRow("empty file") << QByteArray() << "kein XML";
        QTest::newRow("not xml") << QByteArray("Hallo Welt\r\n") << "kein XML";
        QTest::newRow("binary garbage") << QByteArray("\x00\x01\x02<\x03\x04", 6) << "Ungültiges Element";
        QTest::newRow("other root") << QByteArray("<html><body/></html>") << "DATAPACKET";
        QTest::newRow("truncated in a row") << good.left(good.indexOf("s=\"abc") + 4) << "unvollständig";
        QTest::newRow("truncated after a row") << good.left(good.indexOf("<ROW n=\"2\"")) << "unvollständig";
        QTest::newRow("truncated in fields") << good.left(head.size() + 10) << "unvollständig";
        QTest::newRow("no fields") << QByteArray("<DATAPACKET Version=\"2.0\"><ROWDATA/></DATAPACKET>") << "Feldliste";
        QTest::newRow("unknown field type") << QByteArray(head + "<FIELD attrname=\"n\" fieldtype=\"r16\"/></FIELDS></METADATA></DATAPACKET>") << "r16";
        QTest::newRow("missing field type") << QByteArray(head + "<FIELD attrname=\"n\"/></FIELDS></METADATA></DATAPACKET>") << "Feldtyp";
        QTest::newRow("nested table") << QByteArray(head + "<FIELD attrname=\"d\" fieldtype=\"nested\"><FIELDS/></FIELD></FIELDS></METADATA></DATAPACKET>") << "verschachtelt";
        QTest::newRow("integer not a number") << QByteArray(good).replace("n=\"1\"", "n=\"eins\"") << "eins";
        QTest::newRow("integer too large") << QByteArray(good).replace("n=\"1\"", "n=\"99999999999\"") << "99999999999";
        QTest::newRow("bad width") << QByteArray(good).replace("WIDTH=\"5\"", "WIDTH=\"fünf\"") << "WIDTH";
        QTest::newRow("bad date") << QByteArray(head + "<FIELD attrname=\"d\" fieldtype=\"dateTime\"/></FIELDS></METADATA><ROWDATA><ROW d=\"2026-12-09\"/></ROWDATA></DATAPACKET>") << "2026-12-09";
        QTest::newRow("impossible date") << QByteArray(head + "<FIELD attrname=\"d\" fieldtype=\"date\"/></FIELDS></METADATA><ROWDATA><ROW d=\"20261332\"/></ROWDATA></DATAPACKET>") << "20261332";
        QTest::newRow("bad boolean") << QByteArray(head + "<FIELD attrname=\"b\" fieldtype=\"boolean\"/></FIELDS></METADATA><ROWDATA><ROW b=\"vielleicht\"/></ROWDATA></DATAPACKET>") << "vielleicht";
        QTest::newRow("bad float") << QByteArray(head + "<FIELD attrname=\"f\" fieldtype=\"r8\"/></FIELDS></METADATA><ROWDATA><ROW f=\"1.2.3\"/></ROWDATA></DATAPACKET>") << "1.2.3";
        QTest::newRow("bad base64") << QByteArray(head + "<FIELD attrname=\"g\" fieldtype=\"bin.hex\" SUBTYPE=\"Graphics\"/></FIELDS></METADATA><ROWDATA><ROW g=\"@@@\"/></ROWDATA></DATAPACKET>") << "@@@";
        QTest::newRow("unknown entity") << QByteArray(good).replace("abc", "a&nbsp;b") << "&nbsp;";
        QTest::newRow("bad character reference") << QByteArray(good).replace("abc", "&#0;") << "&#0;";
        QTest::newRow("less-than in value") << QByteArray(good).replace("abc", "a<b") << "'<'";
        QTest::newRow("mismatched end tag") << QByteArray(good).replace("</ROWDATA>", "</ROWS>") << "</ROWS>";
        QTest::newRow("unquoted attribute") << QByteArray(good).replace("n=\"1\"", "n=1") << "Anführungszeichen";
        QTest::newRow("change log not numbers") << QByteArray(good).replace("<PARAMS/>", "<PARAMS CHANGE_LOG=\"1 x 4\"/>") << "CHANGE_LOG";
        QTest::newRow("change log wrong row") << QByteArray(good).replace("<PARAMS/>", "<PARAMS CHANGE_LOG=\"7 0 4\"/>") << "CHANGE_LOG";
        QTest::newRow("change log incomplete") << QByteArray(good).replace("<PARAMS/>", "<PARAMS CHANGE_LOG=\"1 0\"/>") << "CHANGE_LOG";
        QTest::newRow("content after packet") << good + "<DATAPACKET/>" << "nach dem Datenpaket";
        QTest::newRow("unsupported encoding") << QByteArray("<?xml version=\"1.0\" encoding=\"x-unbekannt\"?>") + good << "x-unbekannt";
        QTest::newRow("control character") << QByteArray(good).replace("abc", QByteArray("a\0b", 3)) << "Steuerzeichen 0";
        QTest::newRow("duplicate field") << QByteArray(good).replace("attrname=\"s\"", "attrname=\"n\"") << "doppelt";
    }
    void brokenInput()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, part);
        try {
            TableFile::ParsePacket(data);
            QFAIL("no error");
        } catch (const TableFileError &e) {
            QVERIFY2(e.message().contains(part), qPrintable(e.message()));
            QVERIFY(e.message().contains(QLatin1String("Zeile")));
        }
    }

    void changeLogCycleTerminates()
    {
        const QByteArray data = "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS><FIELD attrname=\"n\" fieldtype=\"i4\"/></FIELDS>"
                                "<PARAMS CHANGE_LOG=\"1 2 8 2 1 8 2 2 8\"/></METADATA><ROWDATA><ROW n=\"1\"/><ROW n=\"2\"/></ROWDATA></DATAPACKET>";
        const TablePacket p = TableFile::ParsePacket(data); // must not hang
        QVERIFY(p.rows.size() <= 2);
    }

    void openCloseRules()
    {
        test::TestEnv env;
        const QString path = env.file("newsletter_adr.xml");
        {
            // Missing file: empty table with the layout, written on close.
            TableFile t;
            t.SetFileName(path);
            QVERIFY(t.OpenOrStartEmpty(NewsletterLayout()));
            QCOMPARE(t.RecordCount(), 0);
            QCOMPARE(t.FieldNames(), QStringList({"EMAIL", "kdnummer", "html", "iupdate"}));
            QVERIFY(!QFile::exists(path));
        }
        QVERIFY(QFile::exists(path));
        // A hand-formatted file that is opened and closed unchanged is not rewritten.
        QByteArray original = readAll(path);
        original.replace("<ROWDATA>", "\r\n<ROWDATA>\r\n<ROW EMAIL=\"a@b.de\" html=\"1\"/>\r\n");
        writeAll(path, original);
        {
            TableFile t;
            t.SetFileName(path);
            QVERIFY(t.OpenOrStartEmpty(NewsletterLayout()));
            QCOMPARE(t.RecordCount(), 1);
            t.SetFilter("html=2");
            t.SetFiltered(true);
        }
        QCOMPARE(readAll(path), original);
        {
            TableFile t;
            t.SetFileName(path);
            t.Open();
            t.Append();
            t.FieldByName("EMAIL")->SetAsString("c@d.de");
            t.FieldByName("iupdate")->SetAsDateTime(QDateTime(QDate(2026, 12, 9), QTime(10, 30, 15, 250)));
            t.Post();
            // Typed but not posted when the window goes: kept as well.
            t.Append();
            t.FieldByName("EMAIL")->SetAsString("e@f.de");
        }
        const TablePacket p = TableFile::ReadPacket(path);
        QCOMPARE(p.rows.size(), 3);
        QCOMPARE(p.rows[2][0].toString(), QStringLiteral("e@f.de"));
        QCOMPARE(p.rows[1][3].toDateTime(), QDateTime(QDate(2026, 12, 9), QTime(10, 30, 15, 250)));
        QVERIFY(!QFile::exists(path + ".tmp"));
        QCOMPARE(QDir(env.path()).entryList(QDir::Files).size(), 1); // no temporary file left
    }

    void unreadableFileIsKept()
    {
        test::TestEnv env;
        const QString path = env.file("warengruppen.xml");
        const QByteArray broken = "<?xml version=\"1.0\"?><DATAPACKET Version=\"2.0\"><METADATA><FIELDS><FIELD attrname=\"id\" fie";
        writeAll(path, broken);
        QString backup;
        {
            TableFile t;
            t.SetFileName(path);
            QVERIFY_THROWS_EXCEPTION(TableFileError, t.Open());
            QVERIFY(!t.Active());
            QVERIFY(t.OpenOrStartEmpty(WarengruppenLayout(), &backup));
            QVERIFY(t.Active());
            QCOMPARE(t.RecordCount(), 0);
            QVERIFY(!backup.isEmpty());
            QCOMPARE(readAll(backup), broken);
            QVERIFY(backup.endsWith(".xml"));
            t.SetAutoIncFill(false);
            t.Append();
            t.FieldByName("warengruppe")->SetAsInteger(12);
            t.FieldByName("artikel")->SetAsInteger(3456);
            t.Post();
            QVERIFY(t.FieldByName("id")->IsNull());
        }
        const TablePacket p = TableFile::ReadPacket(path);
        QCOMPARE(p.rows.size(), 1);
        QVERIFY(p.rows[0][0].isNull());
        QCOMPARE(p.rows[0][2].toInt(), 3456);
        QCOMPARE(readAll(backup), broken);
    }

    void saveWritesHiddenRowsToo()
    {
        test::TestEnv env;
        MemTable master;
        master.CreateDataSet({{"k", FieldType::Integer}});
        master.AppendRawRow({1});
        master.AppendRawRow({2});
        master.RawRowsDone();
        TableFile detail;
        detail.SetFileName(env.file("faq_thema6.xml"));
        detail.CreateDataSet({{"zaehler", FieldType::AutoInc, 0, true}, {"gruppe", FieldType::Integer}});
        detail.AppendRawRow({1, 1});
        detail.AppendRawRow({2, 2});
        detail.AppendRawRow({3, 2});
        detail.RawRowsDone();
        detail.SetMasterSource(&master, "k", "gruppe");
        detail.SetFilter("zaehler<>2");
        detail.SetFiltered(true);
        QCOMPARE(detail.RecordCount(), 1);
        detail.Append();
        detail.Post(); // pending rows are posted before saving
        detail.Edit();
        detail.FieldByName("gruppe")->SetAsInteger(1);
        detail.Save();
        const TablePacket p = TableFile::ReadPacket(env.file("faq_thema6.xml"));
        QCOMPARE(p.rows.size(), 4);
        QCOMPARE(p.autoIncValue, 5);
        QCOMPARE(p.rows[3][0].toInt(), 4);
    }

    void failedSaveOnCloseIsReported()
    {
        test::TestEnv env;
        {
            TableFile t;
            t.SetFileName(env.file("fehlt/gibtsnicht/x.xml"));
            t.CreateDataSet({{"a", FieldType::Integer}});
        }
        QCOMPARE(m_ui.messages.size(), 1);
        QVERIFY(m_ui.messages[0].contains("x.xml"));
        m_ui.messages.clear();
    }

private:
    RecordingUiHooks m_ui;
};

QTEST_GUILESS_MAIN(TstTableFile)
#include "tst_TableFile.moc"
