// Writing statements in batches, directly and through the gateway script,
// against a private MariaDB: refused statements inside a batch keep their
// meaning (same results, same texts, the rest still applied), an older
// gateway script without batches still gets every statement, STOP ends at a
// record boundary without refusals, and a server that goes away in the
// middle ends the run with status 2 while a rerun leaves the same shop.
#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "shopdb/GatewayTransport.h"
#include "shopdb/HttpSqlGateway.h"
#include "shopdb/ShopConnection.h"
#include "transfer/TransferRun.h"
#include "transfer/TransferStep.h"
#include "wawi/TVLBTable.h"
#include "wawi/WaWiDemo.h"
#include "wawi/WaWiDetect.h"
#include "support/TestEnv.h"
#include "support/TestServers.h"

#include <QtTest>

#include <functional>

using namespace mv;
using namespace mv::test;

namespace {

struct HooksScope {
    explicit HooksScope(UiHooks *h) { SetUiHooks(h); }
    ~HooksScope() { SetUiHooks(nullptr); }
};

// Acts once the status names `step` and the step reported progress `after` times.
class StepHooks : public RecordingUiHooks {
public:
    void StatusText(const QString &t) override
    {
        RecordingUiHooks::StatusText(t);
        armed = armed || t == step;
    }
    void Progress(int p, int m, const QString &text) override
    {
        RecordingUiHooks::Progress(p, m, text);
        if (armed && act && ++seen == after) {
            act();
            act = nullptr;
        }
    }
    QString step;
    int after = 0;
    int seen = 0;
    bool armed = false;
    std::function<void()> act;
};

// Counts the program's requests to the gateway and the batches among them.
struct RequestCount {
    RequestCount()
    {
        Transport().RequestObserver = [this](const QUrl &url, const QByteArray *post) {
            ++requests;
            if (post && (post->contains("&batch=") || post->contains("&batchz=")))
                ++batches;
            Q_UNUSED(url);
        };
    }
    ~RequestCount() { Transport().RequestObserver = nullptr; }
    int requests = 0;
    int batches = 0;
};

const QString kTable = QStringLiteral("stapel");

} // namespace

class tst_TransferBatches : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void refusedInsideBatch_data();
    void refusedInsideBatch();
    void olderScriptOneByOne();
    void stopAtRecordBoundary_data();
    void stopAtRecordBoundary();
    void stopDuringArticles_data();
    void stopDuringArticles();
    void serverGoesAway_data();
    void serverGoesAway();

private:
    void useShop(const QString &mode, const QString &database, const QString &http = QString());
    void demoWaWi();
    TransferOptions allKinds(bool batched) const;
    QMap<QString, QList<QStringList>> contents(const QString &database);

    std::unique_ptr<TestEnv> m_env;
    MariaDbServer m_db;
    PhpServer m_php, m_oldPhp;
    bool m_wawi = false;
};

void tst_TransferBatches::initTestCase()
{
    m_env = std::make_unique<TestEnv>();
    QString err;
    MV_REQUIRE_SERVER(m_db.start(&err), err);
    MV_REQUIRE_SERVER(m_php.startShop(&err), err);
    MV_REQUIRE_SERVER(m_oldPhp.startShop(&err), err);
    // The older script: the copy kept from before batches.
    for (const char *name : {"db_check.php", "db_check2.php"}) {
        const QString target = m_oldPhp.docroot() + QStringLiteral("/module/db_check/") + QLatin1String(name);
        QFile::remove(target);
        QVERIFY(QFile::copy(TestEnv::sourceDir() + QStringLiteral("/tests/shopdb/fixtures/db_check_single/")
                                + QLatin1String(name),
                            target));
    }
    // Strict mode: a value too long for its column is refused, not cut.
    QVERIFY2(m_db.exec(QStringLiteral("SET GLOBAL sql_mode = 'STRICT_ALL_TABLES,NO_ENGINE_SUBSTITUTION'"), &err),
             qPrintable(err));
    QVERIFY(copyTree(TestEnv::sourceDir() + QStringLiteral("/db"), m_env->file(QStringLiteral("db"))));
}

void tst_TransferBatches::cleanup()
{
    SetUiHooks(nullptr);
    Settings().AbortWait = false;
    Shop().ErrorLog().Clear();
    Shop().Ti_Connect_OffTimer();
    Shop().Ti_Connect2_OffTimer();
    Transport().CloseConnections();
}

void tst_TransferBatches::useShop(const QString &mode, const QString &database, const QString &http)
{
    ShopSettings &s = Settings();
    s.SQL_Server = mode == QLatin1String("direct") ? QStringLiteral("MySQL") : QStringLiteral("HTML-Verbindung");
    s.SQL_HTTP = http.isEmpty() ? m_php.baseUrl() : http;
    s.SQL_Host = m_db.hostPort();
    s.SQL_User = m_db.user();
    s.SQL_Pass = m_db.password();
    s.SQL_Data = database;
    s.SQL_Global = mode == QLatin1String("globals-off") ? QStringLiteral("2") : QString();
    Shop().Ti_Connect_OffTimer();
    Shop().Ti_Connect2_OffTimer();
    Gateway().ResetBatchCaps();
}

void tst_TransferBatches::demoWaWi()
{
    if (m_wawi)
        return;
    const QString wawi = m_env->file(QStringLiteral("demo-wawi"));
    WaWiDemoOptions demo;
    demo.articles = 160;
    demo.addresses = 10;
    demo.groups = 8;
    demo.registerInRegistry = false;
    WriteWaWiDemo(wawi, demo);
    QString err;
    QVERIFY2(TVLBDatabase::Connect(wawi, &err), qPrintable(err));
    Settings().Aktiv_Mandant = 1;
    Settings().WaWiDir = wawi + QLatin1Char('/');
    Settings().E_VK_Netto = {};
    Settings().E_VK_Netto[1] = true;
    WaWiEdition() = 2;
    m_wawi = true;
}

TransferOptions tst_TransferBatches::allKinds(bool batched) const
{
    TransferOptions o;
    for (const TransferKind &k : TransferKinds())
        o.kinds.insert(k.name);
    o.complete = true;
    o.sinceDate = false;
    o.pictures = false;
    o.batched = batched;
    return o;
}

// Every table of the shop, rows sorted, without the first column (the
// tables' own counters, which a complete transfer renumbers).
QMap<QString, QList<QStringList>> tst_TransferBatches::contents(const QString &database)
{
    QMap<QString, QList<QStringList>> m;
    QList<QStringList> tables;
    m_db.exec(QStringLiteral("SHOW TABLES"), nullptr, &tables, database);
    for (const QStringList &t : tables) {
        QList<QStringList> r;
        m_db.exec(QStringLiteral("SELECT * FROM `%1`").arg(t.value(0)), nullptr, &r, database);
        for (QStringList &row : r)
            row.removeFirst();
        std::sort(r.begin(), r.end());
        m.insert(t.value(0), r);
    }
    return m;
}

void tst_TransferBatches::refusedInsideBatch_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("compress");
    QTest::newRow("direct") << QStringLiteral("direct") << -1;
    QTest::newRow("direct, compressed") << QStringLiteral("direct") << 1;
    QTest::newRow("gateway") << QStringLiteral("gateway") << -1;
    QTest::newRow("gateway, compressed") << QStringLiteral("gateway") << 1;
    QTest::newRow("gateway, Globals Off") << QStringLiteral("globals-off") << -1;
}

// The same statements one by one and in batches: the same result per
// statement, the same refusals with the same words, the same table.
void tst_TransferBatches::refusedInsideBatch()
{
    QFETCH(QString, mode);
    QFETCH(int, compress);
    const QString d = QStringLiteral("b_refused");
    const QString longText = QString(60000, QLatin1Char('x'));
    const QStringList statements = {
        QStringLiteral("INSERT INTO stapel (id, name) VALUES (1, 'eins')"),
        QStringLiteral("INSERT INTO stapel (id, name) VALUES (1, 'dop')"),              // duplicate key
        QStringLiteral("INSERT INTO stapel (id, name) VALUES (2, 'viel zu lang für fünf')"), // too long
        QString::fromUtf8("INSERT INTO stapel (id, name) VALUES (3, 'Ä''s#&')"),
        QStringLiteral("UPDATE stapel SET name = 'a;b' WHERE id = 3;"),                  // ";" inside, one at the end
        QStringLiteral("INSERT INTO stapel (id, name) VALUES (4, 'x') -- Kommentar\n"),
        QStringLiteral("INSERT INTO stapel (id, name) VALUES (5, 'y') # Kommentar"),    // comment to the end
        QStringLiteral("INSERT INTO stapel (id, memo) VALUES (6, '") + longText + QStringLiteral("')"),
        QStringLiteral("INSERT INTO stapel (id, name) VALUES (7, 'C:\\\\') /* ; */"),
        QStringLiteral("INSERT INTO stapel (id, name) VALUES (1, 'noch')"),             // duplicate again
        QStringLiteral("DELETE FROM stapel WHERE id = 99"),
        QStringLiteral("INSERT INTO stapel (id, name) VALUES (8, 'ende')"),
    };

    struct Outcome {
        QList<int> codes;
        qint64 refused = 0;
        QStringList messages, errorLog;
        QList<QStringList> rows;
        int requests = 0, batches = 0;
    };
    auto runOnce = [&](bool batched) {
        m_db.dropDatabase(d);
        QString err;
        [&] { QVERIFY2(m_db.createDatabase(d, &err), qPrintable(err)); }();
        [&] {
            QVERIFY2(m_db.exec(QStringLiteral("CREATE TABLE stapel (id INT PRIMARY KEY, name VARCHAR(5), memo TEXT)"),
                               &err, nullptr, d),
                     qPrintable(err));
        }();
        useShop(mode, d);
        Outcome o;
        RecordingUiHooks hooks;
        HooksScope scope(&hooks);
        Shop().ErrorLog().Clear();
        TransferRun run;
        TransferReport report;
        TransferOptions options;
        options.batched = batched;
        options.compress = compress;
        {
            TransferContext ctx(&run, options, report);
            ctx.BeginStep(QStringLiteral("Stapel"), QString());
            // A read first: the gateway script's page tells what it can do.
            ctx.Count(QStringLiteral("SELECT COUNT(*) FROM stapel"));
            RequestCount count;
            for (const QString &s : statements)
                ctx.ExecuteLater(s, [&o](int r) { o.codes << r; });
            ctx.Flush();
            o.requests = count.requests;
            o.batches = count.batches;
            o.refused = ctx.Step().refused;
            o.messages = ctx.Step().messages;
            ctx.EndStep();
        }
        o.errorLog = Shop().ErrorLog().Lines();
        m_db.exec(QStringLiteral("SELECT id, name, LENGTH(memo) FROM stapel ORDER BY id"), nullptr, &o.rows, d);
        return o;
    };
    const Outcome single = runOnce(false);
    const Outcome batch = runOnce(true);

    QCOMPARE(single.codes.size(), statements.size());
    QCOMPARE(single.refused, 3);
    QCOMPARE(single.codes.count(0), statements.size() - 3);
    QCOMPARE(batch.codes, single.codes);
    QCOMPARE(batch.refused, single.refused);
    QCOMPARE(batch.messages, single.messages);
    QCOMPARE(batch.errorLog, single.errorLog);
    QCOMPARE(batch.rows, single.rows);
    QVERIFY2(single.messages.join('\n').contains(QStringLiteral("Duplicate entry")), qPrintable(single.messages.join('\n')));
    QVERIFY2(single.messages.join('\n').contains(QStringLiteral("too long")), qPrintable(single.messages.join('\n')));
    // Everything after the refusals is there, with its characters.
    QCOMPARE(batch.rows.size(), 7);
    QCOMPARE(batch.rows.first(), (QStringList{"1", "eins", "NULL"}));
    QCOMPARE(batch.rows.at(1), (QStringList{"3", "a;b", "NULL"}));
    QCOMPARE(batch.rows.at(4), (QStringList{"6", "NULL", "60000"}));
    QCOMPARE(batch.rows.last(), (QStringList{"8", "ende", "NULL"}));
    if (mode != QLatin1String("direct")) {
        QCOMPARE(single.batches, 0);
        QVERIFY(single.requests >= statements.size());
        QVERIFY2(batch.batches >= 1 && batch.requests < statements.size(),
                 qPrintable(QStringLiteral("%1 requests, %2 batches").arg(batch.requests).arg(batch.batches)));
    }
}

// A shop with the script from before batches: the run finds no announcement
// and sends one statement per request, with the same result.
void tst_TransferBatches::olderScriptOneByOne()
{
    demoWaWi();
    QString err;
    const QString ref = QStringLiteral("b_old_ref"), old = QStringLiteral("b_old");
    for (const QString &d : {ref, old}) {
        m_db.dropDatabase(d);
        QVERIFY2(m_db.installShopSchema(d, &err), qPrintable(err));
    }
    useShop(QStringLiteral("direct"), ref);
    {
        RecordingUiHooks hooks;
        HooksScope scope(&hooks);
        TransferRun run;
        QVERIFY(run.Run(allKinds(false)));
        QVERIFY2(run.LastReport().ExitCode() == 0, qPrintable(run.LastReport().toText()));
    }
    useShop(QStringLiteral("gateway"), old, m_oldPhp.baseUrl());
    RecordingUiHooks hooks;
    HooksScope scope(&hooks);
    RequestCount count;
    TransferRun run;
    QVERIFY(run.Run(allKinds(true)));
    const TransferReport &r = run.LastReport();
    QVERIFY2(r.ExitCode() == 0, qPrintable(r.toText() + Shop().ErrorLog().Text()));
    QCOMPARE(count.batches, 0);
    QVERIFY(!Gateway().BatchCaps().batch);
    qint64 statements = 0;
    for (const TransferStepReport &s : r.steps)
        statements += s.statements;
    QCOMPARE(qint64(count.requests), statements);
    QCOMPARE(contents(old), contents(ref));
}

void tst_TransferBatches::stopAtRecordBoundary_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("batched");
    for (const char *mode : {"direct", "gateway"})
        for (bool batched : {true, false})
            QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(QLatin1String(mode),
                                                                  batched ? QStringLiteral("batched") : QStringLiteral("one by one"))))
                << QString(mode) << batched;
}

// STOP with statements queued: what went out completes and counts, what did
// not is dropped whole records at a time; nothing is refused or logged.
void tst_TransferBatches::stopAtRecordBoundary()
{
    QFETCH(QString, mode);
    QFETCH(bool, batched);
    const QString d = QStringLiteral("b_stop");
    m_db.dropDatabase(d);
    QString err;
    QVERIFY2(m_db.createDatabase(d, &err), qPrintable(err));
    QVERIFY2(m_db.exec(QStringLiteral("CREATE TABLE stapel (id INT PRIMARY KEY, name VARCHAR(5), memo TEXT)"), &err,
                       nullptr, d),
             qPrintable(err));
    useShop(mode, d);
    constexpr int records = 400;
    RecordingUiHooks hooks;
    HooksScope scope(&hooks);
    Shop().ErrorLog().Clear();
    TransferRun run;
    TransferReport report;
    TransferOptions options;
    options.batched = batched;
    QVector<int> ok(records + 1, 0), answered(records + 1, 0);
    int built = 0;
    {
        TransferContext ctx(&run, options, report);
        ctx.BeginStep(QStringLiteral("Stapel"), QString());
        ctx.Count(QStringLiteral("SELECT COUNT(*) FROM stapel"));
        for (int rec = 1; rec <= records && !ctx.Aborted(); ++rec) {
            const QString id = QString::number(rec);
            const QStringList three = {QStringLiteral("DELETE FROM stapel WHERE id = ") + id,
                                       QStringLiteral("INSERT INTO stapel (id, name) VALUES (") + id + QStringLiteral(", 'a')"),
                                       QStringLiteral("UPDATE stapel SET name = 'ganz' WHERE id = ") + id};
            for (int k = 0; k < 3; ++k) {
                // STOP comes in the middle of a record.
                if (rec == 250 && k == 1)
                    hooks.cancel = true;
                ctx.ExecuteLater(three.at(k), [&, rec](int r) {
                    ++answered[rec];
                    ok[rec] += r == 0 ? 1 : 0;
                });
            }
            built = rec;
            ctx.Progress(rec, records);
            // A read sends what is pending: these records are in the shop.
            if (rec == 100)
                ctx.Count(QStringLiteral("SELECT COUNT(*) FROM stapel"));
        }
        ctx.EndStep();
        QCOMPARE(ctx.Step().refused, 0);
        QVERIFY2(ctx.Step().messages.isEmpty(), qPrintable(ctx.Step().messages.join('\n')));
    }
    QCOMPARE(built, 250);
    QVERIFY2(Shop().ErrorLog().IsEmpty(), qPrintable(Shop().ErrorLog().Text()));
    QList<QStringList> rows;
    QVERIFY(m_db.exec(QStringLiteral("SELECT id, name FROM stapel ORDER BY id"), &err, &rows, d));
    int complete = 0;
    for (const QStringList &row : rows) {
        const int rec = row.value(0).toInt();
        // A record is in the shop whole or not at all.
        QCOMPARE(row.value(1), QStringLiteral("ganz"));
        QCOMPARE(ok[rec], 3);
        ++complete;
    }
    for (int rec = 1; rec <= built; ++rec) {
        QCOMPARE(answered[rec], 3);
        QVERIFY(ok[rec] == 0 || ok[rec] == 3);
    }
    QCOMPARE(complete, int(std::count(ok.begin(), ok.end(), 3)));
    // What went out before STOP is there; the record STOP came in either
    // completed or never started.
    QVERIFY2(complete >= 100, qPrintable(QString::number(complete)));
}

void tst_TransferBatches::stopDuringArticles_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("direct") << QStringLiteral("direct");
    QTest::newRow("gateway") << QStringLiteral("gateway");
}

// STOP in the article step of a batched run: "gestoppt", no refusal, the
// error log stays closed.
void tst_TransferBatches::stopDuringArticles()
{
    QFETCH(QString, mode);
    demoWaWi();
    QString err;
    const QString d = QStringLiteral("b_stop_art");
    m_db.dropDatabase(d);
    QVERIFY2(m_db.installShopSchema(d, &err), qPrintable(err));
    useShop(mode, d);
    StepHooks hooks;
    hooks.step = QStringLiteral("Artikel");
    hooks.after = 60;
    hooks.act = [&] { hooks.cancel = true; };
    HooksScope scope(&hooks);
    TransferRun run;
    bool listShown = false;
    connect(&run, &TransferRun::messageListVisible, this, [&](bool v) { listShown = listShown || v; });
    QVERIFY(run.Run(allKinds(true)));
    const TransferReport &r = run.LastReport();
    QVERIFY(r.stopped);
    QCOMPARE(r.TotalRefused(), 0);
    QVERIFY2(Shop().ErrorLog().IsEmpty(), qPrintable(Shop().ErrorLog().Text()));
    QVERIFY(!listShown);
    const QString text = r.toText();
    QVERIFY2(text.contains(QStringLiteral("gestoppt")), qPrintable(text));
    QVERIFY2(!text.contains(QStringLiteral("mit Fehlern")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("abgebrochen (STOP)")), qPrintable(text));
}

void tst_TransferBatches::serverGoesAway_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("direct") << QStringLiteral("direct");
    QTest::newRow("gateway") << QStringLiteral("gateway");
}

// The database server stops in the middle of the batched article step: the
// run ends with status 2 and says which step and how many statements are
// unconfirmed; after the server is back a rerun leaves the shop an
// uninterrupted run leaves.
void tst_TransferBatches::serverGoesAway()
{
    QFETCH(QString, mode);
    demoWaWi();
    QString err;
    const QString ref = QStringLiteral("b_lost_ref"), cut = QStringLiteral("b_lost");
    for (const QString &d : {ref, cut}) {
        m_db.dropDatabase(d);
        QVERIFY2(m_db.installShopSchema(d, &err), qPrintable(err));
    }
    useShop(mode, ref);
    {
        RecordingUiHooks hooks;
        HooksScope scope(&hooks);
        TransferRun run;
        QVERIFY(run.Run(allKinds(true)));
        QVERIFY2(run.LastReport().ExitCode() == 0, qPrintable(run.LastReport().toText()));
    }
    const auto wanted = contents(ref);

    useShop(mode, cut);
    {
        StepHooks hooks;
        hooks.step = QStringLiteral("Artikel");
        hooks.after = 50;
        hooks.act = [&] { m_db.pause(); };
        HooksScope scope(&hooks);
        TransferRun run;
        QVERIFY(run.Run(allKinds(true)));
        const TransferReport &r = run.LastReport();
        QVERIFY2(r.shopLost, qPrintable(r.toText()));
        QCOMPARE(r.ExitCode(), 2);
        const QString text = r.toText();
        QVERIFY2(text.contains(QStringLiteral("Schritt \u201EArtikel\u201C")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("Anweisungen nicht bestätigt")), qPrintable(text));
    }
    QVERIFY2(m_db.resume(&err), qPrintable(err));
    Shop().Ti_Connect_OffTimer();
    Shop().Ti_Connect2_OffTimer();
    Transport().CloseConnections();
    {
        RecordingUiHooks hooks;
        HooksScope scope(&hooks);
        TransferRun run;
        QVERIFY(run.Run(allKinds(true)));
        QVERIFY2(run.LastReport().ExitCode() == 0, qPrintable(run.LastReport().toText()));
    }
    QCOMPARE(contents(cut), wanted);
}

QTEST_MAIN(tst_TransferBatches)
#include "tst_TransferBatches.moc"
