#include "shell/MainActions.h"

#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "core/ui/Icons.h"
#include "shell/TFM_Haupt.h"
#include "core/ui/TPanelBar.h"
#include "browse/ui/TFM_Adressen.h"
#include "browse/ui/TFM_NewsletterAdr.h"
#include "setup/ui/TFM_EinAssi.h"
#ifdef MV_HAVE_WEBENGINE
#include "setup/ui/TFM_Explorer.h"
#endif

#include <QAction>
#include <QDesktopServices>
#include <QUrl>

namespace mv {

const QVector<MainActionDef> &MainActionTable()
{
    static const QVector<MainActionDef> table = {
        {"Action_Ende", "Datei", "&Ende", "Programm beenden", "", "exit"},
        {"Action_WaWiShop", "WaWi_Shop", "Warenwirtschaft in Shop", "Warenwirtschaft in den Shop übertragen", "", "sync"},
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
    on("Action_WebBrowser", [this] { openExplorer(Settings().SQL_HTTP); });
    on("Action_Adminmenue", [this] { openExplorer(ShopAddress(QStringLiteral("/admin/index.php"))); });
    on("Action_Server_Info", [this] { openExplorer(ShopAddress(QStringLiteral("/module/phpinfo/phpinfo.php"))); });
    on("Action_Debug_On", [this] { m_main->Action_Debug_OnExecute(true); });
    on("Action_Debug_Off", [this] { m_main->Action_Debug_OffExecute(); });
    on("Action_WaWiCFG", [this] { m_main->ShowWaWiCfg(); });
    on("Action_Adressen", [this] { m_main->AddChildWindow(new TFM_Adressen); });
    on("Action_NewsletterAdr", [this] { m_main->AddChildWindow(new TFM_NewsletterAdr); });
    on("Action_CFG_Assistent", [this] {
        TFM_EinAssi *a = m_main->FM_EinAssi;
        if (!a)
            return;
        if (a->isVisible())
            a->StartBlink();
        else
            a->show();
    });
    on("Action_FTP_Config", [this] {
        // The upload window comes with the FTP transfer; the bar returns in
        // any case, as the last step of the assistant promises.
        m_main->InspectorBar1->setVisible(true);
    });
    on("Action_Ass_FTP", [this] { stepAllowed(QStringLiteral("ftp")); });
    on("Action_Ass_SQL", [this] { stepAllowed(QStringLiteral("sql")); });
    on("Action_Ass_WaWi", [this] {
        if (!stepAllowed(QStringLiteral("wawi")))
            return;
        Run(QStringLiteral("Action_WaWiCFG"));
        if (Settings().Aktiv_Mandant > 0)
            markStepDone(QStringLiteral("wawi"));
    });
    on("Action_Ass_FTPShop", [this] { stepAllowed(QStringLiteral("ftpshop")); });
    on("Action_Ass_SQLTabellen", [this] { stepAllowed(QStringLiteral("sqltabellen")); });
    on("Action_Ass_Sonderdaten", [this] { stepAllowed(QStringLiteral("sonderdaten")); });
    on("Action_Ass_WawiAbgleich", [this] { stepAllowed(QStringLiteral("shopwawi")); });
}

} // namespace mv
