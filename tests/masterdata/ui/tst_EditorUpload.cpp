// What an editor writes reaches the shop as typed: each editor's file is
// uploaded by "marktvoll-cli transfer" into a private MariaDB and compared
// byte by byte (the shop tables are latin1, the files Windows-1252).

#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "core/UiHooks.h"
#include "masterdata/TableFile.h"
#include "masterdata/ui/TFM_FAQ.h"
#include "masterdata/ui/TFM_Laender.h"
#include "masterdata/ui/TFM_News.h"
#include "masterdata/ui/TFM_Versandarten.h"
#include "masterdata/ui/TFM_Versandmodul.h"
#include "support/TestEnv.h"
#include "support/TestServers.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <memory>

using namespace mv;
using namespace mv::test;

namespace {
// The shop's form of a text as the upload writes it: line breaks as
// "<br>", the acute accent as "&acute;"; otherwise byte-exact.
QString ansiHex(const QString &text)
{
    QString s = text;
    s.replace(QStringLiteral("\r\n"), QStringLiteral("<br>"));
    s.replace(QChar(0x00B4), QStringLiteral("&acute;"));
    return QString::fromLatin1(ToAnsi(s).toHex().toUpper());
}

void set(Dataset &t, const char *field, const QVariant &v)
{
    t.FieldByName(QString::fromLatin1(field))->SetValue(v);
}

const QString kCountry = QString::fromUtf8("Côte d'Ivoire");
const QString kCurrency = QString::fromUtf8("Franc „CFA“ – BCEAO");
const QString kNewsTitle = QString::fromUtf8("Grüße zum Fest");
const QString kNewsText = QString::fromUtf8("Zeile 1\r\nZeile 2 mit 'Apostroph' & <b>fett</b> \\n");
const QString kCarrier = QString::fromUtf8("DHL – Päckchen");
const QString kMethod = QString::fromUtf8("Spedition O´Brien");
const QString kMethodText = QString::fromUtf8("Lieferung frei Bordsteinkante\r\nMo–Fr, außer Feiertag's");
const QString kGroup = QString::fromUtf8("Versand & Lieferung");
const QString kEntry = QString::fromUtf8("Wie lange dauert's?");
const QString kHelp = QString::fromUtf8("2–3 Werktage,\r\nins Ausland länger");
}

class TstEditorUpload : public QObject {
    Q_OBJECT
    RecordingUiHooks m_ui;
    std::unique_ptr<TestEnv> m_env;
    MariaDbServer m_db;

    struct Result { int exit; QString out, err; };
    Result cli(const QStringList &args)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("MARKTVOLL_HOME"), m_env->path());
        env.insert(QStringLiteral("MARKTVOLL_REGISTRY"), m_env->file(QStringLiteral("registry.reg")));
        p.setProcessEnvironment(env);
        p.start(TestEnv::binaryDir() + QStringLiteral("/marktvoll-cli"), args);
        if (!p.waitForFinished(300000))
            return {-1, {}, QStringLiteral("timeout")};
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2, QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }
    QString hex(const QString &sql) { return m_db.scalar(sql); }

private slots:
    void initTestCase()
    {
        // The upload is the transfer's; without it in the program there is
        // nothing to compare with.
        m_env = std::make_unique<TestEnv>();
        QVERIFY(QFile::exists(TestEnv::binaryDir() + QStringLiteral("/marktvoll-cli")));
        const Result help = cli({QStringLiteral("--help")});
        if (!help.err.contains(QStringLiteral("marktvoll-cli transfer")))
            QSKIP("marktvoll-cli has no transfer command in this build");
        QString err;
        MV_REQUIRE_SERVER(m_db.start(&err), err);
        QVERIFY2(m_db.installShopSchema(QString(), &err), qPrintable(err));
        QVERIFY(copyTree(TestEnv::sourceDir() + QStringLiteral("/db"), m_env->file(QStringLiteral("db"))));
        ShopSettings &s = Settings();
        s.SQL_Server = QStringLiteral("MySQL");
        s.SQL_Host = m_db.hostPort();
        s.SQL_User = m_db.user();
        s.SQL_Pass = m_db.password();
        s.SQL_Data = m_db.database();
        QVERIFY2(SaveSettings(&err), qPrintable(err));
    }
    void init()
    {
        m_ui = RecordingUiHooks();
        SetUiHooks(&m_ui);
    }
    void cleanup() { SetUiHooks(nullptr); }

    void countries()
    {
        {
            TFM_Laender w;
            w.show();
            TableFile &t = *w.Table();
            t.Append();
            set(t, "laendername", kCountry);
            set(t, "isolaendercode", "CI");
            set(t, "waerungsname", kCurrency);
            set(t, "kurs", 655.957);
            set(t, "sprache", QString::fromUtf8("Französisch"));
            set(t, "eu", "1");
            set(t, "egident", "0");
            t.Post();
            // A row deleted before closing never reaches the shop.
            t.Append();
            set(t, "laendername", QStringLiteral("Atlantis"));
            t.Post();
            t.Delete();
            QVERIFY(w.close());
        }
        const Result r = cli({"transfer", "--kinds", "laender", "--all"});
        QVERIFY2(r.exit == 0, qPrintable(r.out + r.err));
        QCOMPARE(m_db.scalar("SELECT COUNT(*) FROM laender"), QStringLiteral("1"));
        QCOMPARE(hex("SELECT HEX(laendername) FROM laender WHERE isolaendercode='CI'"), ansiHex(kCountry));
        QCOMPARE(hex("SELECT HEX(waerungsname) FROM laender WHERE isolaendercode='CI'"), ansiHex(kCurrency));
        QCOMPARE(hex("SELECT HEX(sprache) FROM laender WHERE isolaendercode='CI'"), ansiHex(QString::fromUtf8("Französisch")));
        QCOMPARE(m_db.scalar("SELECT kurs FROM laender WHERE isolaendercode='CI'"), QStringLiteral("655.957"));
        QCOMPARE(m_db.scalar("SELECT CONCAT(eu, egident) FROM laender WHERE isolaendercode='CI'"), QStringLiteral("10"));
    }

    void news()
    {
        {
            TFM_News w;
            w.show();
            TableFile &t = *w.Table();
            t.Append();
            set(t, "header", kNewsTitle);
            set(t, "header2", QStringLiteral("Season's greetings"));
            set(t, "inhalt", kNewsText);
            t.Post();
            QVERIFY(w.close());
        }
        const Result r = cli({"transfer", "--kinds", "news", "--all"});
        QVERIFY2(r.exit == 0, qPrintable(r.out + r.err));
        QCOMPARE(m_db.scalar("SELECT COUNT(*) FROM news"), QStringLiteral("1"));
        QCOMPARE(hex("SELECT HEX(header) FROM news"), ansiHex(kNewsTitle));
        QCOMPARE(hex("SELECT HEX(header2) FROM news"), ansiHex(QStringLiteral("Season's greetings")));
        QCOMPARE(hex("SELECT HEX(inhalt) FROM news"), ansiHex(kNewsText));
    }

    // Shipping costs and shipping methods go up in the same step.
    void shippingCostsAndMethods()
    {
        {
            TFM_Versandmodul w;
            w.show();
            TableFile &t = *w.Table();
            t.Append();
            set(t, "versender", kCarrier);
            set(t, "gewicht", 2.5);
            set(t, "preis", 4.95);
            set(t, "preis_ausland", 12.5);
            set(t, "Land", QString::fromUtf8("Österreich"));
            t.Post();
            QVERIFY(w.close());
        }
        {
            TFM_Versandarten w(QString(), m_env->file(QStringLiteral("keine-wawi")));
            w.show();
            TableFile &t = *w.Table();
            t.Append();
            set(t, "versandart", kMethod);
            set(t, "beschreibung", kMethodText);
            t.Post();
            QVERIFY(w.close());
        }
        const Result r = cli({"transfer", "--kinds", "versandarten", "--all"});
        QVERIFY2(r.exit == 0, qPrintable(r.out + r.err));
        QCOMPARE(hex("SELECT HEX(versender) FROM nachgewicht"), ansiHex(kCarrier));
        QCOMPARE(m_db.scalar("SELECT CONCAT(gewicht, '|', preis, '|', preis_ausland) FROM nachgewicht"),
                 QStringLiteral("2.5|4.95|12.5"));
        QCOMPARE(hex("SELECT HEX(land) FROM nachgewicht"), ansiHex(QString::fromUtf8("Österreich")));
        QCOMPARE(hex("SELECT HEX(versandart) FROM versand"), ansiHex(kMethod));
        QCOMPARE(hex("SELECT HEX(beschreibung) FROM versand"), ansiHex(kMethodText));
    }

    void faq()
    {
        {
            TFM_FAQ w;
            w.show();
            TableFile &g = *w.Groups();
            g.Append();
            set(g, "bezeichnung", kGroup);
            g.Post();
            TableFile &e = *w.Entries();
            e.Append();
            set(e, "beschreibung", kEntry);
            set(e, "hilfe", kHelp);
            e.Post();
            QVERIFY(w.close());
        }
        const Result r = cli({"transfer", "--kinds", "faq", "--all"});
        QVERIFY2(r.exit == 0, qPrintable(r.out + r.err));
        QCOMPARE(hex("SELECT HEX(g.bezeichnung) FROM faq_gruppe g"), ansiHex(kGroup));
        // The entry still belongs to its group in the shop.
        QCOMPARE(hex("SELECT HEX(t.beschreibung) FROM faq_thema t JOIN faq_gruppe g ON t.gruppe = g.zaehler"),
                 ansiHex(kEntry));
        QCOMPARE(hex("SELECT HEX(hilfe) FROM faq_thema"), ansiHex(kHelp));
    }
};

QTEST_MAIN(TstEditorUpload)
#include "tst_EditorUpload.moc"
