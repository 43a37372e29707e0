// WaWi detection in the registry store and Mandant selection.

#include "core/Registry.h"
#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "wawi/TVLBTable.h"
#include "wawi/WaWiDetect.h"
#include "data/MemTable.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QTest>

using namespace mv;

namespace {

const QString kOrdavo = QStringLiteral("Software\\VLB-Software\\VLB-Ordavo");
const QString kMerkant = QStringLiteral("Software\\VLB-Software\\VLB-Merkant");
const QString kTillora = QStringLiteral("Software\\VLB-Software\\Tillora");

void setDir(const QString &key, const QString &dir)
{
    QVERIFY(RegWriteValue(key + QStringLiteral("\\Einstellungen\\Verzeichnis"), QStringLiteral("Merkant"), dir));
}

struct MandantRow {
    int nr;
    QString firma1, firma2, name, zusatz2;
};

// The Mandant table as the detection sees it, without files.
MandantTableFactory memMandanten(const QVector<MandantRow> &rows, bool failOpen = false)
{
    return [rows, failOpen](const QString &) -> std::unique_ptr<Dataset> {
        if (failOpen)
            throw DatasetError(QStringLiteral("Tabelle ist gesperrt."));
        auto t = std::make_unique<MemTable>();
        t->CreateDataSet({{QStringLiteral("Mandant"), FieldType::Integer},
                          {QStringLiteral("Firma1"), FieldType::String, 40},
                          {QStringLiteral("Firma2"), FieldType::String, 40},
                          {QStringLiteral("Firma3"), FieldType::String, 40},
                          {QStringLiteral("Name"), FieldType::String, 40},
                          {QStringLiteral("Zusatz2"), FieldType::Memo}});
        for (const auto &r : rows)
            t->AppendRawRow({r.nr, r.firma1, r.firma2, QString(), r.name, r.zusatz2});
        t->RawRowsDone();
        return t;
    };
}

} // namespace

class TestWaWiDetect : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        SetUiHooks(&m_ui);
        m_ui = RecordingUiHooks();
        SetWaWiCommandLineArgument(QString());
        SetMandantTableFactory(memMandanten({{1, QStringLiteral("Muster & Söhne"), {}, {}, QStringLiteral("Hauptwaehrung=1\r\nEuro=2")}}));
    }
    void cleanup()
    {
        SetUiHooks(nullptr);
        SetMandantTableFactory({});
        SetWaWiCommandLineArgument(QString());
        WaWiState().mandantTable.reset();
    }

    void programIndexFallback()
    {
        test::TestEnv env;
        setDir(kOrdavo, env.path());
        QCOMPARE(DetectWaWi(true, 0), WaWiDetectResult::Found);
        QCOMPARE(Settings().VLB_Programm, 2);
        QCOMPARE(Settings().RegPath, kOrdavo);
        QCOMPARE(Settings().WaWiDir, env.path());
        QVERIFY(m_ui.messages.isEmpty());
    }

    void givenProgramWinsOverOthers()
    {
        test::TestEnv env;
        setDir(kTillora, env.path() + QStringLiteral("/x"));
        setDir(kMerkant, env.path());
        QCOMPARE(DetectWaWi(true, 3), WaWiDetectResult::Found);
        QCOMPARE(Settings().VLB_Programm, 3);
        QCOMPARE(Settings().RegPath, kMerkant);
        // Program 7 uses the key of index 3.
        QCOMPARE(DetectWaWi(true, 7), WaWiDetectResult::Found);
        QCOMPARE(Settings().VLB_Programm, 7);
        QCOMPARE(Settings().RegPath, kMerkant);
    }

    void subKeyArgument_data()
    {
        QTest::addColumn<bool>("subKeyHasDir");
        QTest::newRow("sub-key with folder") << true;
        QTest::newRow("no such sub-key") << false;
    }
    void subKeyArgument()
    {
        QFETCH(bool, subKeyHasDir);
        test::TestEnv env;
        QDir(env.path()).mkpath(QStringLiteral("filiale"));
        setDir(kMerkant, env.path());
        if (subKeyHasDir)
            setDir(kMerkant + QStringLiteral("\\Filiale2"), env.file(QStringLiteral("filiale")));
        SetWaWiCommandLineArgument(QStringLiteral("Filiale2"));
        QCOMPARE(DetectWaWi(true, 3), WaWiDetectResult::Found);
        if (subKeyHasDir) {
            QCOMPARE(Settings().RegPath, kMerkant + QStringLiteral("\\Filiale2"));
            QCOMPARE(Settings().WaWiDir, env.file(QStringLiteral("filiale")));
        } else {
            QCOMPARE(Settings().RegPath, kMerkant);
            QCOMPARE(Settings().WaWiDir, env.path());
        }
    }

    void demoKey()
    {
        test::TestEnv env;
        setDir(kMerkant + QStringLiteral("\\DEMO"), env.path());
        QCOMPARE(DetectWaWi(true, 3), WaWiDetectResult::Found);
        QCOMPARE(Settings().RegPath, kMerkant + QStringLiteral("\\DEMO"));
        QCOMPARE(Settings().VLB_Programm, 4);
    }

    void nothingFound()
    {
        test::TestEnv env;
        QCOMPARE(DetectWaWi(true, 1), WaWiDetectResult::NotFound);
        QCOMPARE(m_ui.messages.size(), 1);
        QCOMPARE(m_ui.messages.first(), QStringLiteral("Es wurde keine Warenwirtschaft gefunden:\rRegpath: ") + kMerkant);
        QVERIFY(!WaWiState().mandantListVisible);
        QCOMPARE(Settings().VLB_Programm, 4);
    }

    void missingFolderIsSilent()
    {
        test::TestEnv env;
        setDir(kMerkant, env.file(QStringLiteral("gibt-es-nicht")));
        QCOMPARE(DetectWaWi(true, 3), WaWiDetectResult::AliasFailed);
        QVERIFY(m_ui.messages.isEmpty());
        QVERIFY(WaWiState().mandantNames.isEmpty());
    }

    void mandantTableUnreadable()
    {
        test::TestEnv env;
        setDir(kMerkant, env.path());
        SetMandantTableFactory(memMandanten({}, true));
        QCOMPARE(DetectWaWi(true, 3), WaWiDetectResult::MandantFailed);
        QCOMPARE(m_ui.messages.size(), 1);
        QVERIFY(m_ui.messages.first().startsWith(
            QStringLiteral("Mandantendatenbank könnte nicht geöffnet werden!\rDatenverzeichnis: ") + env.path() + QStringLiteral("\rTempverzeichnis:  ")));
        QVERIFY(m_ui.messages.first().endsWith(QStringLiteral("Tabelle ist gesperrt.")));
    }

    void edition_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("edition");
        QTest::newRow("missing") << QString() << 0;
        QTest::newRow("two") << QStringLiteral("2") << 2;
        QTest::newRow("junk") << QStringLiteral("abc") << 0;
    }
    void edition()
    {
        QFETCH(QString, value);
        QFETCH(int, edition);
        test::TestEnv env;
        setDir(kMerkant, env.path());
        if (!value.isEmpty())
            RegWriteValue(kMerkant + QStringLiteral("\\Einstellungen\\Programm"), QStringLiteral("Edition"), value);
        WaWiEdition() = 7;
        QCOMPARE(DetectWaWi(true, 3), WaWiDetectResult::Found);
        QCOMPARE(WaWiEdition(), edition);
    }

    void mandantListAndSelection()
    {
        test::TestEnv env;
        setDir(kMerkant, env.path());
        SetMandantTableFactory(memMandanten({
            {1, QStringLiteral("  Muster & Söhne  "), {}, {}, QStringLiteral("E_VK1_Netto=1\r\nE_VK3_Netto=1\r\nHauptwaehrung=5\r\nEuro=6\r\nEuroumstell=1")},
            {2, QStringLiteral("   "), QStringLiteral("Meier GmbH"), {}, QStringLiteral("E_VK2_Netto=1")},
            {3, {}, {}, QStringLiteral("Nur Name"), QStringLiteral("Hauptwaehrung=zwei\r\nEuro=9")},
        }));
        QCOMPARE(DetectWaWi(true, 3), WaWiDetectResult::Found);
        QCOMPARE(WaWiState().mandantNames,
                 QStringList({QStringLiteral("Muster & Söhne"), QStringLiteral("Meier GmbH"), QStringLiteral("Nur Name")}));
        QVERIFY(WaWiState().mandantListVisible);
        // Aktiv_Mandant 0 at start: the first record.
        QCOMPARE(Settings().Aktiv_Mandant, 1);
        QCOMPARE(Settings().Hauptwaehrung, 5);
        QVERIFY(Settings().E_VK_Netto[1] && Settings().E_VK_Netto[3] && !Settings().E_VK_Netto[2]);
        QCOMPARE(WaWiState().mandantListIndex, 0);

        // The second entry: missing keys keep the first Mandant's values,
        // the nine flags are reset.
        SelectMandantListIndex(1);
        QCOMPARE(Settings().Aktiv_Mandant, 2);
        QCOMPARE(Settings().Hauptwaehrung, 5);
        QCOMPARE(Settings().Euro, 6);
        QVERIFY(Settings().Euroumstell);
        QVERIFY(!Settings().E_VK_Netto[1] && Settings().E_VK_Netto[2] && !Settings().E_VK_Netto[3]);

        // A non-numeric value stops at that key without ending anything.
        QString err;
        QVERIFY(!SelectMandant(3, &err));
        QVERIFY(err.contains(QStringLiteral("Hauptwaehrung")));
        QCOMPARE(Settings().Aktiv_Mandant, 3);
        QCOMPARE(Settings().Euro, 6);   // not reached

        // Positions beyond the end stay on the last record, below 1 on the first.
        QVERIFY(!SelectMandant(99));
        QCOMPARE(Settings().Aktiv_Mandant, 3);
        QVERIFY(SelectMandant(-4));
        QCOMPARE(Settings().Aktiv_Mandant, 1);
    }

    void storedMandantOrRegistryValue()
    {
        test::TestEnv env;
        setDir(kMerkant, env.path());
        RegWriteValue(kMerkant + QStringLiteral("\\Einstellungen\\Mandant"), QStringLiteral("Aktiv"), QStringLiteral("2"));
        SetMandantTableFactory(memMandanten({{1, QStringLiteral("A"), {}, {}, {}}, {2, QStringLiteral("B"), {}, {}, {}}}));
        Settings().Aktiv_Mandant = 1;
        QCOMPARE(DetectWaWi(true, 3), WaWiDetectResult::Found);
        QCOMPARE(Settings().Aktiv_Mandant, 1);
        QCOMPARE(DetectWaWi(false, 3), WaWiDetectResult::Found);
        QCOMPARE(Settings().Aktiv_Mandant, 2);
        QCOMPARE(WaWiState().mandantListIndex, 1);
    }

private:
    RecordingUiHooks m_ui;
};

QTEST_GUILESS_MAIN(TestWaWiDetect)
#include "tst_WaWiDetect.moc"
