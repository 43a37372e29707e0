#include "setup/ui/TFM_SQLServer.h"

#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "setup/ShopConfigFile.h"
#include "setup/ShopSchemaSetup.h"
#include "shopdb/MySqlTls.h"
#include "shopdb/ShopConnection.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace mv {

namespace {
QString noTrailingSlash(QString s)
{
    while (s.endsWith(QLatin1Char('/')))
        s.chop(1);
    return s;
}
QString hint(const char *s)
{
    QString t = QString::fromUtf8(s);
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return t;
}
}

TFM_SQLServer::TFM_SQLServer(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FM_SQLServer"));
    setWindowTitle(QStringLiteral("SQL-Server einstellungen"));
    SchemaFile = QStringLiteral("db/dbschema.sql");

    auto named = [](QWidget *w, const char *name) {
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };
    CB_SQL_Server = new QComboBox;
    named(CB_SQL_Server, "CB_SQL_Server");
    CB_SQL_Server->setEditable(true);
    CB_SQL_Server->addItems({QStringLiteral("HTML-Verbindung"), QStringLiteral("MySQL")});
    CB_SQL_Server->setEditText(QStringLiteral("HTML-Verbindung"));
    CB_SQL_Server->setToolTip(QStringLiteral("Servertype (Art der Verbindung)"));
    ED_Http = new QLineEdit;
    named(ED_Http, "ED_Http");
    ED_Http->setToolTip(QStringLiteral("wo befindet sich der Shop im Netz"));
    CB_Globals = new QCheckBox(QStringLiteral("\"Globals Off\""));
    named(CB_Globals, "CB_Globals");
    QFont bold = CB_Globals->font();
    bold.setBold(true);
    CB_Globals->setFont(bold);
    CB_Globals->setToolTip(hint("bei HTML-Verbindung kann es sein, das die Sicherheitseinstellungen\r\ndes Providers "
                                "keinerlei Zugriff via URL-Parameter zulassen.\r\n\r\nIn diesem Fall müssen Sie diesen "
                                "Schalter aktivieren, was aber die\r\nDatenübertragung nochmal verlangsamt!"));
    ED_Host = new QLineEdit;
    named(ED_Host, "ED_Host");
    CB_SSL = new QCheckBox(QStringLiteral("Verschlüsselt (TLS)"));
    named(CB_SSL, "CB_SSL");
    CB_SSL->setToolTip(hint("bei MySQL-Verbindung werden die Daten verschlüsselt übertragen und das\r\n"
                            "Zertifikat des Servers geprüft. Für jeden Server außer diesem Rechner\r\n"
                            "(localhost) voreingestellt; nur im eigenen, geschützten Netz ausschalten!"));
    ED_User = new QLineEdit;
    named(ED_User, "ED_User");
    ED_Pass = new QLineEdit;
    named(ED_Pass, "ED_Pass");
    ED_Pass->setEchoMode(QLineEdit::Password);
    CB_Databases = new QComboBox;
    named(CB_Databases, "CB_Databases");
    CB_Databases->setEditable(true);
    BitBtn3 = new QPushButton(QStringLiteral("zeige"));
    named(BitBtn3, "BitBtn3");
    BitBtn3->setToolTip(QStringLiteral("füllt die Datenbankliste mit den vorhandenen Datenbanken"));
    BitBtn3->setAutoDefault(false);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("SQL-Servertype"), CB_SQL_Server);
    form->addRow(QStringLiteral("Shopposition im Netz"), ED_Http);
    form->addRow(QString(), CB_Globals);
    form->addRow(QStringLiteral("Hostname"), ED_Host);
    form->addRow(QString(), CB_SSL);
    form->addRow(QStringLiteral("User"), ED_User);
    form->addRow(QStringLiteral("Paßwort"), ED_Pass);
    auto *dbRow = new QHBoxLayout;
    dbRow->addWidget(CB_Databases, 1);
    dbRow->addWidget(BitBtn3);
    form->addRow(QStringLiteral("Datenbankname"), dbRow);
    // Addresses, host names and database names show in full, not in a
    // field of a few letters.
    ED_Http->setMinimumWidth(260);
    CB_Databases->setMinimumWidth(170);

    GroupBox2 = new QGroupBox(QStringLiteral("Online"));
    named(GroupBox2, "GroupBox2");
    Button1 = new QPushButton(QStringLiteral("Datenbank anlegen"));
    named(Button1, "Button1");
    Button2 = new QPushButton(QStringLiteral("Einstellungen in den Shop speichern"));
    named(Button2, "Button2");
    Button1->setAutoDefault(false);
    Button2->setAutoDefault(false);
    Memo1 = new QPlainTextEdit;
    named(Memo1, "Memo1");
    Memo1->setReadOnly(true);
    Memo1->setVisible(false);
    auto *g = new QVBoxLayout(GroupBox2);
    g->addWidget(Button1);
    g->addWidget(Button2);
    g->addWidget(Memo1);

    BitBtn1 = new QPushButton(QStringLiteral("OK"));
    named(BitBtn1, "BitBtn1");
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QStringLiteral("Abbrechen"));
    named(BitBtn2, "BitBtn2");
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);

    auto *v = new QVBoxLayout(this);
    v->addLayout(form);
    v->addWidget(GroupBox2);
    v->addLayout(buttons);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(true); });
    connect(BitBtn2, &QPushButton::clicked, this, &TFM_SQLServer::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TFM_SQLServer::BitBtn3Click);
    connect(Button1, &QPushButton::clicked, this, &TFM_SQLServer::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TFM_SQLServer::Button2Click);
    connect(CB_SSL, &QCheckBox::clicked, this, [this] { m_sslSetByUser = true; });
    connect(ED_Host, &QLineEdit::textChanged, this, [this](const QString &host) {
        if (!m_sslSetByUser && Settings().SQL_SSL.trimmed().isEmpty())
            CB_SSL->setChecked(MySqlTlsWanted(QString(), host));
    });
}

void TFM_SQLServer::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    FormShow();
}

void TFM_SQLServer::SetReduced(bool reduced)
{
    GroupBox2->setHidden(reduced);
    BitBtn3->setHidden(reduced);
}

void TFM_SQLServer::FormShow()
{
    const ShopSettings &s = Settings();
    CB_SQL_Server->setEditText(s.SQL_Server);
    ED_Http->setText(noTrailingSlash(s.SQL_HTTP));
    ED_Host->setText(s.SQL_Host);
    ED_User->setText(s.SQL_User);
    ED_Pass->setText(s.SQL_Pass);
    CB_Databases->setEditText(s.SQL_Data);
    CB_Globals->setChecked(s.SQL_Global == QLatin1String("2"));
    m_sslSetByUser = false;
    CB_SSL->setChecked(MySqlTlsWanted(s.SQL_SSL, s.SQL_Host));
}

void TFM_SQLServer::BitBtn1Click(bool sender)
{
    if (ClearWebPanelReady)
        ClearWebPanelReady();
    ShopSettings &s = Settings();
    if (!GroupBox2->isHidden()) {
        const bool differs = CB_SQL_Server->currentText() != s.SQL_Server || ED_Host->text() != s.SQL_Host
                             || ED_User->text() != s.SQL_User || ED_Pass->text() != s.SQL_Pass
                             || CB_Databases->currentText() != s.SQL_Data;
        if (differs || SettingsChanged) {
            if (sender)
                Ui().ShowMessage(QStringLiteral("Die Einstellungen wurden in der Shopkonfiguration gespeichert!\r"
                                                "Diese muß nochmals per FTP-Übertragen werden!"));
            else
                SettingsChanged = true;
        }
    }
    s.SQL_Server = CB_SQL_Server->currentText();
    s.SQL_HTTP = noTrailingSlash(ED_Http->text());
    s.SQL_Global = CB_Globals->isChecked() ? QStringLiteral("2") : QString();
    // Untouched, the value stays (empty: encrypted for every server but this one).
    if (m_sslSetByUser)
        s.SQL_SSL = CB_SSL->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    s.SQL_Host = ED_Host->text();
    s.SQL_User = ED_User->text();
    s.SQL_Pass = ED_Pass->text();
    s.SQL_Data = CB_Databases->currentText();
    if (sender) {
        Button2Click();
        accept();
    }
}

void TFM_SQLServer::BitBtn2Click()
{
    if (ClearWebPanelReady)
        ClearWebPanelReady();
    reject();
}

void TFM_SQLServer::prepareGateway()
{
    if (ShopConnection::GatewayMode() && PrepareGateway)
        PrepareGateway();
}

void TFM_SQLServer::BitBtn3Click()
{
    BitBtn1Click(false);
    prepareGateway();
    QStringList names;
    QString error;
    bool ok;
    {
        BusyScope busy;
        ok = ShopSchemaSetup::ListDatabases(names, &error);
    }
    if (!ok) {
        if (!ShopConnection::GatewayMode())
            Ui().ShowMessage(QStringLiteral("Keine Verbindung zur Datenbank!\r") + error, UiHooks::Icon::Error);
        return;
    }
    const QString text = CB_Databases->currentText();
    CB_Databases->clear();
    CB_Databases->addItems(names);
    CB_Databases->setEditText(text);
}

void TFM_SQLServer::Button1Click()
{
    BitBtn1Click(false);
    prepareGateway();
    const ShopSchemaSetup::Run run = ShopSchemaSetup::CreateDatabase(SchemaFile);
    if (run.outcome == ShopSchemaSetup::Outcome::Declined)
        return;
    SchemaFile = run.result.schemaFile;
    Memo1->setPlainText(run.result.tables.join(QLatin1Char('\n')));
    Memo1->setVisible(WebStatusVisible && WebStatusVisible());
    Ui().ShowMessage(run.message, run.outcome == ShopSchemaSetup::Outcome::Installed ? UiHooks::Icon::Information
                                                                                     : UiHooks::Icon::Error);
}

void TFM_SQLServer::Button2Click()
{
    QString error;
    switch (ShopConfigFile::WriteDbKeys(ED_Host->text(), CB_Databases->currentText(), ED_User->text(),
                                        ED_Pass->text(), &error)) {
    case ShopConfigFile::DbKeysResult::Written:
        break;
    case ShopConfigFile::DbKeysResult::NoFile:
        Ui().ShowMessage(QStringLiteral("Configdatei wurde nicht gefunden!"), UiHooks::Icon::Error);
        break;
    case ShopConfigFile::DbKeysResult::Failed:
        Ui().ShowMessage(QStringLiteral("Die Shopkonfiguration konnte nicht gespeichert werden:\r") + error,
                         UiHooks::Icon::Error);
        break;
    }
}

} // namespace mv
