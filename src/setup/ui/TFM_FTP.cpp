#include "setup/ui/TFM_FTP.h"

#include "core/ShopSettings.h"
#include "core/TextUtil.h"
#include "core/UiHooks.h"
#include "core/ui/Icons.h"
#include "setup/AssistantSteps.h"
#include "setup/FtpUpload.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace mv {

namespace {
QString hint(const char *s)
{
    QString t = QString::fromUtf8(s);
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return t;
}
template <class W> W *named(W *w, const char *name, const char *tip = nullptr)
{
    w->setObjectName(QString::fromLatin1(name));
    if (tip)
        w->setToolTip(hint(tip));
    return w;
}
}

TFM_FTP::TFM_FTP(QWidget *parent) : QWidget(parent), m_upload(new FtpUpload)
{
    setObjectName(QStringLiteral("FM_FTP"));
    setWindowTitle(QStringLiteral("Shopeinrichtung via FTP"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(650, 404);

    Notebook1 = named(new QStackedWidget, "Notebook1");

    // Page 1: access data.
    auto *p1 = new QWidget;
    ED_Host = named(new QLineEdit, "ED_Host");
    ED_Name = named(new QLineEdit, "ED_Name", "Ihren Benutzernamen (erhalten Sie vom Provider)");
    ED_Passwort = named(new QLineEdit, "ED_Passwort", "Ihr Paßwort (erhalten Sie vom Provider)");
    ED_Passwort->setEchoMode(QLineEdit::Password);
    ED_Port = named(new QLineEdit(QStringLiteral("21")), "ED_Port", "Normal 21  (erhalten Sie vom Provider)");
    auto *access = new QFormLayout;
    access->addRow(QStringLiteral("Internetservername:"), ED_Host);
    access->addRow(QStringLiteral("Benutzername:"), ED_Name);
    access->addRow(QStringLiteral("Paßwort:"), ED_Passwort);
    access->addRow(QStringLiteral("Portnummer:"), ED_Port);
    CB_TLS = named(new QCheckBox(QStringLiteral("verschlüsselt (FTPS, AUTH TLS)")), "CB_TLS",
                   "Zugangsdaten und Dateien werden verschlüsselt übertragen.\r\nDas Zertifikat des Servers wird "
                   "geprüft.\r\n(Die meisten Provider verlangen dies heute.)");
    access->addRow(QString(), CB_TLS);

    auto *art = named(new QGroupBox(QStringLiteral("Verbindungsart")), "RG_Art");
    RB_Normal = named(new QRadioButton(QStringLiteral("DFÜ (normal)")), "RB_Normal", "normale Einwahlverbindung\r\n\r\nz.B. DFÜ");
    QFont bold = RB_Normal->font();
    bold.setBold(true);
    RB_Normal->setFont(bold);
    RB_passiv = named(new QRadioButton(QStringLiteral("passiv")), "RB_passiv",
                      "für die Datenübertragung im lokalen Netz\r\n\r\nz.B. via IP-Mask");
    RB_Proxy = named(new QRadioButton(QStringLiteral("Proxy")), "RB_Proxy",
                     "für die Datenübertragung im lokalen Netz via Proxieserver");
    RB_Normal->setChecked(true);
    auto *artL = new QVBoxLayout(art);
    artL->addWidget(RB_Normal);
    artL->addWidget(RB_passiv);
    artL->addWidget(RB_Proxy);

    GB_Proxy = named(new QGroupBox(QStringLiteral("Proxy Einstellungen")), "GB_Proxy");
    ED_Proxy_Server = named(new QLineEdit, "ED_Proxy_Server",
                            "Die Adresse zum Proxyserver.\r\n(Hier wird auch oft nur eine IP verlangt. z.B. 192.168.0.1 ) ");
    ED_Proxy_User = named(new QLineEdit, "ED_Proxy_User",
                          "Ihren Benutzernamen (erhalten Sie vom Admin)\r\n\r\n(Dieses Feld bleibt je nach Proxytyp eventuell leer)");
    ED_Proxy_Pass = named(new QLineEdit, "ED_Proxy_Pass",
                          "Das Passwort zum Einwählen auf den Proxy\r\n\r\n(Dieses Feld bleibt je nach Proxytyp eventuell leer)");
    ED_Proxy_Pass->setEchoMode(QLineEdit::Password);
    ED_Proxy_Port = named(new QLineEdit(QStringLiteral("2121")), "ED_Proxy_Port", "Normal 2121  (erhalten Sie vom Admin)");
    CB_Proxy_Type = named(new QComboBox, "CB_Proxy_Type", "Art des Proxys");
    CB_Proxy_Type->addItems({QStringLiteral("Proxy Pipe (cmNone)"), QStringLiteral("Proxy UserLogin (cmUserSite)"),
                             QStringLiteral("Proxy SITE (cmSite)"), QStringLiteral("Proxy Open (cmOpen)"),
                             QStringLiteral("Proxy UserNoLogin (cmUserPass)"),
                             QStringLiteral("Proxy Transparent (cmTransparent)")});
    auto *proxyL = new QFormLayout(GB_Proxy);
    proxyL->addRow(QStringLiteral("Servername/IP"), ED_Proxy_Server);
    proxyL->addRow(QStringLiteral("Benutzername:"), ED_Proxy_User);
    proxyL->addRow(QStringLiteral("Paßwort:"), ED_Proxy_Pass);
    proxyL->addRow(QStringLiteral("Portnummer:"), ED_Proxy_Port);
    proxyL->addRow(QStringLiteral("Proxytype:"), CB_Proxy_Type);
    GB_Proxy->setVisible(false);
    connect(RB_Proxy, &QRadioButton::toggled, GB_Proxy, &QWidget::setVisible);

    auto *files = named(new QGroupBox(QStringLiteral("Dateien auf dem Server")), "GB_Dateien");
    ED_Verzeichnis = named(new QLineEdit, "ED_Verzeichnis", "Unterverzeichnis auf dem Internetserver");
    CB_Klein = named(new QCheckBox(QStringLiteral("keine Großbuchstaben zulassen")), "CB_Klein",
                     "alle Dateinamen werden in Kleinschreibung übertragen (wichtig bei Unixservern, die Groß- und "
                     "Kleinschreibung unterscheiden)");
    CB_Klein->setChecked(true);
    CB_AlleDateien = named(new QCheckBox(QStringLiteral("alle Dateien senden")), "CB_AlleDateien",
                           "auch Bilder senden, die seit der letzten Übertragung unverändert sind");
    auto *filesL = new QFormLayout(files);
    filesL->addRow(QStringLiteral("Unterverzeichnis:"), ED_Verzeichnis);
    filesL->addRow(QString(), CB_Klein);
    filesL->addRow(QString(), CB_AlleDateien);

    BitBtn1 = named(new QPushButton(ThemeIcon(QStringLiteral("process-stop")), QStringLiteral("&Abbruch")), "BitBtn1",
                    "Abbruch des Programms");
    BitBtn2 = named(new QPushButton(ThemeIcon(QStringLiteral("go-next")), QStringLiteral("&weiter")), "BitBtn2",
                    "zur nächsten Einstellung");
    BitBtn6 = named(new QPushButton(ThemeIcon(QStringLiteral("dialog-ok")), QStringLiteral("OK")), "BitBtn6");
    BitBtn6->setVisible(false);
    auto *b1 = new QHBoxLayout;
    b1->addStretch();
    b1->addWidget(BitBtn1);
    b1->addWidget(BitBtn2);
    b1->addWidget(BitBtn6);

    auto *left = new QVBoxLayout;
    left->addLayout(access);
    left->addWidget(files);
    left->addStretch();
    auto *right = new QVBoxLayout;
    right->addWidget(art);
    right->addWidget(GB_Proxy);
    right->addStretch();
    auto *cols = new QHBoxLayout;
    cols->addLayout(left, 1);
    cols->addLayout(right, 1);
    auto *p1L = new QVBoxLayout(p1);
    p1L->addLayout(cols, 1);
    p1L->addLayout(b1);

    // Page 2: the transfer.
    auto *p2 = new QWidget;
    BitBtn4 = named(new QPushButton(ThemeIcon(QStringLiteral("network-transmit")), QStringLiteral("Datentrasfer starten")),
                    "BitBtn4");
    auto *logBox = new QGroupBox(QStringLiteral("Protokoll"));
    ME_Log = named(new QPlainTextEdit, "ME_Log");
    ME_Log->setReadOnly(true);
    (new QVBoxLayout(logBox))->addWidget(ME_Log);
    Label1 = named(new QLabel(QStringLiteral("...")), "Label1");
    ProgressBar1 = named(new QProgressBar, "ProgressBar1");
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    BitBtn5 = named(new QPushButton(ThemeIcon(QStringLiteral("go-previous")), QStringLiteral("&zurück")), "BitBtn5",
                    "Abbruch des Programms");
    BB_wBreak = named(new QPushButton(ThemeIcon(QStringLiteral("process-stop")), QStringLiteral("Abbruch")), "BB_wBreak",
                      "Datentransfer abbrechen");
    BB_wBreak->setVisible(false);
    BitBtn3 = named(new QPushButton(ThemeIcon(QStringLiteral("dialog-ok")), QStringLiteral("&fertig")), "BitBtn3",
                    "Abbruch des Programms");
    BitBtn3->setVisible(false);
    auto *b2 = new QHBoxLayout;
    b2->addWidget(BitBtn5);
    b2->addStretch();
    b2->addWidget(BB_wBreak);
    b2->addWidget(BitBtn3);
    auto *p2L = new QVBoxLayout(p2);
    p2L->addWidget(BitBtn4);
    p2L->addWidget(logBox, 1);
    p2L->addWidget(Label1);
    p2L->addWidget(ProgressBar1);
    p2L->addLayout(b2);

    Notebook1->addWidget(p1);
    Notebook1->addWidget(p2);
    Notebook1->setCurrentIndex(0);
    (new QVBoxLayout(this))->addWidget(Notebook1);

    connect(BitBtn1, &QPushButton::clicked, this, &QWidget::close);
    connect(BitBtn3, &QPushButton::clicked, this, &QWidget::close);
    connect(BitBtn2, &QPushButton::clicked, this, &TFM_FTP::BitBtn2Click);
    connect(BitBtn5, &QPushButton::clicked, this, &TFM_FTP::BitBtn5Click);
    connect(BitBtn4, &QPushButton::clicked, this, &TFM_FTP::BitBtn4Click);
    connect(BB_wBreak, &QPushButton::clicked, this, &TFM_FTP::BB_wBreakClick);
    connect(BitBtn6, &QPushButton::clicked, this, &TFM_FTP::BitBtn6Click);

    m_upload->Log = [this](const QString &l) {
        // A failure the client just showed as its status comes again as
        // the upload's reason: once is enough.
        if (!m_lastStatus.isEmpty() && l == m_lastStatus) {
            m_lastStatus.clear();
            return;
        }
        AppendLog(l);
    };
    m_upload->Status = [this](const QString &t) {
        if (StatusVisible && StatusVisible()) {
            ME_Log->appendPlainText(t);
            m_lastStatus = t;
        }
    };
    m_upload->FileStarted = [this](const QString &name) { Label1->setText(name); };
    m_upload->Progress = [this](qint64 pos, qint64 max) {
        // Large files: the bar counts kilobytes.
        const bool kb = max > 0x7fffffff;
        ProgressBar1->setMaximum(qMax(1, int(kb ? max / 1024 : max)));
        ProgressBar1->setValue(int(kb ? pos / 1024 : pos));
    };
}

TFM_FTP::~TFM_FTP()
{
    delete m_upload;
}

void TFM_FTP::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TFM_FTP::FormShow()
{
    const ShopSettings &s = Settings();
    RB_Normal->setChecked(true);
    if (s.FTP_Art == 1)
        RB_passiv->setChecked(true);
    if (s.FTP_Art == 2)
        RB_Proxy->setChecked(true);
    ED_Host->setText(s.FTP_Host);
    ED_Name->setText(s.FTP_Username);
    ED_Passwort->setText(s.FTP_Password);
    ED_Port->setText(s.FTP_Port);
    ED_Proxy_Server->setText(s.FTP_Proxy_Host);
    ED_Proxy_User->setText(s.FTP_Proxy_UserName);
    ED_Proxy_Pass->setText(s.FTP_Proxy_Password);
    ED_Proxy_Port->setText(s.FTP_Proxy_Port);
    const int type = StrToIntX(s.FTP_Proxy_Type);
    CB_Proxy_Type->setCurrentIndex(type >= 0 && type < CB_Proxy_Type->count() ? type : -1);
    ED_Verzeichnis->setText(s.FTP_Dir);
    CB_TLS->setChecked(s.FTP_TLS != 0);
}

void TFM_FTP::BitBtn2Click()
{
    BitBtn4->setVisible(true);
    BB_wBreak->setVisible(false);
    Notebook1->setCurrentIndex(1);
}

void TFM_FTP::BitBtn5Click()
{
    UploadOk = false;
    Notebook1->setCurrentIndex(0);
}

void TFM_FTP::BB_wBreakClick()
{
    UploadOk = false;
    Settings().AbortWait = true;
}

void TFM_FTP::AppendLog(const QString &line)
{
    if (line.startsWith(QLatin1String("sende ")) && ME_Log->blockCount() > 150)
        ME_Log->clear();
    ME_Log->appendPlainText(line);
}

void TFM_FTP::BitBtn4Click()
{
    if (m_uploading)
        return;
    m_uploading = true;
    Settings().AbortWait = false;
    BitBtn4->setVisible(false);
    BitBtn3->setVisible(false);
    BB_wBreak->setVisible(true);
    ME_Log->clear();
    Ui().ProcessEvents();
    DirNotFound = false;

    FtpUploadJob job;
    job.params.host = ED_Host->text().trimmed();
    job.params.user = ED_Name->text().trimmed();
    job.params.password = ED_Passwort->text().trimmed();
    job.params.port = StrToIntX(ED_Port->text());
    job.params.passive = RB_passiv->isChecked();
    job.params.tls = CB_TLS->isChecked();
    job.params.proxyType = 0;
    if (RB_Proxy->isChecked()) {
        job.params.proxyHost = ED_Proxy_Server->text().trimmed();
        job.params.proxyUser = ED_Proxy_User->text().trimmed();
        job.params.proxyPassword = ED_Proxy_Pass->text().trimmed();
        job.params.proxyPort = StrToIntX(ED_Proxy_Port->text().trimmed());
        job.params.proxyType = CB_Proxy_Type->currentIndex() < 0 ? 0 : CB_Proxy_Type->currentIndex();
    }
    job.remoteDir = ED_Verzeichnis->text();
    job.localFolder = QDir(Settings().ExeDir).filePath(LocalFolder);
    job.lowerCase = CB_Klein->isChecked();
    job.allFiles = CB_AlleDateien->isChecked();

    const FtpUploadResult r = m_upload->Run(job);
    DirNotFound = r.dirNotFound;
    m_uploading = false;
    if (r.connectFailed && !r.sent && !r.failed && !r.skipped) {
        // Connect failed: "Datentrasfer starten" comes back via "&zurück".
        UploadOk = false;
    } else {
        UploadOk = r.uploadOk;
        if (AssistantMode && UploadOk) {
            AssistantSteps::Instance().MarkStepDone(QStringLiteral("ftpshop"));
            AssistantSteps::Instance().MarkStepDone(QStringLiteral("shopcfg"));
        }
        BitBtn4->setVisible(true);
    }
    BB_wBreak->setVisible(false);
    BitBtn3->setVisible(true);
    emit uploadFinished(UploadOk);
    if (m_closeWhenDone)
        QTimer::singleShot(0, this, &QWidget::close);
}

void TFM_FTP::storeSettings()
{
    if (m_stored)
        return;
    m_stored = true;
    ShopSettings &s = Settings();
    s.FTP_Art = RB_passiv->isChecked() ? 1 : RB_Proxy->isChecked() ? 2 : 0;
    s.FTP_Host = ED_Host->text().trimmed();
    s.FTP_Username = ED_Name->text().trimmed();
    s.FTP_Password = ED_Passwort->text().trimmed();
    s.FTP_Port = ED_Port->text().trimmed();
    s.FTP_Proxy_Host = ED_Proxy_Server->text().trimmed();
    s.FTP_Proxy_UserName = ED_Proxy_User->text().trimmed();
    s.FTP_Proxy_Password = ED_Proxy_Pass->text().trimmed();
    s.FTP_Proxy_Port = ED_Proxy_Port->text().trimmed();
    s.FTP_Proxy_Type = QString::number(CB_Proxy_Type->currentIndex());
    s.FTP_TLS = CB_TLS->isChecked() ? 1 : 0;
    s.FTP_Dir = FtpUpload::BaseDir(ED_Verzeichnis->text());
}

void TFM_FTP::closeEvent(QCloseEvent *e)
{
    Settings().AbortWait = true;
    if (m_uploading) {
        // The upload still runs inside this window: it stops after the
        // current file, then the window closes.
        m_closeWhenDone = true;
        e->ignore();
        return;
    }
    storeSettings();
    e->accept();
}

void TFM_FTP::BitBtn6Click()
{
    close();
    const ShopSettings &s = Settings();
    if (!s.FTP_Host.trimmed().isEmpty() && !s.FTP_Username.trimmed().isEmpty() && !s.FTP_Password.trimmed().isEmpty())
        AssistantSteps::Instance().MarkStepDone(QStringLiteral("ftp"));
    else
        Ui().ShowMessage(QStringLiteral("Die FTP-Daten wurden nicht vollständig eingestellt"));
}

} // namespace mv
