#include "wawi/ui/TFM_WaWiCFG.h"

#include "core/ShopSettings.h"
#include "core/UiHooks.h"
#include "core/ui/Icons.h"
#include "wawi/WaWiDetect.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace mv {

TFM_WaWiCFG *FM_WaWiCFG = nullptr;

TFM_WaWiCFG::TFM_WaWiCFG(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FM_WaWiCFG"));
    setWindowTitle(QStringLiteral("Warenwirtschaft - Einstellungen"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    GroupBox1 = new QGroupBox(QStringLiteral("Einstellungen"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    Label1 = new QLabel(QStringLiteral("Programmname:"), GroupBox1);
    Label1->setObjectName(QStringLiteral("Label1"));
    CB_Programm = new QComboBox(GroupBox1);
    CB_Programm->setObjectName(QStringLiteral("CB_Programm"));
    CB_Programm->setToolTip(QStringLiteral("welches Programm benutzen Sie ?"));
    CB_Programm->addItems(WaWiProgramNames());
    Label2 = new QLabel(QStringLiteral("Mandant:"), GroupBox1);
    Label2->setObjectName(QStringLiteral("Label2"));
    CB_Mandant = new QComboBox(GroupBox1);
    CB_Mandant->setObjectName(QStringLiteral("CB_Mandant"));
    CB_Mandant->setToolTip(QStringLiteral("welche Firma soll abgefragt werden ?"));
    CB_Mandant->setMinimumWidth(260);
    auto *g = new QGridLayout(GroupBox1);
    g->addWidget(Label1, 0, 0);
    g->addWidget(CB_Programm, 0, 1);
    g->addWidget(Label2, 1, 0);
    g->addWidget(CB_Mandant, 1, 1);

    BitBtn1 = new QPushButton(ThemeIcon(QStringLiteral("dialog-ok")), QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn2 = new QPushButton(ThemeIcon(QStringLiteral("dialog-cancel")), QStringLiteral("Abbrechen"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    // Both only close: the lists act as they change.
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    auto *b = new QHBoxLayout;
    b->addStretch();
    b->addWidget(BitBtn1);
    b->addWidget(BitBtn2);
    auto *v = new QVBoxLayout(this);
    v->addWidget(GroupBox1);
    v->addLayout(b);

    connect(CB_Programm, &QComboBox::currentIndexChanged, this, &TFM_WaWiCFG::CB_ProgrammChange);
    connect(CB_Mandant, &QComboBox::currentIndexChanged, this, &TFM_WaWiCFG::CB_MandantChange);
    RefreshMandanten();
}

void TFM_WaWiCFG::RefreshMandanten()
{
    const QSignalBlocker block(CB_Mandant);
    const WaWiDetectState &st = WaWiState();
    CB_Mandant->clear();
    CB_Mandant->addItems(st.mandantNames);
    CB_Mandant->setVisible(st.mandantListVisible);
    Label2->setVisible(st.mandantListVisible);
    const int i = Settings().Aktiv_Mandant - 1;
    CB_Mandant->setCurrentIndex(i >= 0 && i < CB_Mandant->count() ? i : -1);
}

void TFM_WaWiCFG::detect(bool useStoredMandant, int programIndex)
{
    const WaWiDetectResult r = DetectWaWi(useStoredMandant, programIndex);
    RefreshMandanten();
    if (r == WaWiDetectResult::MandantFailed)
        emit EndProgramRequested();
}

void TFM_WaWiCFG::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());
    FormShow();
}

void TFM_WaWiCFG::FormShow()
{
    m_filling = true;
    const int p = Settings().VLB_Programm;
    CB_Programm->setCurrentIndex(p >= 0 && p < CB_Programm->count() ? p : -1);
    m_filling = false;
    detect(true, CB_Programm->currentIndex());
}

void TFM_WaWiCFG::CB_ProgrammChange(int index)
{
    if (m_filling || index < 0)
        return;
    detect(false, index);
}

void TFM_WaWiCFG::CB_MandantChange(int index)
{
    if (index < 0)
        return;
    SelectMandantListIndex(index);
}

TFM_WaWiCFG::~TFM_WaWiCFG()
{
    if (FM_WaWiCFG == this)
        FM_WaWiCFG = nullptr;
}

} // namespace mv
