// The payment-method step against a private MariaDB, directly and through
// the gateway script: the mapping of payment conditions to shop ids with
// the new-customer default (also without a file), the complete transfer
// that empties "zahlart" first, and a dry run that writes nothing.
#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "masterdata/MasterLayouts.h"
#include "masterdata/TableFile.h"
#include "shopdb/ShopConnection.h"
#include "transfer/TransferRun.h"
#include "support/TestEnv.h"
#include "support/TestServers.h"

#include <QFile>
#include <QtTest>

using namespace mv;
using namespace mv::test;

class tst_PaymentMethods : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void mapping_data();
    void mapping();
    void completeAndDryRun_data();
    void completeAndDryRun();

private:
    void useShop(const QString &mode);
    bool exec(const QString &sql);
    QString scalar(const QString &sql) { return m_db.scalar(sql, m_current); }
    TransferReport run(bool complete, bool dryRun);

    std::unique_ptr<TestEnv> m_env;
    MariaDbServer m_db;
    PhpServer m_php;
    QString m_current;
    int m_dbs = 0;
};

void tst_PaymentMethods::initTestCase()
{
    m_env = std::make_unique<TestEnv>();
    QString err;
    MV_REQUIRE_SERVER(m_db.start(&err), err);
    MV_REQUIRE_SERVER(m_php.startShop(&err), err);
}

void tst_PaymentMethods::cleanup()
{
    SetUiHooks(nullptr);
    Settings().AbortWait = false;
    Shop().Ti_Connect_OffTimer();
    Shop().Ti_Connect2_OffTimer();
    QFile::remove(Settings().ExeDir + QStringLiteral("zahlungsart_6.xml"));
}

// A fresh shop database for every case.
void tst_PaymentMethods::useShop(const QString &mode)
{
    m_current = QStringLiteral("pm_%1").arg(++m_dbs);
    QString err;
    QVERIFY2(m_db.installShopSchema(m_current, &err), qPrintable(err));
    ShopSettings &s = Settings();
    s.SQL_Server = mode == QLatin1String("direct") ? QStringLiteral("MySQL") : QStringLiteral("HTML-Verbindung");
    s.SQL_HTTP = m_php.baseUrl();
    s.SQL_Host = m_db.hostPort();
    s.SQL_User = m_db.user();
    s.SQL_Pass = m_db.password();
    s.SQL_Data = m_current;
    s.SQL_Global.clear();
    Shop().Ti_Connect_OffTimer();
}

bool tst_PaymentMethods::exec(const QString &sql)
{
    QString err;
    const bool ok = m_db.exec(sql, &err, nullptr, m_current);
    if (!ok)
        qWarning("%s: %s", qPrintable(sql), qPrintable(err));
    return ok;
}

TransferReport tst_PaymentMethods::run(bool complete, bool dryRun)
{
    TransferOptions o;
    o.kinds = {QStringLiteral("zahlungsarten")};
    o.complete = complete;
    o.allData = !complete;
    o.sinceDate = false;
    o.dryRun = dryRun;
    RecordingUiHooks hooks;
    SetUiHooks(&hooks);
    TransferRun r;
    r.Run(o);
    SetUiHooks(nullptr);
    return r.LastReport();
}

void tst_PaymentMethods::mapping_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("methods");    // (id,kfmart,neukunde),...
    QTest::addColumn<QString>("expected");   // adresse:zahlart of addresses 1..6
    // Addresses: 1 NULL, 2 0, 3 -5, 4 -9 (no such method), 5 5 (a shop id), 6 -2.
    struct Case { const char *name; const char *methods; const char *expected; };
    const Case cases[] = {
        {"one default applies", "(2,2,1),(5,5,0)", "1:2,2:2,3:5,4:2,5:5,6:2"},
        {"first default in id order", "(3,3,1),(2,2,1),(5,5,0)", "1:2,2:2,3:5,4:2,5:5,6:2"},
        {"no default: conditions only", "(2,2,0),(5,5,NULL)", "1:NULL,2:0,3:5,4:-9,5:5,6:2"},
        {"shop id differs from the WaWi number", "(12,2,0),(15,5,1)", "1:15,2:15,3:15,4:15,5:5,6:12"},
        {"default id below 1 ignored", "(0,7,1),(5,5,0)", "1:NULL,2:0,3:5,4:-9,5:5,6:-2"},
        {"method without WaWi number maps nothing", "(2,NULL,0),(5,0,0)", "1:NULL,2:0,3:-5,4:-9,5:5,6:-2"},
    };
    for (const char *mode : {"direct", "gateway"})
        for (const Case &c : cases)
            QTest::newRow(qPrintable(QStringLiteral("%1: %2").arg(QString::fromLatin1(mode), QString::fromLatin1(c.name))))
                << QString::fromLatin1(mode) << QString::fromLatin1(c.methods) << QString::fromLatin1(c.expected);
}

void tst_PaymentMethods::mapping()
{
    QFETCH(QString, mode);
    QFETCH(QString, methods);
    QFETCH(QString, expected);
    useShop(mode);
    QVERIFY(exec(QStringLiteral("INSERT INTO zahlart (id,kfmart,neukunde) VALUES ") + methods));
    QVERIFY(exec("INSERT INTO adressen (adresse,art,zahlart) VALUES (1,0,NULL),(2,0,0),(3,0,-5),(4,0,-9),(5,0,5),(6,0,-2)"));
    // No file: only the mapping runs.
    const TransferReport rep = run(false, false);
    QVERIFY2(rep.Succeeded(), qPrintable(rep.toText()));
    QCOMPARE(scalar("SELECT GROUP_CONCAT(CONCAT(adresse,':',COALESCE(zahlart,'NULL')) ORDER BY adresse) FROM adressen"), expected);
}

void tst_PaymentMethods::completeAndDryRun_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("direct") << "direct";
    QTest::newRow("gateway") << "gateway";
}

void tst_PaymentMethods::completeAndDryRun()
{
    QFETCH(QString, mode);
    useShop(mode);
    const QVector<FieldDef> fields = ZahlartTable().fields;
    QVector<QVariant> row(fields.size());
    auto set = [&](const char *name, const QVariant &v) {
        for (int i = 0; i < fields.size(); ++i)
            if (fields[i].name == QLatin1String(name))
                row[i] = v;
    };
    set("Zahlungsart", 2);
    set("Art", QString::fromUtf8("Rechnung 'netto' \\ 14 Tage & mehr"));
    set("Online", true);
    set("NeuKunde", 1);
    TableFile::WritePacketFile(Settings().ExeDir + QStringLiteral("zahlungsart_6.xml"), fields, {row});
    QVERIFY(exec("INSERT INTO zahlart (id,kfmart,neukunde,beschreibung) VALUES (99,99,1,'alt')"));
    QVERIFY(exec("INSERT INTO adressen (adresse,art,zahlart) VALUES (1,0,-2),(2,0,NULL)"));

    const QString before = scalar("SELECT GROUP_CONCAT(CONCAT_WS('|',id,kfmart,neukunde,beschreibung)) FROM zahlart");
    TransferReport rep = run(true, true);
    QVERIFY2(rep.Succeeded(), qPrintable(rep.toText()));
    QCOMPARE(scalar("SELECT GROUP_CONCAT(CONCAT_WS('|',id,kfmart,neukunde,beschreibung)) FROM zahlart"), before);
    QCOMPARE(scalar("SELECT GROUP_CONCAT(COALESCE(zahlart,'NULL') ORDER BY adresse) FROM adressen"), QStringLiteral("-2,NULL"));

    rep = run(true, false);
    QVERIFY2(rep.Succeeded(), qPrintable(rep.toText()));
    QCOMPARE(rep.steps[1].tables.value(QStringLiteral("zahlart")).deleted, 1);
    QCOMPARE(rep.steps[1].tables.value(QStringLiteral("zahlart")).inserted, 1);
    QCOMPARE(scalar("SELECT GROUP_CONCAT(CONCAT_WS('|',id,kfmart,neukunde,aktiv)) FROM zahlart"), QStringLiteral("2|2|1|1"));
    QCOMPARE(scalar("SELECT beschreibung FROM zahlart WHERE id=2"), QString::fromUtf8("Rechnung 'netto' \\ 14 Tage & mehr"));
    QCOMPARE(scalar("SELECT GROUP_CONCAT(zahlart ORDER BY adresse) FROM adressen"), QStringLiteral("2,2"));
}

QTEST_GUILESS_MAIN(tst_PaymentMethods)
#include "tst_PaymentMethods.moc"
