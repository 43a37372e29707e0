#include "wawi/WaWiDetect.h"

#include "core/Registry.h"
#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "core/UiHooks.h"
#include "wawi/TVLBTable.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <stdexcept>

namespace mv {

namespace {

const char *const kProgramNames[] = {
    "VLB-Zahlwerk NT", "VLB-Gurnelo", "VLB-Ordavo", "VLB-Merkant", "Quarvel Kassenpult",
    "Senvik Bürotakt", "Holmtree Vorgang", "Brestal Vorgang", "Corvanti Vorgang"};

QString g_cmdArg;
MandantTableFactory g_factory;

std::unique_ptr<Dataset> defaultMandantTable(const QString &dir)
{
    auto t = std::make_unique<TVLBTable>();
    t->SetDatabaseName(QStringLiteral("Merkant"));
    t->SetTableName(QStringLiteral("Mandant.db"));
    t->SetDirectory(dir);
    return t;
}

void readDirAndConnection()
{
    auto &s = Settings();
    s.WaWiDir = RegReadSettingDef(QStringLiteral("Verzeichnis"), QStringLiteral("Merkant"), QString());
    WaWiState().connectionString =
        RegReadSettingDef(QStringLiteral("Verzeichnis"), QStringLiteral("SQLVerbindung"), QString()).trimmed();
}

} // namespace

QStringList WaWiProgramNames()
{
    QStringList out;
    for (const char *n : kProgramNames)
        out << QString::fromUtf8(n);
    return out;
}

QString WaWiProgramKey(int programIndex)
{
    switch (programIndex) {
    case 0: return QStringLiteral("Software\\VLB-Software\\Tillora");
    case 1: return QStringLiteral("Software\\VLB-Software\\Gurnelo");
    case 2: return QStringLiteral("Software\\VLB-Software\\VLB-Ordavo");
    default: return QStringLiteral("Software\\VLB-Software\\VLB-Merkant");
    }
}

QString WaWiProgramNumberKey()
{
    return QStringLiteral("Software\\VLB-Software\\Zweigwart");
}

int ReadWaWiProgramNumber()
{
    const QString v = RegReadValue(WaWiProgramNumberKey() + QStringLiteral("\\Einstellungen\\Programm"),
                                   QStringLiteral("Nummer"));
    if (v.trimmed().isEmpty())
        return 3;
    return StrToIntX(v);
}

int &WaWiEdition()
{
    static int edition = 0;
    return edition;
}

void SetWaWiCommandLineArgument(const QString &arg) { g_cmdArg = arg; }
QString WaWiCommandLineArgument() { return g_cmdArg; }

WaWiDetectState &WaWiState()
{
    static WaWiDetectState state;
    return state;
}

void SetMandantTableFactory(MandantTableFactory f) { g_factory = std::move(f); }

QString MandantDisplayName(const Dataset &mandant)
{
    for (const char *name : {"Firma1", "Firma2", "Firma3", "Name"}) {
        if (Field *f = mandant.FindField(QString::fromLatin1(name))) {
            const QString v = f->AsString().trimmed();
            if (!v.isEmpty())
                return v;
        }
    }
    return QString();
}

WaWiDetectResult DetectWaWi(bool useStoredMandant, int programIndex)
{
    auto &s = Settings();
    auto &st = WaWiState();
    s.VLB_Programm = programIndex;
    s.WaWiDir.clear();
    st.connectionString.clear();
    st.aliasConnected = false;
    st.lastError.clear();
    if (st.mandantTable)
        st.mandantTable->Close();

    // The given program first, then programs 0 to 4.
    int i = -1;
    for (;;) {
        if (i >= 0)
            s.VLB_Programm = i;
        s.RegPath = WaWiProgramKey(s.VLB_Programm);
        bool done = false;
        if (!g_cmdArg.isEmpty()) {
            const QString saved = s.RegPath;
            s.RegPath = s.RegPath + QLatin1Char('\\') + g_cmdArg;
            readDirAndConnection();
            if (s.WaWiDir.trimmed().isEmpty())
                s.RegPath = saved;
            else
                done = true;  // the sub-key's values stand
        }
        if (!done)
            readDirAndConnection();
        ++i;
        if (i >= 5 || !s.WaWiDir.trimmed().isEmpty())
            break;
    }

    if (s.WaWiDir.trimmed().isEmpty()) {
        const QString saved = s.RegPath;
        s.RegPath = s.RegPath + QStringLiteral("\\DEMO");
        s.WaWiDir = RegReadSettingDef(QStringLiteral("Verzeichnis"), QStringLiteral("Merkant"), QString());
        if (s.WaWiDir.trimmed().isEmpty())
            s.RegPath = saved;
    }

    if (s.WaWiDir.trimmed().isEmpty()) {
        st.mandantListVisible = false;
        st.mandantNames.clear();
        st.lastError = QStringLiteral("Es wurde keine Warenwirtschaft gefunden:\rRegpath: ") + s.RegPath;
        Ui().ShowMessage(st.lastError, UiHooks::Icon::Warning);
        WaWiEdition() = 0;
        return WaWiDetectResult::NotFound;
    }

    WaWiEdition() = StrToIntX(RegReadSetting(QStringLiteral("Programm"), QStringLiteral("Edition")));

    // The alias: a folder of Paradox tables. An unusable folder ends the
    // detection without a message.
    QString aliasError;
    if (!TVLBDatabase::Connect(s.WaWiDir.trimmed(), &aliasError)) {
        st.lastError = aliasError;
        st.mandantNames.clear();
        return WaWiDetectResult::AliasFailed;
    }
    st.aliasConnected = true;

    try {
        st.mandantNames.clear();
        st.mandantTable = g_factory ? g_factory(TVLBDatabase::Path()) : defaultMandantTable(TVLBDatabase::Path());
        Dataset &t = *st.mandantTable;
        t.Open();
        for (t.First(); !t.Eof(); t.Next())
            st.mandantNames << MandantDisplayName(t);
        st.mandantListVisible = true;
        int pos = s.Aktiv_Mandant;
        if (!useStoredMandant)
            pos = StrToIntX(RegReadSetting(QStringLiteral("Mandant"), QStringLiteral("Aktiv")));
        QString err;
        if (!SelectMandant(pos, &err))
            Ui().ShowMessage(err, UiHooks::Icon::Warning);
        st.mandantListIndex = s.Aktiv_Mandant - 1;
        if (st.mandantListIndex < 0 || st.mandantListIndex >= st.mandantNames.size())
            st.mandantListIndex = -1;
    } catch (const std::exception &e) {
        st.lastError = QStringLiteral("Mandantendatenbank könnte nicht geöffnet werden!\rDatenverzeichnis: ")
                       + s.WaWiDir + QStringLiteral("\r") + QStringLiteral("Tempverzeichnis:  ") + s.TempDir
                       + QStringLiteral("\r") + QStringLiteral("Regpath: ") + s.RegPath + QStringLiteral("\r")
                       + QString::fromUtf8(e.what());
        Ui().ShowMessage(st.lastError, UiHooks::Icon::Error);
        return WaWiDetectResult::MandantFailed;
    }
    return WaWiDetectResult::Found;
}

bool SelectMandant(int position, QString *error)
{
    auto &s = Settings();
    auto &st = WaWiState();
    if (!st.mandantTable || !st.mandantTable->Active())
        throw DatasetError(QStringLiteral("Die Mandantentabelle ist nicht geöffnet."));
    Dataset &t = *st.mandantTable;
    t.First();
    if (position > 1)
        t.MoveBy(position - 1);
    if (t.FieldCount() > 0)
        s.Aktiv_Mandant = t.FieldAt(0)->AsInteger();
    QStringList lines;
    if (Field *z = t.FindField(QStringLiteral("Zusatz2")))
        lines = z->AsString().split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
    try {
        for (int n = 1; n <= 9; ++n) {
            s.E_VK_Netto[n] = false;
            IniBool(lines, QStringLiteral("E_VK%1_Netto").arg(n), s.E_VK_Netto[n]);
        }
        IniInt(lines, QStringLiteral("Hauptwaehrung"), s.Hauptwaehrung);
        IniInt(lines, QStringLiteral("Euro"), s.Euro);
        IniBool(lines, QStringLiteral("Euroumstell"), s.Euroumstell);
    } catch (const std::invalid_argument &e) {
        // A bad value stops the selection at that key; the program goes on.
        if (error)
            *error = QString::fromUtf8(e.what());
        return false;
    }
    return true;
}

void SelectMandantListIndex(int listIndex)
{
    QString err;
    if (!SelectMandant(listIndex + 1, &err))
        Ui().ShowMessage(err, UiHooks::Icon::Warning);
    WaWiState().mandantListIndex = listIndex;
}

} // namespace mv
