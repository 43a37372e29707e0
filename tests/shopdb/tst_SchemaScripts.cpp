// The installation and update scripts in db/ on a private MariaDB: they run
// the way the program runs them, build the same schema on both roads, and
// hold every column the transfer writes or reads.

#include "support/TestEnv.h"
#include "support/TestServers.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QStringEncoder>
#include <QTimer>
#include <QUrl>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringDecoder>
#include <QTest>

using namespace mv::test;

namespace {

QString scriptPath(const QString &name)
{
    return TestEnv::sourceDir() + QStringLiteral("/db/") + name;
}

// Lines of a Windows-1252 file with CR LF line ends.
QStringList readLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QStringDecoder dec("windows-1252");
    QString text = dec.decode(f.readAll());
    if (text.endsWith(QLatin1String("\r\n"))) text.chop(2);
    return text.split(QStringLiteral("\r\n"));
}

// Trim as the program does: blanks and control characters at both ends.
QString trimCtl(const QString &s)
{
    qsizetype a = 0, b = s.size();
    while (a < b && s.at(a).unicode() <= 32) ++a;
    while (b > a && s.at(b - 1).unicode() <= 32) --b;
    return s.mid(a, b - a);
}

struct RunResult {
    int statements = 0;
    QStringList failures;
};

bool execOne(QSqlDatabase &db, const QString &sql, RunResult &r)
{
    ++r.statements;
    QSqlQuery q(db);
    if (q.exec(sql)) return true;
    r.failures << q.lastError().text() + QStringLiteral(" :: ") + sql.left(200);
    return false;
}

// Installation scripts: statements over several lines, closed by a line
// with "#" in column 1; the last one closed by the runner itself.
RunResult runInstallScript(QSqlDatabase &db, const QString &path)
{
    RunResult r;
    QStringList lines = readLines(path);
    lines << QStringLiteral("#");
    QStringList collected;
    for (const QString &line : lines) {
        if (trimCtl(line).isEmpty()) continue;
        if (!line.startsWith(QLatin1Char('#'))) {
            collected << line;
            continue;
        }
        QString stmt;
        for (const QString &c : collected) stmt += c + QStringLiteral("\r\n");
        stmt.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        stmt = trimCtl(stmt);
        collected.clear();
        if (!stmt.isEmpty()) execOne(db, stmt, r);
    }
    return r;
}

// Update scripts: every non-blank line is one statement, sent as written.
RunResult runUpdateScript(QSqlDatabase &db, const QString &path)
{
    RunResult r;
    for (const QString &line : readLines(path))
        if (!trimCtl(line).isEmpty()) execOne(db, line, r);
    return r;
}

struct LadderStep {
    double below;
    const char *file;
};
const LadderStep kLadder[] = {{2.29, "update20.sql"}, {2.49, "update25.sql"}, {2.59, "update26.sql"},
                              {2.99, "update30.sql"}, {3.09, "update31.sql"}, {3.19, "update32.sql"},
                              {3.99, "update40.sql"}, {5.99, "update60.sql"}, {6.99, "update70.sql"}};

QStringList tables(QSqlDatabase &db)
{
    QStringList out;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SHOW TABLES"))) return out;
    while (q.next()) out << q.value(0).toString();
    return out;
}

// The version the shop records about itself; 1.0 without table or row.
double shopVersion(QSqlDatabase &db)
{
    if (!tables(db).contains(QStringLiteral("version"))) return 1.0;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT * from version")) || !q.next()) return 1.0;
    return q.record().value(QStringLiteral("version")).toDouble();
}

// Everything of the schema that matters to the program, one line per column
// and per index part.
QStringList schemaSnapshot(QSqlDatabase &db, const QString &schema)
{
    QStringList out;
    QSqlQuery q(db);
    q.exec(QStringLiteral("SELECT TABLE_NAME, ORDINAL_POSITION, COLUMN_NAME, COLUMN_TYPE, IS_NULLABLE, "
                          "IFNULL(COLUMN_DEFAULT,'(none)'), EXTRA, IFNULL(CHARACTER_SET_NAME,'') "
                          "FROM information_schema.COLUMNS WHERE TABLE_SCHEMA='%1' "
                          "ORDER BY TABLE_NAME, ORDINAL_POSITION")
               .arg(schema));
    while (q.next()) {
        QStringList cells;
        for (int i = 0; i < 8; ++i) cells << q.value(i).toString();
        out << QStringLiteral("column ") + cells.join(u'|');
    }
    q.exec(QStringLiteral("SELECT TABLE_NAME, INDEX_NAME, SEQ_IN_INDEX, COLUMN_NAME, NON_UNIQUE "
                          "FROM information_schema.STATISTICS WHERE TABLE_SCHEMA='%1' "
                          "ORDER BY TABLE_NAME, INDEX_NAME, SEQ_IN_INDEX")
               .arg(schema));
    while (q.next()) {
        QStringList cells;
        for (int i = 0; i < 5; ++i) cells << q.value(i).toString();
        out << QStringLiteral("index ") + cells.join(u'|');
    }
    return out;
}

} // namespace

class SchemaScripts : public QObject {
    Q_OBJECT
private:
    MariaDbServer m_server;
    QSqlDatabase open(const QString &schema);
    void recreate(const QString &schema);
    void install(const QString &schema);

private slots:
    void initTestCase();
    void scriptFilesAreWellFormed_data();
    void scriptFilesAreWellFormed();
    void installsCleanly();
    void deleteThenInstallAgain();
    void oldSchemaUpdatesToCurrent();
    void versionTableWithoutRowCountsAsOld();
    void columnsTheTransferUses_data();
    void columnsTheTransferUses();
    void statementsOfTheTransfer_data();
    void statementsOfTheTransfer();
    void repairsOfAnOldShop();
    void installsThroughTheGateway();
};

QSqlDatabase SchemaScripts::open(const QString &schema)
{
    if (!QSqlDatabase::contains(schema)) m_server.addQtConnection(schema, schema);
    QSqlDatabase db = QSqlDatabase::database(schema, false);
    if (!db.isOpen()) {
        if (!db.open()) qWarning("cannot open %s: %s", qPrintable(schema), qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        q.exec(QStringLiteral("SET NAMES latin1"));
        q.exec(QStringLiteral("SET SESSION sql_mode = CONCAT_WS(',', NULLIF(@@SESSION.sql_mode, ''), "
                              "'NO_BACKSLASH_ESCAPES')"));
    }
    return db;
}

void SchemaScripts::recreate(const QString &schema)
{
    if (QSqlDatabase::contains(schema)) {
        QSqlDatabase::database(schema, false).close();
        QSqlDatabase::removeDatabase(schema);
    }
    QString err;
    QVERIFY2(m_server.dropDatabase(schema, &err), qPrintable(err));
    QVERIFY2(m_server.createDatabase(schema, &err), qPrintable(err));
}

// A new installation as the settings dialog makes it.
void SchemaScripts::install(const QString &schema)
{
    recreate(schema);
    QSqlDatabase db = open(schema);
    for (const char *file : {"dbdelete.sql", "dbschema.sql"}) {
        const RunResult r = runInstallScript(db, scriptPath(QLatin1String(file)));
        QVERIFY2(r.failures.isEmpty(), qPrintable(r.failures.join(u'\n')));
    }
}

void SchemaScripts::initTestCase()
{
    QString err;
    MV_REQUIRE_SERVER(m_server.start(&err), err);
    // Shared by the tests that only read the schema or send statements.
    install(QStringLiteral("neu"));
}

void SchemaScripts::scriptFilesAreWellFormed_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("install");
    for (const char *f : {"dbdelete.sql", "dbschema.sql", "dbschema_old.sql"})
        QTest::newRow(f) << QString::fromLatin1(f) << true;
    for (const LadderStep &s : kLadder) QTest::newRow(s.file) << QString::fromLatin1(s.file) << false;
}

void SchemaScripts::scriptFilesAreWellFormed()
{
    QFETCH(QString, file);
    QFETCH(bool, install);
    QFile f(scriptPath(file));
    QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(scriptPath(file)));
    const QByteArray bytes = f.readAll();
    QVERIFY(!bytes.isEmpty());
    // Windows-1252 (the five unassigned bytes excluded) with CR LF line ends.
    QStringDecoder dec("windows-1252");
    (void)dec.decode(bytes);
    QVERIFY(!dec.hasError());
    for (char c : QByteArray("\x81\x8D\x8F\x90\x9D")) QVERIFY(!bytes.contains(c));
    QVERIFY(bytes.endsWith("\r\n"));
    QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
    QCOMPARE(bytes.count('\r'), bytes.count("\r\n"));

    const QStringList lines = readLines(scriptPath(file));
    for (const QString &line : lines) {
        if (install) {
            // Lines are joined with blanks: a "#" or "--" inside a statement
            // line would turn the rest of the statement into a comment.
            if (line.startsWith(QLatin1Char('#'))) continue;
            QVERIFY2(!line.contains(QLatin1Char('#')) && !line.contains(QLatin1String("--")), qPrintable(line));
        } else {
            // No comment syntax in update scripts: every line is sent.
            QVERIFY2(!trimCtl(line).isEmpty(), "blank line");
            QVERIFY2(!line.startsWith(QLatin1Char('#')), qPrintable(line));
            QVERIFY2(line.endsWith(QLatin1Char(';')) && line.count(QLatin1Char(';')) == 1, qPrintable(line));
        }
    }
    if (install) QVERIFY(lines.last().startsWith(QLatin1Char('#')));
}

void SchemaScripts::installsCleanly()
{
    recreate(QStringLiteral("frisch"));
    QSqlDatabase db = open(QStringLiteral("frisch"));
    // dbdelete on an empty database must not fail either.
    RunResult del = runInstallScript(db, scriptPath(QStringLiteral("dbdelete.sql")));
    QVERIFY2(del.failures.isEmpty(), qPrintable(del.failures.join(u'\n')));
    RunResult r = runInstallScript(db, scriptPath(QStringLiteral("dbschema.sql")));
    QVERIFY2(r.failures.isEmpty(), qPrintable(r.failures.join(u'\n')));
    QVERIFY(r.statements > 26);
    QCOMPARE(del.statements, tables(db).size());

    // The program's table check: more than 26 tables, among them these three.
    const QStringList names = tables(db);
    QVERIFY2(names.size() > 26, qPrintable(names.join(u',')));
    const QString text = names.join(u'\n').toLower();
    for (const char *must : {"adressen", "artikel", "zahlart"}) QVERIFY(text.contains(QLatin1String(must)));
    for (const char *must : {"version", "wgruppen", "waverbindung", "sonderpreise", "varianten", "bestellungen",
                             "favoriten", "produktbewertung", "counter", "adrart", "adrartver", "laender",
                             "versand", "nachgewicht", "news", "faq_gruppe", "faq_thema", "newsletter",
                             "newsletter_not"})
        QVERIFY2(names.contains(QLatin1String(must)), must);
    QCOMPARE(shopVersion(db), 7.0);

    // A shop's text is latin1 (Windows-1252): umlauts and the euro sign fit.
    QCOMPARE(m_server.scalar(QStringLiteral("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA='frisch' "
                                            "AND TABLE_COLLATION NOT LIKE 'latin1%'")),
             QStringLiteral("0"));
}

void SchemaScripts::deleteThenInstallAgain()
{
    install(QStringLiteral("wieder"));
    QSqlDatabase db = open(QStringLiteral("wieder"));
    QSqlQuery q(db);
    QVERIFY(q.exec(QStringLiteral("insert into artikel (zaehler,artikelnummer) values (1,'A-1')")));
    RunResult del = runInstallScript(db, scriptPath(QStringLiteral("dbdelete.sql")));
    QVERIFY2(del.failures.isEmpty(), qPrintable(del.failures.join(u'\n')));
    QCOMPARE(tables(db), QStringList());
    RunResult r = runInstallScript(db, scriptPath(QStringLiteral("dbschema.sql")));
    QVERIFY2(r.failures.isEmpty(), qPrintable(r.failures.join(u'\n')));
    QVERIFY(tables(db).size() > 26);
    QVERIFY(q.exec(QStringLiteral("select count(*) from artikel")) && q.next());
    QCOMPARE(q.value(0).toInt(), 0);
    // The version row exists once.
    QVERIFY(q.exec(QStringLiteral("select count(*) from version")) && q.next());
    QCOMPARE(q.value(0).toInt(), 1);
}

void SchemaScripts::oldSchemaUpdatesToCurrent()
{
    recreate(QStringLiteral("alt"));
    QSqlDatabase db = open(QStringLiteral("alt"));
    RunResult r = runInstallScript(db, scriptPath(QStringLiteral("dbschema_old.sql")));
    QVERIFY2(r.failures.isEmpty(), qPrintable(r.failures.join(u'\n')));
    // The fallback schema passes the table check by itself ...
    const QStringList names = tables(db);
    QVERIFY2(names.size() > 26, qPrintable(names.join(u',')));
    for (const char *must : {"adressen", "artikel", "zahlart"}) QVERIFY(names.contains(QLatin1String(must)));
    // ... and is a version-1.0 shop, so every update runs, in ladder order.
    const double version = shopVersion(db);
    QCOMPARE(version, 1.0);
    int files = 0;
    for (const LadderStep &s : kLadder) {
        if (version >= s.below) continue;
        QVERIFY2(QFile::exists(scriptPath(QLatin1String(s.file))), s.file);
        RunResult u = runUpdateScript(db, scriptPath(QLatin1String(s.file)));
        QVERIFY2(u.failures.isEmpty(), qPrintable(QLatin1String(s.file) + u.failures.join(u'\n')));
        QVERIFY(u.statements > 0);
        ++files;
    }
    QCOMPARE(files, 9);
    QCOMPARE(shopVersion(db), 7.0);

    // Same tables, columns (order, types, defaults) and indexes as a new installation.
    const QStringList fresh = schemaSnapshot(db, QStringLiteral("neu"));
    const QStringList updated = schemaSnapshot(db, QStringLiteral("alt"));
    QVERIFY(fresh.size() > 300);
    for (const QString &line : fresh) QVERIFY2(updated.contains(line), qPrintable(QStringLiteral("missing after update: ") + line));
    for (const QString &line : updated) QVERIFY2(fresh.contains(line), qPrintable(QStringLiteral("only after update: ") + line));
    QCOMPARE(updated, fresh);
}

void SchemaScripts::versionTableWithoutRowCountsAsOld()
{
    // A shop whose version table lost its row counts as 1.0 and gets every
    // update; the updates still end with one row saying 7.0.
    install(QStringLiteral("ohne_version"));
    QSqlDatabase db = open(QStringLiteral("ohne_version"));
    QSqlQuery q(db);
    QVERIFY(q.exec(QStringLiteral("DELETE FROM version")));
    QCOMPARE(shopVersion(db), 1.0);
    for (const LadderStep &s : kLadder) runUpdateScript(db, scriptPath(QLatin1String(s.file)));
    QVERIFY(q.exec(QStringLiteral("select count(*), max(version) from version")) && q.next());
    QCOMPARE(q.value(0).toInt(), 1);
    QCOMPARE(q.value(1).toDouble(), 7.0);
    // The refused statements (columns that exist) changed nothing.
    QCOMPARE(schemaSnapshot(db, QStringLiteral("ohne_version")), schemaSnapshot(db, QStringLiteral("neu")));
}

void SchemaScripts::columnsTheTransferUses_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("column");
    auto add = [](const char *table, std::initializer_list<const char *> cols) {
        for (const char *c : cols)
            QTest::newRow(qPrintable(QStringLiteral("%1.%2").arg(QLatin1String(table), QLatin1String(c))))
                << QString::fromLatin1(table) << QString::fromLatin1(c);
    };
    // Schema version check.
    add("version", {"version", "info"});
    // Product groups and links.
    add("wgruppen", {"zaehler", "bezeichnung", "bezeichnung2", "bezeichnung3", "bezeichnung4", "bezeichnung5",
                     "bezeichnung_intern", "hiernr", "hierident", "anhang", "kfmwg", "bild", "bild_gross",
                     "beschreibung", "beschreibung2", "beschreibung3", "beschreibung4", "beschreibung5", "layout",
                     "link1", "link2", "wgnummer", "anzahl"});
    add("waverbindung", {"zaehler", "artikel", "warengruppe", "stufe"});
    // Articles: key, same-named WaWi fields and the columns of the rules.
    add("artikel", {"zaehler", "artikelnummer", "warengruppe", "hiernr", "hierident", "vk1", "vk2", "vk3", "vk4",
                    "vk5", "vk6", "vk7", "vk8", "vk9", "umsatzsteuer", "inventur", "bestand", "kfmart",
                    "empfehlung", "mindesbestand", "preisnetto", "rabattfaehig", "grundanzeige", "zfeld1",
                    "zfeld10", "startseite", "bild_klein", "bild_gross", "bezeichnung", "bezeichnung2", "einheit",
                    "suchbegriff", "langtext", "lieferbar", "gewicht", "ean", "grundpreiseinheit", "angelegt"});
    // Special and graduated prices, variants.
    add("sonderpreise", {"kfmadr", "kunde", "kfmart", "kfmwg", "wgruppe", "artikel", "menge", "preis", "rabatt"});
    add("varianten", {"id", "artikel", "ean", "eigen1", "eigen2", "eigen3", "eigen4", "eigen5", "bestand", "vk",
                      "aufpreis"});
    // Addresses and the tables that refer to them.
    add("adressen", {"adresse", "art", "nummer", "email", "fax", "homepage", "zahlart", "rabatt", "passwort",
                     "kfmadr", "lieferadresse", "anrede", "name1", "name2", "name3", "strasse", "plz", "ort",
                     "land", "telefon", "vk", "steuer", "waehrung"});
    add("bestellungen", {"person"});
    add("favoriten", {"adresse"});
    add("produktbewertung", {"user"});
    add("counter", {"adressid"});
    add("adrart", {"art", "mandant", "bezeichnung", "rabatt"});
    add("adrartver", {"zaehler", "adresse", "art", "mandant"});
    // Payment methods.
    add("zahlart", {"id", "kfmart", "neukunde", "beschreibung", "beschreibung2", "beschreibung5", "beschreibung_2",
                    "beschreibung_2_2", "beschreibung_2_5", "aktiv", "ausland", "schriftlich", "versandgebuehren",
                    "versandgebuehren_ausland", "kreditkarte", "bankdaten", "skonto", "bemerkung", "bemerkung5"});
    // Master-data uploads: every field of the table files.
    add("laender", {"laendername", "waerungsname", "kurs", "fahne", "eu", "sprache", "egident", "isolaendercode"});
    add("versand", {"versandart", "versandart2", "versandart5", "versandkosten", "versandkosten_ausland",
                    "beschreibung", "beschreibung2", "beschreibung5"});
    add("nachgewicht", {"volumen", "gewicht", "versender", "preis", "preis_ausland", "land"});
    add("news", {"header", "header2", "header5", "inhalt", "inhalt2", "inhalt5", "bild"});
    add("faq_gruppe", {"z", "zaehler", "bezeichnung", "bezeichnung2", "bezeichnung5", "hiernr", "hierident", "bild"});
    add("faq_thema", {"zaehler", "gruppe", "beschreibung", "beschreibung2", "beschreibung5", "hilfe", "hilfe2",
                      "hilfe5", "bild"});
    add("newsletter", {"EMail", "kdnummer", "html"});
    add("newsletter_not", {"EMail", "kdnummer"});
}

void SchemaScripts::columnsTheTransferUses()
{
    QFETCH(QString, table);
    QFETCH(QString, column);
    QSqlDatabase db = open(QStringLiteral("neu"));
    QSqlQuery q(db);
    // Unquoted, as the program writes it.
    QVERIFY2(q.exec(QStringLiteral("SELECT %1 FROM %2 LIMIT 0,1").arg(column, table)), qPrintable(q.lastError().text()));
    QCOMPARE(q.record().fieldName(0), column);
}

void SchemaScripts::statementsOfTheTransfer_data()
{
    QTest::addColumn<QString>("sql");
    auto add = [](const char *name, const char *sql) { QTest::newRow(name) << QString::fromUtf8(sql); };
    add("show tables", "SHOW TABLES");
    add("version", "SELECT * from version");
    add("probe", "SELECT * FROM artikel LIMIT 0,1");
    // Product groups.
    add("group insert",
        "INSERT INTO wgruppen (zaehler,bezeichnung,bezeichnung2,bezeichnung3,bezeichnung4,bezeichnung5,bezeichnung_intern,"
        "hiernr,hierident,anhang,kfmwg,bild,bild_gross,beschreibung,beschreibung2,beschreibung3,beschreibung4,beschreibung5,"
        "layout,link1,link2,wgnummer) values (12,'Schuhe','','','','','Schuhe',0,0,0,12,'abilder/schuhe.jpg','','Gr\xc3\xb6\xc3\x9f"
        "e <br>','','','','',0,'','',0)");
    add("group update",
        "UPDATE wgruppen SET bezeichnung='Stiefel' ,bezeichnung2='' ,bezeichnung3='' ,bezeichnung4='' ,bezeichnung5='' "
        ",bezeichnung_intern='Schuhe_Stiefel', hiernr=1 ,hierident=1, anhang=12, beschreibung='', beschreibung2='', "
        "beschreibung3='', beschreibung4='', beschreibung5='', layout=0, link1='', link2='', wgnummer=0 WHERE zaehler=12");
    add("group exists", "SELECT zaehler FROM wgruppen WHERE zaehler=12");
    add("links delete", "DELETE from waverbindung WHERE stufe<>99 OR stufe is NULL");
    add("count groups", "select count(*) from wgruppen");
    add("group batch", "SELECT zaehler,bezeichnung_intern FROM wgruppen where zaehler in (12,0) LIMIT 0,30");
    add("subtree", "SELECT zaehler,bezeichnung_intern FROM wgruppen WHERE bezeichnung_intern LIKE 'Schuhe%'");
    add("count articles", "SELECT count(*) FROM artikel where warengruppe in (12)");
    add("count links", "SELECT count(*) FROM waverbindung where warengruppe=12");
    add("anzahl", "UPDATE wgruppen SET anzahl=3 where zaehler=12");
    // Articles.
    add("article exists", "SELECT zaehler,artikelnummer,warengruppe FROM artikel WHERE zaehler=7 OR artikelnummer='A-7'");
    add("article insert",
        "insert into artikel (zaehler,artikelnummer,bezeichnung,einheit,hiernr,hierident,warengruppe,vk1,vk2,umsatzsteuer,"
        "bestand,inventur,kfmart,empfehlung,mindesbestand,preisnetto,rabattfaehig,grundanzeige,zfeld1,startseite,"
        "bild_klein,bild_gross,langtext,angelegt,lieferbar,gewicht,ean) values (7,'A-7','Stiefel \xe2\x82\xac 1','Paar',1,1,"
        "12,11.9,NULL,19,3.5,3.5,'Artikel','12,15,17',1,0,1,'1 kg = 19.98','rot','true','abilder/a7.jpg',NULL,"
        "'Zeile<br>Zeile','2026-3-9',1,0.75,'0400123')");
    add("article update",
        "UPDATE artikel SET zaehler=7,artikelnummer='A-7',hiernr=1,hierident=1,warengruppe=12,vk1=12.5,startseite='false',"
        "angelegt=NULL,empfehlung=NULL WHERE zaehler=7");
    add("article offline", "delete from artikel where artikelnummer in ('A-8','A-9')");
    // Side tables.
    add("links of article", "DELETE from waverbindung WHERE Artikel=7 and stufe=99");
    add("link insert", "INSERT INTO waverbindung (artikel,warengruppe,stufe) values (7,15,99)");
    add("graduated delete", "DELETE FROM sonderpreise WHERE kunde<0 and artikel=7");
    add("graduated insert", "insert into sonderpreise (kunde,artikel,menge,preis) values (-1,7,10,9.5)");
    add("variants delete", "DELETE FROM varianten WHERE artikel=7");
    add("variant insert",
        "insert into varianten (id,artikel,ean,eigen1,eigen2,eigen3,eigen4,eigen5,bestand,vk,aufpreis) values "
        "(1,7,'4001','rot',null,'XL',null,null,5,12.5,1)");
    // Special prices.
    add("special delete", "DELETE FROM sonderpreise WHERE kunde=3 and artikel=7 and wgruppe=12 and menge=1");
    add("special insert",
        "insert into sonderpreise (kfmadr,kunde,kfmart,kfmwg,wgruppe,artikel,menge,preis,rabatt) values (3,3,0,0,0,7,1,9.9,0)");
    add("special cleanup 1", "DELETE FROM sonderpreise WHERE kunde=0 and kfmart=0");
    add("special cleanup 2", "DELETE FROM sonderpreise WHERE wgruppe=0 and artikel=0");
    add("special complete", "DELETE FROM sonderpreise where kunde>-1");
    // Addresses.
    add("address insert",
        "insert into adressen (adresse,art,nummer,anrede,name1,strasse,plz,ort,land,telefon,kfmadr,email,fax,homepage,"
        "zahlart,rabatt,passwort,vk,steuer,waehrung) values (-5,9999,NULL,'Frau','M\xc3\xbcller','Stra\xc3\x9f"
        "e 1','12345','K\xc3\xb6ln','D','0221',NULL,'m@example.de',NULL,NULL,0,NULL,'geheim',1,1,1)");
    add("fetch mark", "update adressen set art=9998 where art=9999 or adresse<0");
    add("fetch count", "select count(*) from adressen where art=9998");
    add("fetch batch", "SELECT * FROM adressen where art=9998 LIMIT 0,30");
    add("renumber delete", "delete from adressen where adresse=1001");
    add("renumber", "update adressen set adresse=1001, nummer='K1001' where adresse=-5");
    add("orders", "update bestellungen set person=1001 where person=-5");
    add("favourites", "update favoriten set adresse=1001 where adresse=-5");
    add("ratings", "update produktbewertung set user=1001 where user=-5");
    add("counters", "update counter set adressid=1001 where adressid=-5");
    add("fetch done", "update adressen set art=0 where art=9998");
    add("lookup by number", "SELECT adresse,nummer FROM adressen WHERE (nummer='K1001') LIMIT 1");
    add("lookup by mail", "SELECT adresse,nummer FROM adressen WHERE (email='m@example.de') order by nummer desc LIMIT 1");
    add("address update", "UPDATE adressen SET art=0,nummer='K1001',name1='M\xc3\xbcller',zahlart=-3,rabatt=5 WHERE adresse=1001");
    add("not online", "delete from adressen where nummer in ('K1','K2')");
    add("address kind", "DELETE FROM adressen WHERE Art=1");
    add("address group", "insert into adrart (art,mandant,bezeichnung,rabatt) values (1,1,'Handel',5)");
    add("address link", "insert into adrartver (zaehler,adresse,art,mandant) values (1,1001,1,1)");
    // Payment methods.
    add("payment probe", "SELECT * FROM zahlart LIMIT 0,1");
    add("payment insert",
        "insert into zahlart (id,kfmart,neukunde,beschreibung,beschreibung_2,bemerkung,aktiv,ausland,schriftlich,kreditkarte,"
        "bankdaten,umst,versandgebuehren,versandgebuehren_ausland,skonto,land) values "
        "(3,3,1,'Rechnung','auf Rechnung','',1,0,0,0,1,1,4.9,9.9,2,NULL)");
    add("payment update", "UPDATE zahlart SET beschreibung='Vorkasse',aktiv=1 WHERE id=3");
    add("payment offline", "delete from zahlart where kfmart in (4,5)");
    add("payment batch", "SELECT id,kfmart FROM zahlart where kfmart>0 LIMIT 0,30");
    add("payment mapping", "UPDATE adressen SET zahlart=3 where zahlart=-3");
    add("new customer", "SELECT id FROM zahlart WHERE neukunde=1 ORDER BY id LIMIT 1,1");
    add("new customer default", "UPDATE adressen SET zahlart=3 where zahlart<1");
    // Master-data uploads as the generic writer writes them.
    add("country", "insert into laender (laendername,waerungsname,kurs,fahne,eu,sprache,egident,isolaendercode) values "
                   "('\xc3\x96sterreich','Euro',1,NULL,'1','deutsch','1','AT')");
    add("country exists", "SELECT laendername FROM laender WHERE laendername='\xc3\x96sterreich'");
    add("shipping", "insert into versand (versandart,versandart2,versandkosten,versandkosten_ausland,beschreibung) values "
                    "('Paket',NULL,4.9,12.5,'mit Sendungsverfolgung')");
    add("shipping cost", "insert into nachgewicht (volumen,gewicht,versender,preis,preis_ausland,land) values "
                         "(NULL,2.5,'Post',4.9,9.9,NULL)");
    add("news", "insert into news (header,header2,inhalt,bild) values ('Neu','New','Text<br>Text',NULL)");
    add("faq group", "insert into faq_gruppe (zaehler,bezeichnung,bezeichnung2,hiernr,hierident,bild) values "
                     "(1,'Versand',NULL,0,0,NULL)");
    add("faq entry", "insert into faq_thema (gruppe,beschreibung,hilfe,bild) values (1,'Wie lange?','2 Tage',NULL)");
    add("newsletter", "insert into newsletter (EMail,kdnummer,html) values ('a@example.de','K1',1)");
    add("newsletter exists", "SELECT email FROM newsletter WHERE email='a@example.de'");
    add("newsletter count", "SELECT COUNT(*) FROM newsletter");
    add("newsletter page", "SELECT * FROM newsletter LIMIT 0,30");
    add("exclusions", "insert into newsletter_not (EMail,kdnummer) values ('b@example.de',NULL)");
    add("exclusion page", "SELECT * FROM newsletter_not LIMIT 0,30");
    add("complete transfer", "DELETE FROM laender");
}

void SchemaScripts::statementsOfTheTransfer()
{
    QFETCH(QString, sql);
    QSqlDatabase db = open(QStringLiteral("neu"));
    QSqlQuery q(db);
    QVERIFY2(q.exec(sql), qPrintable(q.lastError().text()));
}

void SchemaScripts::repairsOfAnOldShop()
{
    // The transfer repairs older shops itself when it finds them; the
    // version-1.0 schema must accept those repairs.
    recreate(QStringLiteral("alt_repair"));
    QSqlDatabase db = open(QStringLiteral("alt_repair"));
    RunResult r = runInstallScript(db, scriptPath(QStringLiteral("dbschema_old.sql")));
    QVERIFY2(r.failures.isEmpty(), qPrintable(r.failures.join(u'\n')));
    QSqlQuery q(db);
    QVERIFY(q.exec(QStringLiteral("SELECT * FROM faq_gruppe LIMIT 0,1")));
    QCOMPARE(q.record().indexOf(QStringLiteral("z")), -1);
    for (const char *sql : {"ALTER TABLE faq_gruppe CHANGE zaehler z INT(11) NOT NULL AUTO_INCREMENT",
                            "ALTER TABLE faq_gruppe ADD zaehler INT AFTER z",
                            "ALTER TABLE zahlart ADD neukunde INT AFTER kfmart"})
        QVERIFY2(q.exec(QString::fromLatin1(sql)), qPrintable(q.lastError().text()));
    QVERIFY(q.exec(QStringLiteral("insert into faq_gruppe (zaehler,bezeichnung) values (5,'x')")));
    QVERIFY(q.exec(QStringLiteral("SELECT z, zaehler FROM faq_gruppe")) && q.next());
    QCOMPARE(q.value(0).toInt(), 1);
    QCOMPARE(q.value(1).toInt(), 5);
    QVERIFY(q.exec(QStringLiteral("SELECT * FROM zahlart LIMIT 0,1")));
    QCOMPARE(q.record().indexOf(QStringLiteral("neukunde")), q.record().indexOf(QStringLiteral("kfmart")) + 1);
}

void SchemaScripts::installsThroughTheGateway()
{
    // Shops without remote database access install through the gateway
    // script: every statement posted as the form route posts it.
    PhpServer php;
    QString err;
    MV_REQUIRE_SERVER(php.startShop(&err), err);
    QNetworkAccessManager nam;
    QStringEncoder enc("windows-1252");
    auto field = [&](const char *name, const QString &value) {
        return QByteArray(name) + '=' + QByteArray(enc.encode(value)).toPercentEncoding();
    };
    // New installation, and an old one brought up to date.
    const QList<QPair<QString, bool>> roads{{QStringLiteral("per_http"), false}, {QStringLiteral("per_http_alt"), true}};
    for (const auto &[schema, old] : roads) {
        recreate(schema);
        QStringList failures;
        int sent = 0;
        auto send = [&](const QString &sql) {
            ++sent;
            const QByteArray body = field("insert", QStringLiteral("1")) + '&' + field("dbhost", m_server.hostPort())
                + '&' + field("dbname", schema) + '&' + field("dbuser", m_server.user()) + '&'
                + field("dbpass", m_server.password()) + '&' + field("sql_query", sql);
            QNetworkRequest req(QUrl(php.baseUrl() + QStringLiteral("/module/db_check/db_check.php")));
            req.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/x-www-form-urlencoded"));
            QNetworkReply *reply = nam.post(req, body);
            QEventLoop loop;
            connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
            QTimer::singleShot(60000, &loop, &QEventLoop::quit);
            loop.exec();
            const QString page = QString::fromLatin1(reply->readAll());
            reply->deleteLater();
            if (!page.contains(QLatin1String("###")) || page.contains(QLatin1String("###error:")))
                failures << page.left(300) + QStringLiteral(" :: ") + sql.left(100);
        };
        // The install format, as the runner cuts it.
        for (const QString file : {QStringLiteral("dbdelete.sql"), old ? QStringLiteral("dbschema_old.sql")
                                                                       : QStringLiteral("dbschema.sql")}) {
            QStringList lines = readLines(scriptPath(file));
            lines << QStringLiteral("#");
            QStringList collected;
            for (const QString &line : lines) {
                if (trimCtl(line).isEmpty()) continue;
                if (!line.startsWith(QLatin1Char('#'))) {
                    collected << line;
                    continue;
                }
                const QString stmt = trimCtl(collected.join(QLatin1Char(' ')));
                collected.clear();
                if (!stmt.isEmpty()) send(stmt);
            }
        }
        if (old) {
            for (const LadderStep &s : kLadder)
                for (const QString &line : readLines(scriptPath(QLatin1String(s.file))))
                    if (!trimCtl(line).isEmpty()) send(line);
        }
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u'\n')));
        QVERIFY(sent > 50);
        QSqlDatabase db = open(schema);
        QCOMPARE(shopVersion(db), 7.0);
        QCOMPARE(schemaSnapshot(db, schema), schemaSnapshot(db, QStringLiteral("neu")));
    }
}

QTEST_GUILESS_MAIN(SchemaScripts)
#include "tst_SchemaScripts.moc"
