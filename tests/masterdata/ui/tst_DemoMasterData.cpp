// The demo's master data (tools/demo/masterdata.sh through marktvoll-cli)
// as the editors show it: readable text in every memo, edit and grid cell
// of every record, never the base64 form of a text.

#include "core/TextUtil.h"
#include "core/UiHooks.h"
#include "data/ui/TDBBGrid.h"
#include "masterdata/MasterLayouts.h"
#include "masterdata/TableFile.h"
#include "masterdata/ui/DBControls.h"
#include "masterdata/ui/TFM_FAQ.h"
#include "masterdata/ui/TFM_Laender.h"
#include "masterdata/ui/TFM_News.h"
#include "masterdata/ui/TFM_Versandarten.h"
#include "masterdata/ui/TFM_Versandmodul.h"
#include "masterdata/ui/TFM_Zahlart.h"
#include "support/TestEnv.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <memory>

using namespace mv;
using mv::test::TestEnv;

namespace {

// The base64 form of a text (what a hand-made packet put into memo
// attributes): decodes strictly to text that is nearly all plain ASCII (a
// word such as "Rechnung" decodes to bytes that are not).
bool IsBase64OfText(const QString &s)
{
    const QString t = s.trimmed();
    static const QRegularExpression alphabet(QStringLiteral("^[A-Za-z0-9+/]+={0,2}$"));
    if (t.size() < 8 || t.size() % 4 != 0 || !alphabet.match(t).hasMatch())
        return false;
    const auto decoded = QByteArray::fromBase64Encoding(t.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.isEmpty())
        return false;
    qsizetype plain = 0;
    for (const char c : *decoded) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 0x20 && u < 0x7F) || u == '\r' || u == '\n' || u == '\t')
            ++plain;
        else if (u < 0x20 || u == 0x7F)
            return false;
    }
    return plain * 10 >= decoded.decoded.size() * 9;
}

std::unique_ptr<TMasterEditor> make(const QString &kind, const QString &dir)
{
    if (kind == QLatin1String("Laender")) return std::make_unique<TFM_Laender>(dir);
    if (kind == QLatin1String("News")) return std::make_unique<TFM_News>(dir);
    if (kind == QLatin1String("Versandmodul")) return std::make_unique<TFM_Versandmodul>(dir);
    if (kind == QLatin1String("Zahlart")) return std::make_unique<TFM_Zahlart>(dir, dir);
    if (kind == QLatin1String("Versandarten")) return std::make_unique<TFM_Versandarten>(dir, dir);
    return std::make_unique<TFM_FAQ>(dir);
}

} // namespace

class TstDemoMasterData : public QObject {
    Q_OBJECT
    RecordingUiHooks m_ui;
    std::unique_ptr<TestEnv> m_env;

private slots:
    void initTestCase()
    {
        // The check must be able to fail: the old demo's memo form is caught.
        QVERIFY(IsBase64OfText(QString::fromLatin1(ToAnsi(QStringLiteral("bis 31,5 kg\r\nversichert")).toBase64())));
        QVERIFY(IsBase64OfText(QString::fromLatin1(ToAnsi(QStringLiteral("In der Regel 2 Werktage.\r\nIns Ausland länger.")).toBase64())));
        for (const char *word : {"Vorkasse", "Rechnung", "Versandkosten", "Lastschrift", "Kreditkarte", "Deutschland"})
            QVERIFY2(!IsBase64OfText(QString::fromLatin1(word)), word);

        const QString cli = TestEnv::binaryDir() + QStringLiteral("/marktvoll-cli");
        if (!QFile::exists(cli))
            QSKIP("marktvoll-cli is not built");
        m_env = std::make_unique<TestEnv>();
        QProcess p;
        p.start(QStringLiteral("bash"), {TestEnv::sourceDir() + QStringLiteral("/tools/demo/masterdata.sh"), cli, m_env->path()});
        QVERIFY(p.waitForFinished(120000));
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    }
    void init()
    {
        m_ui = RecordingUiHooks();
        SetUiHooks(&m_ui);
    }
    void cleanup() { SetUiHooks(nullptr); }

    // What the transfer reads: every memo of every demo file as plain text.
    void filesHoldPlainMemos()
    {
        int memos = 0;
        for (const MasterTableDef &d : {LaenderTable(), NewsTable(), VersandkostenTable(), ZahlartTable(),
                                        VersandartTable(), FaqGruppeTable(), FaqThemaTable()}) {
            const TablePacket p = TableFile::ReadPacket(m_env->file(d.fileName));
            QVERIFY2(!p.rows.isEmpty(), qPrintable(d.fileName));
            for (const auto &row : p.rows)
                for (int i = 0; i < p.fields.size(); ++i) {
                    if (!IsTextType(p.fields[i].type) || !row.value(i).isValid())
                        continue;
                    memos += p.fields[i].type != FieldType::String;
                    QVERIFY2(!IsBase64OfText(row.value(i).toString()),
                             qPrintable(d.fileName + ": " + row.value(i).toString()));
                }
        }
        QVERIFY(memos >= 4);
    }

    void editorsShowText_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("memoText");   // shown in some memo of some record ("" = editor without memo)
        QTest::newRow("Länder") << "Laender" << QString();
        QTest::newRow("News") << "News" << "Ab sofort im Shop.\n<HTML><b>Nur diese Woche:</b>\n10 % auf alles</HTML>";
        QTest::newRow("Versandkosten") << "Versandmodul" << QString();
        QTest::newRow("Zahlarten") << "Zahlart" << QString::fromUtf8("Bitte überweisen Sie den Betrag\nvor dem Versand.");
        QTest::newRow("Versandarten") << "Versandarten" << "bis 31,5 kg\nversichert";
        QTest::newRow("FAQ") << "FAQ" << QString::fromUtf8("In der Regel 2 Werktage.\nIns Ausland länger.");
    }
    void editorsShowText()
    {
        QFETCH(QString, kind);
        QFETCH(QString, memoText);
        auto w = make(kind, m_env->path());
        w->show();
        QVERIFY(w->Table()->Active());
        QStringList shownMemos;
        int looked = 0;
        auto check = [&] {
            QCoreApplication::processEvents();
            for (TDBMemo *m : w->findChildren<TDBMemo *>()) {
                QVERIFY2(!IsBase64OfText(m->toPlainText()), qPrintable(m->objectName() + ": " + m->toPlainText()));
                shownMemos << m->toPlainText();
                ++looked;
            }
            for (TDBEdit *e : w->findChildren<TDBEdit *>()) {
                QVERIFY2(!IsBase64OfText(e->text()), qPrintable(e->objectName() + ": " + e->text()));
                ++looked;
            }
            for (TDBBGrid *g : w->findChildren<TDBBGrid *>())
                for (int r = 0; r < g->model()->rowCount(); ++r)
                    for (int c = 0; c < g->model()->columnCount(); ++c) {
                        const QString cell = g->model()->index(r, c).data().toString();
                        QVERIFY2(!IsBase64OfText(cell), qPrintable(g->objectName() + ": " + cell));
                        ++looked;
                    }
        };
        // Every record of the main table, and with it every record of the others.
        TableFile *main = w->Table(0);
        for (main->First(); !main->Eof(); main->Next()) {
            check();
            for (int i = 1; i < w->TableCount(); ++i)
                for (w->Table(i)->First(); !w->Table(i)->Eof(); w->Table(i)->Next())
                    check();
        }
        QVERIFY(looked > 0);
        if (!memoText.isEmpty())
            QVERIFY2(shownMemos.contains(memoText), qPrintable(shownMemos.join(" | ")));
        QVERIFY2(m_ui.messages.isEmpty(), qPrintable(m_ui.messages.join(" | ")));
    }
};

QTEST_MAIN(TstDemoMasterData)
#include "tst_DemoMasterData.moc"
