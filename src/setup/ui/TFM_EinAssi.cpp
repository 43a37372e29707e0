#include "setup/ui/TFM_EinAssi.h"

#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "core/ui/Icons.h"
#include "core/ui/TPanelBar.h"
#include "setup/AssistantSteps.h"

#include <QCheckBox>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace mv {

namespace {
const QColor kRed(255, 0, 0);
const QColor kLightBlue(166, 202, 240);

QString lineBreaks(const char *s)
{
    QString t = QString::fromUtf8(s);
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return t;
}
}

const QVector<TFM_EinAssi::StepDef> &TFM_EinAssi::Steps()
{
    static const QVector<StepDef> steps = {
        {0, 0, "ftp", "\r\nFTP-Zugangsdaten\r\neinstellen", "Action_Ass_FTP"},
        {0, 1, "sql", "\r\nSQL-Server\r\nauswählen", "Action_Ass_SQL"},
        {0, 2, "wawi", "\r\nWarenwirtschaft auswählen", "Action_Ass_WaWi"},
        {0, 3, "ftpshop", "\r\nShop ins\r\nInternet\r\nübertragen", "Action_Ass_FTPShop"},
        {0, 4, "sqltabellen", "\r\nTabellen auf dem\r\nSQL-Server anlegen", "Action_Ass_SQLTabellen"},
        {1, 0, "sonderdaten", "Daten wie Zahlungbedingungen,\r\nVersandarten, usw bearbeiten.", "Action_Ass_Sonderdaten"},
        {1, 1, "shopwawi", "Datenübertragung aus\r\nder Warenwirtschaft\r\nstarten", "Action_Ass_WawiAbgleich"},
        {1, 2, "shopcfg", "\r\nShopkonfigugration\r\nins Internet übertragen", "Action_FTP_Config"},
    };
    return steps;
}

TFM_EinAssi::TFM_EinAssi(QWidget *parent)
    : QWidget(parent, Qt::Tool)
{
    setObjectName(QStringLiteral("FM_EinAssi"));
    setWindowTitle(QStringLiteral("Einrichtungsassisten"));
    setWindowIcon(ThemeIcon(QStringLiteral("system-run")));

    IB_Ass = new TPanelBar(this);
    IB_Ass->setObjectName(QStringLiteral("IB_Ass"));
    IB_Ass->SetItemSize(QSize(64, 64), 96);
    // The step images are ours: a theme's variants would not read as open/done.
    IB_Ass->SetImages({QIcon(QStringLiteral(":/ui/icons/step-open.svg")),
                       QIcon(QStringLiteral(":/ui/icons/step-done.svg"))});
    IB_Ass->AddPanel(QStringLiteral("Einrichtung"));
    IB_Ass->AddPanel(QStringLiteral("Datenübertragung"));
    for (const StepDef &d : Steps()) {
        IB_Ass->AddItem(d.panel, lineBreaks(d.caption), QString(), QString::fromUtf8(d.name));
        IB_Ass->SetImageIndex(d.panel, d.index, 0);
    }
    IB_Ass->SetOpenPanel(1);
    connect(IB_Ass, &TPanelBar::ItemClicked, this, &TFM_EinAssi::IB_AssButtonClick);
    // Marks set by logic (config.php written, upload finished).
    connect(&AssistantSteps::Instance(), &AssistantSteps::stepMarked, this,
            [this](const QString &step, bool done) { done ? MarkStepDone(step) : MarkStepOpen(step); });

    CheckBox1 = new QCheckBox(QStringLiteral("Anzeigen beim Start"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    connect(CheckBox1, &QCheckBox::toggled, this, [](bool on) { Settings().Assi_Zeige = on ? 1 : 0; });

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(250);
    connect(Timer1, &QTimer::timeout, this, &TFM_EinAssi::Timer1Timer);

    auto *v = new QVBoxLayout(this);
    v->setContentsMargins(2, 2, 2, 2);
    v->addWidget(IB_Ass, 1);
    v->addWidget(CheckBox1);
    resize(190, 620);
}

bool TFM_EinAssi::locate(const QString &step, int &panel, int &item) const
{
    const QString key = step.toLower();
    for (const StepDef &d : Steps())
        if (key == QLatin1String(d.name)) {
            panel = d.panel;
            item = d.index;
            return true;
        }
    return false;
}

void TFM_EinAssi::MarkStepDone(const QString &step)
{
    int p, i;
    if (locate(step, p, i))
        IB_Ass->SetImageIndex(p, i, 1);
}

void TFM_EinAssi::MarkStepOpen(const QString &step)
{
    int p, i;
    if (locate(step, p, i))
        IB_Ass->SetImageIndex(p, i, 0);
}

bool TFM_EinAssi::StepDone(const QString &step) const
{
    int p, i;
    return locate(step, p, i) && IB_Ass->ImageIndex(p, i) == 1;
}

bool TFM_EinAssi::StepAllowed(const QString &step)
{
    const QString key = step.toLower();
    auto done = [this](const char *s) { return StepDone(QString::fromLatin1(s)); };
    bool ok = true;
    if (key == QLatin1String("sql"))
        ok = done("ftp");
    else if (key == QLatin1String("wawi"))
        ok = done("sql");
    else if (key == QLatin1String("ftpshop"))
        ok = done("ftp");
    else if (key == QLatin1String("sqltabellen"))
        ok = done("sql") && done("ftpshop");
    else if (key == QLatin1String("sonderdaten"))
        ok = done("wawi");
    else if (key == QLatin1String("shopwawi"))
        ok = done("sqltabellen") && done("sonderdaten");
    if (!ok)
        Ui().ShowMessage(QStringLiteral("Der Assisten kann nur Schritt für Schritt abgearbeitet werden!"));
    return ok;
}

void TFM_EinAssi::IB_AssButtonClick(int panel, int item)
{
    const QString name = IB_Ass->ItemName(panel, item);
    for (const StepDef &d : Steps())
        if (name == QLatin1String(d.name)) {
            if (RunAction)
                RunAction(QString::fromUtf8(d.action));
            return;
        }
}

void TFM_EinAssi::StartBlink()
{
    m_blinkCount = 0;
    Timer1->start();
}

bool TFM_EinAssi::Blinking() const { return Timer1->isActive(); }

void TFM_EinAssi::Timer1Timer()
{
    const int top = IB_Ass->OpenPanel();
    if (m_blinkCount < 10) {
        IB_Ass->SetGradientEnd(top, m_blinkCount % 2 == 0 ? kRed : kLightBlue);
        ++m_blinkCount;
    } else {
        Timer1->stop();
        IB_Ass->SetGradientEnd(top, kLightBlue);
        m_blinkCount = 0;
    }
}

void TFM_EinAssi::SetShowAtStart(bool on)
{
    CheckBox1->setChecked(on);
}

void TFM_EinAssi::ApplySettings()
{
    const ShopSettings &s = Settings();
    IB_Ass->SetOpenPanel(s.IB_Ass);
    for (const StepDef &d : Steps())
        if (d.panel < s.AssiSteps.size() && d.index < s.AssiSteps[d.panel].size())
            IB_Ass->SetImageIndex(d.panel, d.index, s.AssiSteps[d.panel][d.index] == 1 ? 1 : 0);
    CheckBox1->blockSignals(true);
    CheckBox1->setChecked(s.Assi_Zeige > 0);
    CheckBox1->blockSignals(false);
}

void TFM_EinAssi::StoreSettings() const
{
    ShopSettings &s = Settings();
    s.IB_Ass = IB_Ass->OpenPanel();
    for (const StepDef &d : Steps())
        if (d.panel < s.AssiSteps.size() && d.index < s.AssiSteps[d.panel].size())
            s.AssiSteps[d.panel][d.index] = IB_Ass->ImageIndex(d.panel, d.index);
}

void TFM_EinAssi::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    if (QScreen *sc = screen()) {
        const QRect r = sc->geometry();
        move(r.x() + r.width() - frameGeometry().width() - 2,
             r.y() + (r.height() - frameGeometry().height()) / 2);
    }
}

} // namespace mv
