// The newsletter window driven like a user: imports through its actions
// with the wait dialog, the WaWi import on the demo WaWi, emptying a list
// after the question, and the files written at close.

#include "browse/EmailAddress.h"
#include "browse/ui/TFM_NewsletterAdr.h"
#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "core/ui/TWarten.h"
#include "data/ui/TDBBGrid.h"
#include "masterdata/TableFile.h"
#include "support/TestEnv.h"
#include "wawi/TVLBTable.h"
#include "wawi/WaWiDemo.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

using namespace mv;

namespace {
void writeAll(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

QStringList fileEmails(const QString &path)
{
    QStringList out;
    for (const auto &row : TableFile::ReadPacket(path).rows)
        out << row.at(0).toString();
    return out;
}

QAction *action(QWidget *w, const char *name)
{
    return w->findChild<QAction *>(QString::fromUtf8(name));
}

// What the wait dialog says each time the window lets events run (when
// the user sees it), each change once.
class ActionWatch : public RecordingUiHooks {
public:
    QWidget *window = nullptr;
    QStringList seen;
    void ProcessEvents() override
    {
        if (auto *wait = window ? window->findChild<TWarten *>() : nullptr; wait && wait->isVisible()) {
            const QString t = wait->LB_Action->text();
            if (seen.isEmpty() || seen.last() != t)
                seen << t;
        }
        RecordingUiHooks::ProcessEvents();
    }
};
} // namespace

class tst_NewsletterAdr : public QObject {
    Q_OBJECT
private slots:
    void init() { SetUiHooks(&m_ui); m_ui = RecordingUiHooks(); Settings().AbortWait = false; }
    void cleanup() { SetUiHooks(nullptr); TVLBDatabase::Disconnect(); }
    void layout();
    void textImportsAndClose();
    void textImportShowsItsSteps();
    void emptyAfterQuestion();
    void wawiImportOnDemo();
    void mailImports();

private:
    RecordingUiHooks m_ui;
};

void tst_NewsletterAdr::layout()
{
    test::TestEnv env;
    TFM_NewsletterAdr w(env.path());
    w.show();
    QCOMPARE(w.windowTitle(), QString("Newsletteradressen bearbeiten"));
    for (const char *name : {"Panel1", "ToolBar1", "ToolButton1", "ToolButton3", "ToolButton5", "ToolButton7",
                             "BitBtn1", "AdvPanel1", "AdvPanel2", "DBAdvNavigator1", "DBAdvNavigator2", "DBGrid1",
                             "DBBGrid1"})
        QVERIFY2(w.findChild<QWidget *>(QString::fromUtf8(name)), name);
    QCOMPARE(action(&w, "Action_TextImport")->text(), QString("Textimport"));
    QCOMPARE(action(&w, "Action_Merkant")->text(), QString("Import aus aus Warenwirtschaft"));
    QCOMPARE(action(&w, "Action_ShopImport")->toolTip(),
             QString::fromUtf8("Liest die Daten als den Shop ein\r\n\r\nÄnderungen, die von Kunden gemacht wurden"));
    auto *grid = w.findChild<TDBBGrid *>("DBGrid1");
    QCOMPARE(grid->Columns().size(), 3);
    QCOMPARE(grid->Columns().at(1).titleCaption, QString("Kundennr"));
    QCOMPARE(grid->Columns().at(0).width, 172);
    QCOMPARE(w.findChild<TDBBGrid *>("DBBGrid1")->Columns().at(0).width, 235);
    QCOMPARE(w.findChild<QLabel *>("AdvPanel1Caption")->text(), QString::fromUtf8("Newsletter <B>empfänger</B>"));
}

void tst_NewsletterAdr::textImportsAndClose()
{
    test::TestEnv env;
    writeAll(env.file("a.csv"), "\"Meier\";\"meier@example.de\";x\r\nM\xfcller;mueller@example.de\r\n");
    writeAll(env.file("sperre.txt"), "meier@example.de\r\n");
    {
        TFM_NewsletterAdr w(env.path());
        w.show();
        QString next = env.file("a.csv");
        w.ChooseFile = [&](const QString &) { return next; };
        action(&w, "Action_TextImport")->trigger();
        QCOMPARE(w.Lists().Recipients().RecordCount(), 2);
        QVERIFY(m_ui.messages.isEmpty());
        // the wait dialog was shown and closed again with the last step
        auto *wait = w.findChild<TWarten *>();
        QVERIFY(wait);
        QVERIFY(!wait->isVisible());
        // the name tokens count as candidates too
        QCOMPARE(wait->LB_Action->text(), QString("4 von 4"));
        QCOMPARE(wait->ProgressBar1->value(), 100);

        next = env.file("sperre.txt");
        action(&w, "Action_TextImport_Sperre")->trigger();
        QCOMPARE(w.Lists().Recipients().RecordCount(), 1);
        QCOMPARE(w.Lists().Exclusions().RecordCount(), 1);
        QCOMPARE(w.findChild<TDBBGrid *>("DBGrid1")->model()->rowCount(), 1);

        next.clear();   // cancelled file dialog
        action(&w, "Action_TextImport")->trigger();
        QCOMPARE(w.Lists().Recipients().RecordCount(), 1);
        w.findChild<QPushButton *>("BitBtn1")->click();
    }
    QCOMPARE(fileEmails(env.file("newsletter_adr.xml")), QStringList{"mueller@example.de"});
    QCOMPARE(fileEmails(env.file("newsletter_notadr.xml")), QStringList{"meier@example.de"});
}

// Loading, then filtering the lines for candidates, then taking them in.
void tst_NewsletterAdr::textImportShowsItsSteps()
{
    test::TestEnv env;
    writeAll(env.file("a.txt"), "Kunde: erna@example.de, otto@example.de\r\n");
    TFM_NewsletterAdr w(env.path());
    w.show();
    w.ChooseFile = [&](const QString &) { return env.file("a.txt"); };
    ActionWatch watch;
    watch.window = &w;
    SetUiHooks(&watch);
    action(&w, "Action_TextImport")->trigger();
    SetUiHooks(&m_ui);
    QCOMPARE(w.Lists().Recipients().RecordCount(), 2);
    const int load = int(watch.seen.indexOf("Laden der Datei..."));
    QVERIFY2(load >= 0, qPrintable(watch.seen.join(" | ")));
    QCOMPARE(watch.seen.value(load + 1), QString("E-Mailadressen filtern ..."));
    QVERIFY2(watch.seen.value(load + 2).contains(" von "), qPrintable(watch.seen.join(" | ")));
}

void tst_NewsletterAdr::emptyAfterQuestion()
{
    test::TestEnv env;
    TFM_NewsletterAdr w(env.path());
    w.show();
    w.Lists().AddAddress(NewsletterLists::Target::Recipients, "a@x.de b@x.de");
    int asked = 0;
    bool answer = false;
    w.ConfirmDelete = [&] {
        ++asked;
        return answer;
    };
    action(&w, "Action_Delete_Echt")->trigger();
    QCOMPARE(asked, 1);
    QCOMPARE(w.Lists().Recipients().RecordCount(), 2);
    answer = true;
    action(&w, "Action_Delete_Echt")->trigger();
    QCOMPARE(w.Lists().Recipients().RecordCount(), 0);
}

void tst_NewsletterAdr::wawiImportOnDemo()
{
    test::TestEnv env;
    const QString wawi = env.file("wawi");
    WaWiDemoOptions o;
    o.articles = 20;
    o.addresses = 120;
    o.registerInRegistry = false;
    WriteWaWiDemo(wawi, o);
    QVERIFY(TVLBDatabase::Connect(wawi));
    Settings().Aktiv_Mandant = 1;

    // what the table holds, read through the engine on its own
    QSet<QString> expectIn, expectOut;
    {
        TVLBTable t;
        t.SetDatabaseName("Merkant");
        t.SetTableName("Adressen.DB");
        t.Open();
        for (t.First(); !t.Eof(); t.Next()) {
            const QString mail = CheckEmailAddress(t.FieldByName("E-Mail")->AsString().trimmed());
            if (t.FieldByName("Mandant")->AsInteger() != 1 || mail.isEmpty())
                continue;
            (t.FieldByName("Serienmail")->AsBoolean() ? expectOut : expectIn).insert(mail);
        }
    }
    QVERIFY(!expectIn.isEmpty());
    expectIn -= expectOut;

    TFM_NewsletterAdr w(env.path());
    w.show();
    action(&w, "Action_Merkant")->trigger();
    QVERIFY2(m_ui.messages.isEmpty(), qPrintable(m_ui.messages.join('\n')));
    QSet<QString> in, out;
    for (const auto &row : w.Lists().Recipients().RawRows())
        in.insert(row.at(0).toString());
    for (const auto &row : w.Lists().Exclusions().RawRows())
        out.insert(row.at(0).toString());
    QCOMPARE(in, expectIn);
    QCOMPARE(out, expectOut);
    // a second run adds nothing
    const int before = w.Lists().Recipients().RecordCount();
    action(&w, "Action_Merkant")->trigger();
    QCOMPARE(w.Lists().Recipients().RecordCount(), before);
}

void tst_NewsletterAdr::mailImports()
{
    test::TestEnv env;
    writeAll(env.file("k.vcf"), "BEGIN:VCARD\r\nVERSION:2.1\r\nN;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:M=C3=BCller;J\r\n"
                                "EMAIL;INTERNET:jm@example.de\r\nEND:VCARD\r\n");
    writeAll(env.file("Sent"), "From x Mon Dec  7 10:00:00 2026\nFrom: ich@example.de\n"
                               "To: =?UTF-8?Q?J=C3=B6rg?= <joerg@example.com>\n\nText\n");
    TFM_NewsletterAdr w(env.path());
    w.show();
    QString next = env.file("k.vcf");
    w.ChooseFile = [&](const QString &) { return next; };
    action(&w, "Action_VCard_Adr")->trigger();
    next = env.file("Sent");
    action(&w, "Action_Mbox_Send")->trigger();
    w.ChooseFolder = [&] { return env.file("fehlt"); };
    action(&w, "Action_Maildir_Send")->trigger();
    QCOMPARE(m_ui.messages.size(), 1);   // the missing folder
    QStringList got;
    for (const auto &row : w.Lists().Recipients().RawRows())
        got << row.at(0).toString();
    QCOMPARE(got, (QStringList{"jm@example.de", "joerg@example.com"}));

    // with MV_SCREENSHOT_DIR set: a picture of the window with both lists
    const QString shots = qEnvironmentVariable("MV_SCREENSHOT_DIR");
    if (!shots.isEmpty()) {
        w.Lists().AddAddress(NewsletterLists::Target::Recipients,
                             "anna.schmidt@example.de; info@gaertnerei-mueller.de; bestellung@example.org", "1",
                             "10023");
        w.Lists().AddAddress(NewsletterLists::Target::Exclusions, "kein.newsletter@example.de; abmeldung@example.com");
        w.resize(760, 420);
        QTest::qWait(200);
        QVERIFY(w.grab().save(shots + "/screenshot-newsletter.png"));
    }
}

QTEST_MAIN(tst_NewsletterAdr)
#include "tst_NewsletterAdr.moc"
