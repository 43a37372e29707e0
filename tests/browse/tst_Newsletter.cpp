// Newsletter lists: the address check, the text scanner, the list
// invariants across imports, the vCard and mailbox readers on bytes of
// several encodings, the WaWi and shop imports, and the files read back.

#include "browse/EmailAddress.h"
#include "browse/MailboxReader.h"
#include "browse/NewsletterLists.h"
#include "browse/VCardReader.h"
#include "core/UiHooks.h"
#include "data/MemTable.h"
#include "masterdata/TableFile.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace mv;
using T = NewsletterLists::Target;

namespace {
void writeAll(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

QStringList emails(TableFile &t)
{
    QStringList out;
    const int col = t.FieldByName(QStringLiteral("EMAIL"))->Index();
    for (const auto &row : t.RawRows())
        out << row.at(col).toString();
    return out;
}

QStringList addresses(const QVector<MailAddress> &list)
{
    QStringList out;
    for (const auto &a : list)
        out << a.address;
    return out;
}
} // namespace

class tst_Newsletter : public QObject {
    Q_OBJECT
private slots:
    void init() { SetUiHooks(&m_ui); m_ui = RecordingUiHooks(); }
    void cleanup() { SetUiHooks(nullptr); }

    void checkAddress_data();
    void checkAddress();
    void lineCandidates_data();
    void lineCandidates();
    void textFileLines();

    void addAddressInvariants();
    void textImportTwiceAndIntoExclusions();
    void singleCandidateProgress();
    void cancelKeepsWhatWasTaken();
    void secondImportRefused();
    void emptyList();
    void filesReadBackExactly();
    void unreadableFileKeptAsBackup();

    void vcards_data();
    void vcards();
    void vcardImport();
    void mimeHeader_data();
    void mimeHeader();
    void addressList_data();
    void addressList();
    void mboxRecipients();
    void maildirImport();

    void wawiImport();
    void shopImportPages();
    void shopImportFailure();

private:
    RecordingUiHooks m_ui;
};

void tst_Newsletter::checkAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("plain") << "hans@example.de" << true;
    QTest::newRow("digits, hyphen, underscore") << "a_b-1.c@mail-4.example.com" << true;
    // the rule allows the at sign at the very start
    QTest::newRow("at first") << "@example.de" << true;
    QTest::newRow("two at") << "a@b@example.de" << false;
    QTest::newRow("no at") << "example.de" << false;
    QTest::newRow("no dot after at") << "hans.meier@localhost" << false;
    QTest::newRow("at last") << "hans.de@" << false;
    QTest::newRow("hyphen after at") << "hans@-example.de" << false;
    QTest::newRow("dot after at") << "hans@.example.de" << false;
    QTest::newRow("umlaut") << QString::fromUtf8("jürgen@example.de") << false;
    QTest::newRow("plus") << "hans+news@example.de" << false;
    QTest::newRow("angle brackets") << "<hans@example.de>" << false;
    QTest::newRow("apostrophe") << "o'neil@example.de" << false;
    QTest::newRow("blank") << "hans @example.de" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("upper case kept") << "Hans.Meier@Example.DE" << true;
}

void tst_Newsletter::checkAddress()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QCOMPARE(CheckEmailAddress(text), valid ? text : QString());
}

void tst_Newsletter::lineCandidates_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("candidates");
    QTest::newRow("csv name;address;more") << "\"Meier, Hans\";\"hans@example.de\";\"Berlin\";x@y.de"
                                           << QStringList{"Meier", "", "Hans", "hans@example.de", "Berlin", "x@y.de"};
    QTest::newRow("two at in first token drops line") << "a@b@c.de x@y.de z@w.de" << QStringList{};
    QTest::newRow("single") << "  anna@example.org  " << QStringList{"anna@example.org"};
    QTest::newRow("no at") << "nur Text hier" << QStringList{};
    QTest::newRow("at first position stops") << "@x y@z.de" << QStringList{};
    QTest::newRow("colon and comma") << "To: a@b.de,c@d.de" << QStringList{"To", "", "a@b.de", "c@d.de"};
}

void tst_Newsletter::lineCandidates()
{
    QFETCH(QString, line);
    QFETCH(QStringList, candidates);
    QStringList got = AddressCandidatesOfLine(line);
    got.removeAll(QString());
    candidates.removeAll(QString());
    QCOMPARE(got, candidates);
}

void tst_Newsletter::textFileLines()
{
    // Windows-1252 bytes and UTF-8 with BOM give the same text
    const QStringList ansi = TextFileLines("M\xfcller;m@x.de\r\nzwei\r\n");
    const QStringList utf8 = TextFileLines("\xEF\xBB\xBFM\xC3\xBCller;m@x.de\nzwei\n");
    QCOMPARE(ansi, (QStringList{QString::fromUtf8("Müller;m@x.de"), "zwei"}));
    QCOMPARE(utf8, ansi);
}

void tst_Newsletter::addAddressInvariants()
{
    test::TestEnv env;
    NewsletterLists l;
    QVERIFY(l.Open(env.path()).isEmpty());
    QCOMPARE(l.AddAddress(T::Recipients, " a@x.de; b@x.de, c@x.de d@x.de "), 4);
    // the parts after a separator are taken in first
    QCOMPARE(emails(l.Recipients()), (QStringList{"d@x.de", "c@x.de", "b@x.de", "a@x.de"}));
    // case differences stay two records; an exact duplicate is not added
    QCOMPARE(l.AddAddress(T::Recipients, "A@x.de"), 1);
    QCOMPARE(l.AddAddress(T::Recipients, "a@x.de"), 0);
    QCOMPARE(l.AddAddress(T::Recipients, "\"kaputt@\""), 0);
    // html from the source; blank or no number gives 1
    QCOMPARE(l.AddAddress(T::Recipients, "h0@x.de", "0", "K-7"), 1);
    QCOMPARE(l.AddAddress(T::Recipients, "hx@x.de", "ja"), 1);
    l.Recipients().Locate("EMAIL", {"h0@x.de"});
    QCOMPARE(l.Recipients().FieldByName("html")->AsInteger(), 0);
    QCOMPARE(l.Recipients().FieldByName("kdnummer")->AsString(), QString("K-7"));
    QVERIFY(l.Recipients().FieldByName("iupdate")->AsDateTime().isValid());
    l.Recipients().Locate("EMAIL", {"hx@x.de"});
    QCOMPARE(l.Recipients().FieldByName("html")->AsInteger(), 1);

    // into the exclusions: leaves the recipients, never comes back
    QCOMPARE(l.AddAddress(T::Exclusions, "b@x.de"), 1);
    QVERIFY(!emails(l.Recipients()).contains("b@x.de"));
    QCOMPARE(emails(l.Exclusions()), QStringList{"b@x.de"});
    QVERIFY(l.Exclusions().FieldByName("html")->IsNull());
    QCOMPARE(l.AddAddress(T::Recipients, "b@x.de"), 0);
    QCOMPARE(l.AddAddress(T::Exclusions, "b@x.de"), 0);
    QCOMPARE(l.ImportCandidates(T::Recipients, {"b@x.de", "neu@x.de"}).added, 1);
    QVERIFY(!emails(l.Recipients()).contains("b@x.de"));
    // exclusion is exact too: B@x.de is another address
    QCOMPARE(l.AddAddress(T::Recipients, "B@x.de"), 1);
}

void tst_Newsletter::textImportTwiceAndIntoExclusions()
{
    test::TestEnv env;
    writeAll(env.file("liste.csv"),
             "Name;E-Mail;Ort\r\n\"M\xfcller, J\xfcrgen\";\"juergen@example.de\";K\xf6ln\r\n"
             "Anna;anna@example.org;Bonn\r\nx@y@z.de;nie@example.de\r\nhans+x@example.de;\r\n");
    NewsletterLists l;
    l.Open(env.path());
    QDateTime t0(QDate(2026, 1, 2), QTime(3, 4, 5));
    l.Now = [&] { return t0; };
    auto r = l.ImportTextFile(T::Recipients, env.file("liste.csv"));
    QVERIFY(r.error.isEmpty());
    QCOMPARE(emails(l.Recipients()), (QStringList{"juergen@example.de", "anna@example.org"}));
    l.Now = [] { return QDateTime(QDate(2027, 1, 1), QTime(0, 0)); };
    r = l.ImportTextFile(T::Recipients, env.file("liste.csv"));
    QCOMPARE(r.added, 0);
    l.Recipients().First();
    QCOMPARE(l.Recipients().FieldByName("iupdate")->AsDateTime(), t0);

    writeAll(env.file("sperre.txt"), "anna@example.org\n");
    r = l.ImportTextFile(T::Exclusions, env.file("sperre.txt"));
    QCOMPARE(r.added, 1);
    QCOMPARE(emails(l.Recipients()), QStringList{"juergen@example.de"});
    QCOMPARE(emails(l.Exclusions()), QStringList{"anna@example.org"});

    r = l.ImportTextFile(T::Recipients, env.file("fehlt.txt"));
    QVERIFY(r.error.contains("fehlt.txt"));
}

void tst_Newsletter::singleCandidateProgress()
{
    test::TestEnv env;
    writeAll(env.file("eine.txt"), "einzig@example.de");
    NewsletterLists l;
    l.Open(env.path());
    QList<QPair<int, int>> steps;
    auto r = l.ImportTextFile(T::Recipients, env.file("eine.txt"), [&](int i, int n) {
        steps << qMakePair(i, n);
        return true;
    });
    QCOMPARE(r.added, 1);
    QCOMPARE(steps, (QList<QPair<int, int>>{{1, 1}}));
}

void tst_Newsletter::cancelKeepsWhatWasTaken()
{
    test::TestEnv env;
    NewsletterLists l;
    l.Open(env.path());
    QStringList c;
    for (int i = 0; i < 10; ++i)
        c << QStringLiteral("n%1@x.de").arg(i);
    auto r = l.ImportCandidates(T::Recipients, c, [&](int i, int) { return i <= 3; });
    QVERIFY(r.cancelled);
    QCOMPARE(emails(l.Recipients()), c.mid(0, 3));
    m_ui.cancel = true;
    r = l.ImportCandidates(T::Recipients, c);
    QVERIFY(r.cancelled);
    QCOMPARE(r.added, 0);
}

void tst_Newsletter::secondImportRefused()
{
    test::TestEnv env;
    NewsletterLists l;
    l.Open(env.path());
    NewsletterLists::Result inner;
    auto r = l.ImportCandidates(T::Recipients, {"a@x.de", "b@x.de"}, [&](int i, int) {
        if (i == 1)
            inner = l.ImportCandidates(T::Exclusions, {"a@x.de"});
        return true;
    });
    QVERIFY(!inner.error.isEmpty());
    QCOMPARE(r.added, 2);
    QVERIFY(!l.Busy());
    QVERIFY(emails(l.Exclusions()).isEmpty());
}

void tst_Newsletter::emptyList()
{
    test::TestEnv env;
    NewsletterLists l;
    l.Open(env.path());
    l.AddAddress(T::Recipients, "a@x.de b@x.de");
    l.AddAddress(T::Exclusions, "c@x.de");
    l.EmptyList(T::Recipients);
    QCOMPARE(l.Recipients().RecordCount(), 0);
    QCOMPARE(l.Exclusions().RecordCount(), 1);
    QCOMPARE(l.AddAddress(T::Recipients, "a@x.de"), 1);
}

void tst_Newsletter::filesReadBackExactly()
{
    test::TestEnv env;
    const QDateTime when(QDate(2026, 12, 10), QTime(11, 45, 30, 250));
    {
        NewsletterLists l;
        l.Open(env.path());
        l.Now = [&] { return when; };
        l.AddAddress(T::Recipients, "a@x.de", "0", QString::fromUtf8("Kd-Ä1"));
        l.AddAddress(T::Recipients, "b@x.de");
        l.AddAddress(T::Exclusions, "c@x.de", QString(), "77");
        QVERIFY(l.Close().isEmpty());
    }
    const TablePacket rec = TableFile::ReadPacket(env.file(NewsletterLists::RecipientFileName()));
    QCOMPARE(rec.fields.size(), 4);
    QCOMPARE(rec.fields.at(0).name, QString("EMAIL"));
    QCOMPARE(rec.fields.at(0).size, 100);
    QCOMPARE(rec.fields.at(1).name, QString("kdnummer"));
    QCOMPARE(rec.fields.at(1).size, 40);
    QCOMPARE(rec.fields.at(2).type, FieldType::Integer);
    QCOMPARE(rec.fields.at(3).type, FieldType::DateTime);
    QCOMPARE(rec.rows.size(), 2);
    QCOMPARE(rec.rows.at(0), (QVector<QVariant>{"a@x.de", QString::fromUtf8("Kd-Ä1"), 0, when}));
    QCOMPARE(rec.rows.at(1).at(2).toInt(), 1);
    const TablePacket ex = TableFile::ReadPacket(env.file(NewsletterLists::ExclusionFileName()));
    QCOMPARE(ex.rows.size(), 1);
    QCOMPARE(ex.rows.at(0).at(0).toString(), QString("c@x.de"));
    QVERIFY(!ex.rows.at(0).at(2).isValid());

    // reopened, the lists still keep their invariants
    NewsletterLists again;
    again.Open(env.path());
    QCOMPARE(again.AddAddress(T::Recipients, "c@x.de a@x.de"), 0);
}

void tst_Newsletter::unreadableFileKeptAsBackup()
{
    test::TestEnv env;
    writeAll(env.file(NewsletterLists::RecipientFileName()), "<kein XML");
    NewsletterLists l;
    QVERIFY(l.Open(env.path()).isEmpty());
    QVERIFY(l.IsOpen(T::Recipients));
    QCOMPARE(l.Recipients().RecordCount(), 0);
    const QStringList backups = QDir(env.path()).entryList({"newsletter_adr.defekt*"});
    QCOMPARE(backups.size(), 1);
}

void tst_Newsletter::vcards_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("mails");

    QTest::newRow("2.1 quoted-printable cp1252, soft breaks")
        << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\n"
                      "N;CHARSET=Windows-1252;ENCODING=QUOTED-PRINTABLE:M=FCller;J=FCr=\r\ngen\r\n"
                      "EMAIL;PREF;INTERNET:juergen@example.de\r\n"
                      "EMAIL;INTERNET:j.mueller@firma.de\r\nEND:VCARD\r\n")
        << QStringList{QString::fromUtf8("Jürgen Müller")}
        << QStringList{"juergen@example.de", "j.mueller@firma.de"};
    QTest::newRow("2.1 qp utf-8, no charset")
        << QByteArray("BEGIN:VCARD\nVERSION:2.1\nFN;ENCODING=QUOTED-PRINTABLE:G=C3=BCnther Stra=C3=9Fe\n"
                      "EMAIL:g@example.de\nEND:VCARD\n")
        << QStringList{QString::fromUtf8("Günther Straße")} << QStringList{"g@example.de"};
    QTest::newRow("3.0 folded, groups, several cards")
        << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Anna\r\n  Schmidt\r\n"
                      "item1.EMAIL;TYPE=INTERNET,pref:anna@\r\n example.org\r\n"
                      "END:VCARD\r\nBEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ohne Mail\r\nEND:VCARD\r\n"
                      "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Bernd\\, der Zweite\r\nEMAIL:bernd@example.net\r\n"
                      "END:VCARD\r\n")
        << QStringList{"Anna Schmidt", "Ohne Mail", "Bernd, der Zweite"}
        << QStringList{"anna@example.org", "bernd@example.net"};
    QTest::newRow("4.0 utf-8 with BOM")
        << QByteArray("\xEF\xBB\xBF" "BEGIN:VCARD\nVERSION:4.0\nFN:J\xC3\xB6rg\nEMAIL;TYPE=work:"
                      "joerg@example.com\nEND:VCARD\n")
        << QStringList{QString::fromUtf8("Jörg")} << QStringList{"joerg@example.com"};
    QTest::newRow("cp1252 raw bytes")
        << QByteArray("BEGIN:VCARD\nVERSION:3.0\nFN:K\xe4the\nEMAIL:kaethe@example.de\nEND:VCARD\n")
        << QStringList{QString::fromUtf8("Käthe")} << QStringList{"kaethe@example.de"};
    QTest::newRow("unterminated card ignored")
        << QByteArray("BEGIN:VCARD\nFN:X\nEMAIL:x@example.de\n") << QStringList{} << QStringList{};
}

void tst_Newsletter::vcards()
{
    QFETCH(QByteArray, data);
    QFETCH(QStringList, names);
    QFETCH(QStringList, mails);
    const auto cards = ParseVCards(data);
    QStringList gotNames, gotMails;
    for (const auto &c : cards) {
        gotNames << c.name;
        gotMails << c.emails;
    }
    QCOMPARE(gotNames, names);
    QCOMPARE(gotMails, mails);
}

void tst_Newsletter::vcardImport()
{
    test::TestEnv env;
    writeAll(env.file("k.vcf"), "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:A\r\nEMAIL:a@example.de\r\nX-CUSTOMER-ID:4711\r\n"
                                "EMAIL:a@example.de\r\nEMAIL:<kaputt>\r\nEND:VCARD\r\n"
                                "BEGIN:VCARD\r\nVERSION:3.0\r\nEMAIL:gesperrt@example.de\r\nEND:VCARD\r\n");
    NewsletterLists l;
    l.Open(env.path());
    l.AddAddress(T::Exclusions, "gesperrt@example.de");
    const auto r = l.ImportVCardFile(env.file("k.vcf"));
    QCOMPARE(r.added, 1);
    QCOMPARE(emails(l.Recipients()), QStringList{"a@example.de"});
    l.Recipients().First();
    QCOMPARE(l.Recipients().FieldByName("kdnummer")->AsString(), QString("4711"));
}

void tst_Newsletter::mimeHeader_data()
{
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::newRow("Q utf-8") << "=?UTF-8?Q?J=C3=BCrgen_M=C3=BCller?=" << QString::fromUtf8("Jürgen Müller");
    QTest::newRow("B iso-8859-1") << "=?iso-8859-1?B?S+R0aGU=?=" << QString::fromUtf8("Käthe");
    QTest::newRow("two words joined") << "=?utf-8?q?Gro=C3=9F?= =?utf-8?q?mann?=" << QString::fromUtf8("Großmann");
    QTest::newRow("mixed") << "Herr =?windows-1252?Q?G=F6bel?= GmbH" << QString::fromUtf8("Herr Göbel GmbH");
    QTest::newRow("plain") << "Anna" << "Anna";
}

void tst_Newsletter::mimeHeader()
{
    QFETCH(QString, in);
    QFETCH(QString, out);
    QCOMPARE(DecodeMimeHeader(in), out);
}

void tst_Newsletter::addressList_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("mails");
    QTest::newRow("quoted name with comma") << "\"Meier, Hans\" <hans@example.de>, anna@example.org"
                                            << QStringList{"Meier, Hans", ""}
                                            << QStringList{"hans@example.de", "anna@example.org"};
    QTest::newRow("encoded name") << "=?UTF-8?Q?J=C3=B6rg?= <joerg@example.com>"
                                  << QStringList{QString::fromUtf8("Jörg")} << QStringList{"joerg@example.com"};
    QTest::newRow("group") << "Team: a@example.de, \"B\" <b@example.de>;, c@example.de"
                           << QStringList{"", "B", ""}
                           << QStringList{"a@example.de", "b@example.de", "c@example.de"};
    QTest::newRow("empty group") << "undisclosed-recipients:;" << QStringList{} << QStringList{};
    QTest::newRow("comment") << "d@example.de (Dieter, Vertrieb)" << QStringList{""} << QStringList{"d@example.de"};
}

void tst_Newsletter::addressList()
{
    QFETCH(QString, value);
    QFETCH(QStringList, names);
    QFETCH(QStringList, mails);
    const auto list = ParseAddressList(value);
    QStringList gotNames;
    for (const auto &a : list)
        gotNames << a.name;
    QCOMPARE(addresses(list), mails);
    QCOMPARE(gotNames, names);
}

static const QByteArray kMbox =
    "From me@example.de Mon Dec  7 10:00:00 2026\n"
    "From: Ich Selbst <me@example.de>\n"
    "To: =?UTF-8?Q?J=C3=BCrgen?= <juergen@example.de>,\n"
    "\t\"Meier, Hans\" <hans@example.de>\n"
    "Cc: Team: a@example.de, b@example.de;\n"
    "Subject: Angebot\n"
    "\n"
    "To: nicht@example.de\n"
    ">From the body\n"
    "From an unquoted body line\n"
    "To: auch-nicht@example.de\n"
    "\n"
    "From me@example.de Tue Dec  8 10:00:00 2026\r\n"
    "from: me@example.de\r\n"
    "BCC: geheim@example.de\r\n"
    "to: Hans <hans@example.de>\r\n"
    "\r\n"
    "Text\r\n";

void tst_Newsletter::mboxRecipients()
{
    QCOMPARE(SplitMbox(kMbox).size(), 2);
    const auto list = MboxRecipients(kMbox);
    QCOMPARE(addresses(list), (QStringList{"juergen@example.de", "hans@example.de", "a@example.de", "b@example.de",
                                           "hans@example.de", "geheim@example.de"}));
    QCOMPARE(list.at(0).name, QString::fromUtf8("Jürgen"));

    test::TestEnv env;
    writeAll(env.file("Sent"), kMbox);
    NewsletterLists l;
    l.Open(env.path());
    const auto r = l.ImportMailbox(env.file("Sent"));
    QCOMPARE(r.added, 5);
    QVERIFY(!emails(l.Recipients()).contains("me@example.de"));
    QVERIFY(!emails(l.Recipients()).contains("nicht@example.de"));
    QVERIFY(!emails(l.Recipients()).contains("auch-nicht@example.de"));
}

void tst_Newsletter::maildirImport()
{
    test::TestEnv env;
    QDir(env.path()).mkpath("Sent/cur");
    QDir(env.path()).mkpath("Sent/new");
    QDir(env.path()).mkpath("Sent/tmp");
    writeAll(env.file("Sent/cur/1.eml:2,S"), "From: me@example.de\r\nTo: eins@example.de\r\n\r\nx\r\n");
    writeAll(env.file("Sent/new/2.eml"), "From: me@example.de\nCc: zwei@example.de, eins@example.de\n\nx\n");
    writeAll(env.file("Sent/tmp/3.eml"), "To: halb@example.de\n");
    NewsletterLists l;
    l.Open(env.path());
    const auto r = l.ImportMailbox(env.file("Sent"));
    QCOMPARE(r.added, 2);
    QCOMPARE(emails(l.Recipients()), (QStringList{"eins@example.de", "zwei@example.de"}));
}

void tst_Newsletter::wawiImport()
{
    test::TestEnv env;
    MemTable adr;
    adr.CreateDataSet({{"Mandant", FieldType::Integer}, {"E-Mail", FieldType::String, 80},
                       {"Serienmail", FieldType::Boolean}, {"Nummer", FieldType::String, 20}});
    auto add = [&](int m, const QString &mail, bool serie, const QString &nr) {
        adr.AppendRawRow({m, mail, serie, nr});
    };
    add(1, "a@example.de", false, "10001");
    add(2, "andere@example.de", false, "10002");
    add(1, "  ", false, "10003");
    add(1, "s@example.de", true, "10004");
    add(1, "kunde@example.de; zweit@example.de", false, "10005");
    adr.RawRowsDone();
    NewsletterLists l;
    l.Open(env.path());
    l.AddAddress(T::Recipients, "s@example.de");
    int last = 0, max = 0;
    const auto r = l.ImportWaWiAddresses(adr, 1, [&](int i, int n) {
        last = i;
        max = n;
        return true;
    });
    QVERIFY(r.error.isEmpty());
    QCOMPARE(last, 5);
    QCOMPARE(max, 5);
    QCOMPARE(emails(l.Recipients()), (QStringList{"a@example.de", "zweit@example.de", "kunde@example.de"}));
    QCOMPARE(emails(l.Exclusions()), QStringList{"s@example.de"});
    l.Exclusions().First();
    QCOMPARE(l.Exclusions().FieldByName("kdnummer")->AsString(), QString("10004"));
}

void tst_Newsletter::shopImportPages()
{
    test::TestEnv env;
    NewsletterLists l;
    l.Open(env.path());
    l.AddAddress(T::Exclusions, "shop3@example.de");
    l.AddAddress(T::Recipients, "weg@example.de");
    QStringList sqls;
    auto query = [&](const QString &sql, MemTable &result) {
        sqls << sql;
        if (sql.startsWith("SELECT COUNT(*)")) {
            result.CreateDataSet({{"COUNT(*)", FieldType::String, 20}});
            result.AppendRawRow({sql.endsWith("newsletter") ? QString("75") : QString("2")});
        } else if (sql.contains("FROM newsletter LIMIT")) {
            const QStringList lim = sql.section(' ', -1).split(',');
            result.CreateDataSet({{"kdnummer", FieldType::String, 40}, {"html", FieldType::String, 5},
                                  {"EMail", FieldType::String, 100}});
            for (int i = lim[0].toInt(); i < lim[0].toInt() + lim[1].toInt(); ++i)
                result.AppendRawRow({QString("K%1").arg(i), QString(i == 0 ? "0" : "1"),
                                     QString("shop%1@example.de").arg(i)});
        } else {
            result.CreateDataSet({{"EMail", FieldType::String, 100}});
            result.AppendRawRow({QString("weg@example.de")});
            result.AppendRawRow({QString("nein@example.de")});
        }
        result.RawRowsDone();
        return 0;
    };
    const auto r = l.ImportShop(query);
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QCOMPARE(sqls, (QStringList{"SELECT COUNT(*) FROM newsletter", "SELECT * FROM newsletter LIMIT 0,30",
                                "SELECT * FROM newsletter LIMIT 30,30", "SELECT * FROM newsletter LIMIT 60,15",
                                "SELECT COUNT(*) FROM newsletter_not", "SELECT * FROM newsletter_not LIMIT 0,2"}));
    QCOMPARE(l.Recipients().RecordCount(), 74);   // 75 minus the excluded one
    QVERIFY(!emails(l.Recipients()).contains("shop3@example.de"));
    QVERIFY(!emails(l.Recipients()).contains("weg@example.de"));
    QCOMPARE(emails(l.Exclusions()), (QStringList{"shop3@example.de", "weg@example.de", "nein@example.de"}));
    l.Recipients().Locate("EMAIL", {"shop0@example.de"});
    QCOMPARE(l.Recipients().FieldByName("html")->AsInteger(), 0);
    QCOMPARE(l.Recipients().FieldByName("kdnummer")->AsString(), QString("K0"));
}

void tst_Newsletter::shopImportFailure()
{
    test::TestEnv env;
    NewsletterLists l;
    l.Open(env.path());
    int calls = 0;
    auto query = [&](const QString &, MemTable &result) {
        ++calls;
        result.Close();
        return -10;
    };
    const auto r = l.ImportShop(query);
    QCOMPARE(calls, 1);
    QVERIFY(r.error.contains("SELECT COUNT(*) FROM newsletter"));
    QVERIFY(!l.Busy());
}

QTEST_GUILESS_MAIN(tst_Newsletter)
#include "tst_Newsletter.moc"
