#include "shell/MainNavigation.h"

#include "shell/MainActions.h"
#include "core/ui/TPanelBar.h"

#include <QAction>
#include <QStringList>
#include <QToolButton>

namespace mv {

const QStringList &NavPanelCaptions()
{
    static const QStringList captions = {
        QStringLiteral("Einstellungen"), QStringLiteral("Warenwirtschaft"),
        QStringLiteral("weitere Daten"), QStringLiteral("Onlineshop"), QStringLiteral("Ansicht")};
    return captions;
}

const QVector<NavItemDef> &NavItemTable()
{
    static const QVector<NavItemDef> table = {
        {0, "Einrichtungsassistent", "", "Action_CFG_Assistent"},
        {0, "SQL-Server einstellen", "SQL-Server einstellen", "Action_SQLServerCFG"},
        {0, "Warenwirtschaft einstellen", "Warenwirtschaft einstellen", "Action_WaWiCFG"},
        {0, "Shopkonfiguration", "Shopkonfiguration\r\n\r\nEinstellung aller internen Variablen", "Action_CFG_Config"},
        {1, "Adressen zeigen", "zeigt die Adressenliste der Warenwirtschaft an", "Action_Adressen"},
        {1, "Artikel zeigen", "", "ArtikelZeigen"},
        {1, "Warengruppenzuweisung", "Warengruppenzuweisung\r\n\r\n(Einen Artikel mehreren Warengruppen zuweisen)", "ArtikelZeigen2"},
        {2, "Online News bearbeiten", "Newsbereich des Shops bearbeiten", "Action_SQLNews"},
        {2, "FAQ-Bearbeiten", "FAQ-Bearbeiten", "Action_FAQ"},
        {2, "Zahlarten bearbeiten", "Zahlarten bearbeiten", "Action_Zahlarten"},
        {2, "Versandarten bearbeiten", "Versandarten bearbeiten", "Action_Versandarten"},
        {2, "Versandkosten", "", "Action_Versandmodul"},
        {2, "Länder einstellen", "Länder + Währungen einstellen", "Action_LandCFG"},
        {2, "Newsletteradressen", "", "Action_NewsletterAdr"},
        {3, "Datenbankabgleich", "Warenwirtschaft in den Shop übertragen", "Action_WaWiShop"},
        {3, "SQL-Online-Editor", "zeige alle Daten des SQL-Servers (der gewählten Datenbank", "Action_TablesSQL"},
        {3, "FTP-Bilderübertragung", "nur Bilder ins Internet übertragen", "Action_FTPBilder"},
        {3, "Shopkonfiguration übertragen", "", "Action_FTP_Config"},
        {3, "FTP-Shopübertragung (komplett)", "nur Bilder ins Internet übertragen", "Action_FTP"},
        {4, "Shop anzeigen", "", "Action_WebBrowser"},
        {4, "Shopeinstellungen (Adminmenü)", "", "Action_Adminmenue"},
        {4, "Server Info anzeigen", "", "Action_Server_Info"},
        {4, "Problemlösung (Debug-Modus)", "", "Action_Debug_On"},
    };
    return table;
}

void BuildNavigation(TPanelBar *bar, MainActions *actions)
{
    for (const QString &c : NavPanelCaptions())
        bar->AddPanel(c);
    for (const NavItemDef &d : NavItemTable()) {
        QString hint = QString::fromUtf8(d.hint);
        hint.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        const QString action = QString::fromUtf8(d.action);
        QAction *a = actions->Action(action);
        QToolButton *b = bar->AddItem(d.panel, QString::fromUtf8(d.caption), hint,
                                      QStringLiteral("IB_") + action, a ? a->icon() : QIcon());
        b->setProperty("action", action);
        if (action == QLatin1String("ArtikelZeigen"))
            b->setWhatsThis(QStringLiteral("zeigt die Artikelliste aus der Warenwirtschaft an"));
    }
}

} // namespace mv
