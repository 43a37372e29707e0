#include "shell/MainActions.h"

#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "core/ui/Icons.h"
#include "data/FormatSettings.h"
#include "transfer/TransferRun.h"
#include "shell/TFM_Haupt.h"
#include "core/ui/TPanelBar.h"
#include "setup/ui/TFM_Config.h"
#include "browse/ui/TFM_Adressen.h"
#include "browse/ui/TFM_Artikelliste.h"
#include "browse/ui/TFM_NewsletterAdr.h"
#include "setup/ui/TFM_EinAssi.h"
#include "transfer/PictureCleanup.h"
#include "transfer/ui/TFM_WaWiShop.h"
#include "setup/ui/TFM_FTP.h"
#include "setup/ui/TFM_SQLServer.h"
#include "setup/ui/TFM_ShowSQLData.h"
#include "shell/TWebPanel.h"
#include "masterdata/MasterTable.h"
#include "masterdata/TableFile.h"
#include "masterdata/ui/TFM_FAQ.h"
#include "masterdata/ui/TFM_Laender.h"
#include "masterdata/ui/TFM_News.h"
#include "masterdata/ui/TFM_Versandarten.h"
#include "masterdata/ui/TFM_Versandmodul.h"
#include "masterdata/ui/TFM_Zahlart.h"
#ifdef MV_HAVE_WEBENGINE
#include "setup/ui/TFM_Explorer.h"
#endif

#include <QAction>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QDesktopServices>
#include <QUrl>

namespace mv {

const QVector<MainActionDef> &MainActionTable()
{
    static const QVector<MainActionDef> table = {
        {"Action_Ende", "Datei", "&Ende", "Programm beenden", "", "exit"},
        {"Action_WaWiShop", "WaWi_Shop", "Warenwirtschaft in Shop", "Warenwirtschaft in den Shop übertragen", "", "sync"},
        {"Action_PicDelete", "WaWi_Shop", "Bilder löschen", "löscht alte Bilder, die aus vorigen Datenabgleichen stammen", "", "remove"},
        {"Action_SQLServerCFG", "SQL", "SQL-Server einstellen", "SQL-Server einstellen", "", "database"},
        {"Action_WaWiCFG", "WaWi", "Warenwirtschaft einstellen", "Warenwirtschaft einstellen", "", "warehouse"},
        {"Action_TablesSQL", "SQL", "zeige alle Daten des SQL-Servers", "zeige alle Daten des SQL-Servers (der gewählten Datenbank", "", "table"},
        {"Action_Adressen", "WaWi", "Adressen zeigen", "zeigt die Adressenliste der Warenwirtschaft an", "", "people"},
        {"ArtikelZeigen", "WaWi", "Artikel anzeigen", "zeigt die Artikelliste aus der Warenwirtschaft an", "", "package"},
        {"ArtikelZeigen2", "WaWi", "Warengruppenzuweisung", "Warengruppenzuweisung\r\n\r\n(Einen Artikel mehreren Warengruppen zuweisen)", "", "groups"},
        {"Action_LandCFG", "SQL", "Länder einstellen", "Länder + Währungen einstellen", "", "flag"},
        {"Action_FTP", "WaWi_Shop", "Datenübertragung", "Shopprogramm ins Internet übertragen", "", "upload-shop"},
        {"Action_FTPBilder", "WaWi_Shop", "FTP-Bilderübertragung", "Bilder ins Internet übertragen", "", "upload-pictures"},
        {"Action_SQLNews", "SQL", "Onlinenews bearbeiten", "Newsbereich des Shops bearbeiten", "", "news"},
        {"Action_Zahlarten", "SQL", "Zahlarten bearbeiten", "Zahlarten bearbeiten", "", "money"},
        {"Action_Versandarten", "SQL", "Versandarten bearbeiten", "Versandarten bearbeiten", "", "truck"},
        {"Action_Versandmodul", "SQL", "Versandmodul", "", "", "weight"},
        {"Action_FAQ", "SQL", "FAQ-Bearbeiten", "", "", "help"},
        {"Action_NewsletterAdr", "", "Newsletteradressen", "Newsletteradressen bearbeitern", "", "mail"},
        {"Action_CFG_Config", "SQL", "Shopkonfiguration", "Shopkonfiguration\r\n\r\nEinstellung aller internen Variablen", "", "document"},
        {"Action_FTP_Config", "WaWi_Shop", "Einstellungen übertragen", "Einstellungen ins Internet übertragen", "", "upload-config"},
        {"Action_WebBrowser", "Datei", "Shop anzeigen", "Shop anzeigen\r\n\r\n(im Internet)", "", "browser"},
        {"Action_Adminmenue", "WaWi_Shop", "Shopeinstellungen Adminmenü", "", "", "settings"},
        {"Action_Server_Info", "WaWi_Shop", "Server Info anzeigen", "", "", "server-info"},
        {"Action_Debug_On", "Datei", "Action_Debug_On", "", "Ctrl+Alt+D", "debug"},
        {"Action_Debug_Off", "Datei", "Action_Debug_Off", "", "Ctrl+D", ""},
        {"Action_CFG_Assistent", "SQL", "Action_CFG_Assistent", "", "", "wizard"},
        {"Action_Ass_FTP", "Assistent", "Action_Ass_FTP", "", "", ""},
        {"Action_Ass_SQL", "Assistent", "Action_Ass_SQL", "", "", ""},
        {"Action_Ass_WaWi", "Assistent", "Action_Ass_WaWi", "", "", ""},
        {"Action_Ass_FTPShop", "Assistent", "Action_Ass_FTPShop", "", "", ""},
        {"Action_Ass_SQLTabellen", "Assistent", "Action_Ass_SQLTabellen", "", "", ""},
        {"Action_Ass_Sonderdaten", "Assistent", "Action_Ass_Sonderdaten", "", "", ""},
        {"Action_Ass_WawiAbgleich", "Assistent", "Action_Ass_WawiAbgleich", "", "", ""},
    };
    return table;
}

MainActions::MainActions(TFM_Haupt *main)
    : QObject(main), m_main(main)
{
    setObjectName(QStringLiteral("ActionManager1"));
    // The transfer window always opens with the date the program started.
    if (TransferDateText().isEmpty())
        TransferDateText() = DateToText(QDate::currentDate());
    for (const MainActionDef &d : MainActionTable()) {
        auto *a = new QAction(QString::fromUtf8(d.caption), main);
        const QString name = QString::fromUtf8(d.name);
        a->setObjectName(name);
        QString hint = QString::fromUtf8(d.hint);
        hint.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        a->setToolTip(hint.isEmpty() ? QString() : hint);
        a->setStatusTip(hint.section(QLatin1Char('\n'), 0, 0));
        a->setProperty("category", QString::fromUtf8(d.category));
        if (*d.shortcut) {
            a->setShortcut(QKeySequence(QString::fromUtf8(d.shortcut)));
        }
        if (*d.icon)
            a->setIcon(AppIcon(QString::fromUtf8(d.icon)));
        main->addAction(a);   // shortcuts work without a menu entry
        m_actions.insert(name, a);
        m_ordered << a;
    }
    connectHandlers();
}

bool MainActions::Run(const QString &name)
{
    QAction *a = m_actions.value(name);
    if (!a)
        return false;
    a->trigger();
    return true;
}

QString MainActions::ShopAddress(const QString &path)
{
    QString base = Settings().SQL_HTTP;
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base + path;
}

void MainActions::openExplorer(const QString &url)
{
#ifdef MV_HAVE_WEBENGINE
    m_main->AddChildWindow(new TFM_Explorer(url));
#else
    // Without an embedded HTML view the desktop's browser shows the page.
    if (!url.trimmed().isEmpty())
        QDesktopServices::openUrl(QUrl::fromUserInput(url));
#endif
}

TFM_SQLServer *MainActions::SQLServer()
{
    if (!m_sqlServer) {
        m_sqlServer = new TFM_SQLServer(m_main);
        TFM_Haupt *main = m_main;
        m_sqlServer->ClearWebPanelReady = [main] { main->WebPanelReady = false; };
        m_sqlServer->WebStatusVisible = [main] { return main->DebugMode(); };
        m_sqlServer->PrepareGateway = [main] {
            if (!main->WebPanelReady || main->PA_WEB->isHidden() || main->PA_WEB->PA_Web_Status->isHidden()) {
                main->Action_Debug_OnExecute(true);
                main->Action_Debug_OffExecute();
            }
            main->WebPanelReady = true;
        };
    }
    return m_sqlServer;
}

TFM_FTP *MainActions::OpenFtp(const QString &caption, const QString &folderSuffix, bool assistantMode)
{
    auto *w = new TFM_FTP;
    TFM_Haupt *main = m_main;
    w->StatusVisible = [main] { return !main->PA_WEB->isHidden(); };
    m_main->AddChildWindow(w);
    if (!caption.isEmpty())
        w->setWindowTitle(caption);
    if (!folderSuffix.isEmpty()) {
        w->LocalFolder = Settings().ShopSubdir + folderSuffix;
        QString dir = w->ED_Verzeichnis->text();
        while (dir.endsWith(QLatin1Char('/')))
            dir.chop(1);
        w->ED_Verzeichnis->setText(dir + folderSuffix);
    }
    w->AssistantMode = assistantMode;
    return w;
}

void MainActions::openEditor(const QString &fileName, const std::function<TMasterEditor *()> &make)
{
    // One editor per table file: a second one would overwrite the first
    // one's edits when closed.
    if (TMasterEditor::BringToFront(Settings().ExeDir + fileName))
        return;
    m_main->AddChildWindow(make());
}

bool MainActions::runSonderdaten()
{
    // Each editor is opened, takes the WaWi data over and is closed, which
    // writes its file. An editor the user has open on the file does the
    // take-over itself and stays open, so neither overwrites the other.
    bool ok = true;
    if (auto *open = qobject_cast<TFM_Zahlart *>(TMasterEditor::OpenEditorFor(Settings().ExeDir + ZahlartTable().fileName))) {
        ok = open->BitBtn2Click().ok() && ok;
    } else {
        TFM_Zahlart zahlart;
        zahlart.FormShow();
        Ui().ProcessEvents();
        ok = zahlart.BitBtn2Click().ok() && ok;
        ok = zahlart.FormClose() && ok;
    }
    if (auto *open = qobject_cast<TFM_Versandarten *>(
            TMasterEditor::OpenEditorFor(Settings().ExeDir + VersandartTable().fileName))) {
        ok = open->BitBtn2Click().ok() && ok;
        QString error;
        if (open->Table()->Active() && !SaveMasterTable(*open->Table(), &error)) {
            Ui().ShowMessage(error, UiHooks::Icon::Warning);
            ok = false;
        }
    } else {
        TFM_Versandarten versand;
        versand.FormShow();
        Ui().ProcessEvents();
        ok = versand.BitBtn2Click().ok() && ok;
        ok = versand.FormClose() && ok;
    }
    return ok;
}

bool MainActions::stepAllowed(const QString &key)
{
    return m_main->FM_EinAssi && m_main->FM_EinAssi->StepAllowed(key);
}

void MainActions::markStepDone(const QString &key)
{
    if (m_main->FM_EinAssi)
        m_main->FM_EinAssi->MarkStepDone(key);
}

void MainActions::connectHandlers()
{
    auto on = [this](const char *name, auto fn) {
        connect(m_actions.value(QString::fromUtf8(name)), &QAction::triggered, this, fn);
    };
    on("Action_Ende", [this] { m_main->close(); });
    on("Action_PicDelete", [] {
        const QString failure = DeleteCollectedPictures();
        if (!failure.isEmpty())
            Ui().LogLine(failure);
    });
    on("Action_WebBrowser", [this] { openExplorer(Settings().SQL_HTTP); });
    on("Action_Adminmenue", [this] { openExplorer(ShopAddress(QStringLiteral("/admin/index.php"))); });
    on("Action_Server_Info", [this] { openExplorer(ShopAddress(QStringLiteral("/module/phpinfo/phpinfo.php"))); });
    on("Action_Debug_On", [this] { m_main->Action_Debug_OnExecute(true); });
    on("Action_Debug_Off", [this] { m_main->Action_Debug_OffExecute(); });
    on("Action_WaWiCFG", [this] { m_main->ShowWaWiCfg(); });
    on("Action_Adressen", [this] { m_main->AddChildWindow(new TFM_Adressen); });
    on("ArtikelZeigen", [this] { m_main->AddChildWindow(new TFM_Artikelliste(TFM_Artikelliste::Mode::List)); });
    on("ArtikelZeigen2",
       [this] { m_main->AddChildWindow(new TFM_Artikelliste(TFM_Artikelliste::Mode::Assignment)); });
    on("Action_NewsletterAdr", [this] { m_main->AddChildWindow(new TFM_NewsletterAdr); });
    on("Action_CFG_Assistent", [this] {
        TFM_EinAssi *a = m_main->FM_EinAssi;
        if (!a)
            return;
        if (a->isVisible()) {
            a->raise();
            a->StartBlink();
        } else {
            a->show();
        }
    });
    on("Action_SQLServerCFG", [this] {
        TFM_SQLServer *d = SQLServer();
        d->SetReduced(false);
        d->exec();
    });
    on("Action_CFG_Config", [this] { m_main->AddChildWindow(new TFM_Config); });
    on("Action_TablesSQL", [this] { m_main->AddChildWindow(new TFM_ShowSQLData); });
    on("Action_FTP", [this] { OpenFtp(QString(), QString(), false); });
    on("Action_FTPBilder", [this] {
        OpenFtp(QStringLiteral("Bilder im Shop ergänzen"), QStringLiteral("/abilder"), false);
    });
    on("Action_FTP_Config", [this] {
        OpenFtp(QStringLiteral("Einstellungen übertragen"), QStringLiteral("/config"), true);
        // The last step of the assistant brings the bar back.
        m_main->InspectorBar1->setVisible(true);
    });
    on("Action_Ass_FTP", [this] {
        TFM_FTP *w = OpenFtp(QStringLiteral("FTP-Zugang einrichten"), QString(), false);
        w->BitBtn2->setVisible(false);
        w->BitBtn6->setVisible(true);
    });
    on("Action_Ass_SQL", [this] {
        if (!stepAllowed(QStringLiteral("sql")))
            return;
        TFM_SQLServer *d = SQLServer();
        d->SetReduced(true);
        d->exec();
        d->SetReduced(false);
        const ShopSettings &s = Settings();
        if (!s.SQL_Server.trimmed().isEmpty() && !s.SQL_Host.trimmed().isEmpty() && !s.SQL_User.trimmed().isEmpty())
            markStepDone(QStringLiteral("sql"));
        else
            Ui().ShowMessage(QStringLiteral("Die SQLServer-Daten wurden nicht vollständig eingestellt"));
    });
    on("Action_Ass_WaWi", [this] {
        if (!stepAllowed(QStringLiteral("wawi")))
            return;
        Run(QStringLiteral("Action_WaWiCFG"));
        if (Settings().Aktiv_Mandant > 0)
            markStepDone(QStringLiteral("wawi"));
    });
    on("Action_Ass_FTPShop", [this] {
        if (!stepAllowed(QStringLiteral("ftpshop")))
            return;
        TFM_SQLServer *d = SQLServer();
        d->FormShow();
        d->Button2Click();
        OpenFtp(QString(), QString(), true);
    });
    on("Action_Ass_SQLTabellen", [this] {
        if (!stepAllowed(QStringLiteral("sqltabellen")))
            return;
        TFM_SQLServer *d = SQLServer();
        d->FormShow();
        d->Button1Click();
        markStepDone(QStringLiteral("sqltabellen"));
    });
    on("Action_Ass_WawiAbgleich", [this] {
        if (!stepAllowed(QStringLiteral("shopwawi")))
            return;
        Run(QStringLiteral("Action_WaWiShop"));
        markStepDone(QStringLiteral("shopwawi"));
    });
    // A new transfer window each time, modal, freed when it closes.
    on("Action_WaWiShop", [this] {
        TFM_WaWiShop w(m_main);
        connect(&w, &TFM_WaWiShop::SqlSettingsRequested, this, [this] { Run(QStringLiteral("Action_SQLServerCFG")); });
        connect(&w, &TFM_WaWiShop::MessageListVisible, m_main, [this](bool on) { m_main->Memo1->setVisible(on); });
        w.exec();
    });
    on("Action_LandCFG", [this] { openEditor(LaenderTable().fileName, [] { return new TFM_Laender; }); });
    on("Action_SQLNews", [this] { openEditor(NewsTable().fileName, [] { return new TFM_News; }); });
    on("Action_Versandmodul", [this] { openEditor(VersandkostenTable().fileName, [] { return new TFM_Versandmodul; }); });
    on("Action_Zahlarten", [this] { openEditor(ZahlartTable().fileName, [] { return new TFM_Zahlart; }); });
    on("Action_Versandarten", [this] { openEditor(VersandartTable().fileName, [] { return new TFM_Versandarten; }); });
    on("Action_FAQ", [this] { openEditor(FaqGruppeTable().fileName, [] { return new TFM_FAQ; }); });
    on("Action_Ass_Sonderdaten", [this] {
        if (!stepAllowed(QStringLiteral("sonderdaten")))
            return;
        if (runSonderdaten())
            markStepDone(QStringLiteral("sonderdaten"));
    });
}

} // namespace mv
