#include "masterdata/ui/TDBNavigator.h"

#include "core/UiHooks.h"
#include "core/ui/Icons.h"
#include "data/Dataset.h"

#include <QHBoxLayout>
#include <QToolButton>

namespace mv {

namespace {
struct ButtonDef {
    const char *name;
    const char *hint;
    const char *icon;
};
// Our own drawings for all nine: a theme offers only some of them, and a
// bar of mixed pictures and text glyphs reads as broken.
const ButtonDef kButtons[TDBNavigator::ButtonCount] = {
    {"nbFirst", "Erster Datensatz", "first"},
    {"nbPrior", "Vorheriger Datensatz", "back"},
    {"nbNext", "Nächster Datensatz", "forward"},
    {"nbLast", "Letzter Datensatz", "last"},
    {"nbInsert", "Datensatz einfügen", "add"},
    {"nbDelete", "Datensatz löschen", "remove"},
    {"nbEdit", "Datensatz bearbeiten", "edit"},
    {"nbPost", "Bearbeiten beenden", "ok"},
    {"nbCancel", "Bearbeiten abbrechen", "cancel"},
};
}


const char *TDBNavigator::ButtonName(Button b)
{
    return kButtons[b].name;
}

TDBNavigator::TDBNavigator(QWidget *parent) : QWidget(parent)
{
    auto *lay = new QHBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(1);
    for (int i = 0; i < ButtonCount; ++i) {
        auto *b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(kButtons[i].name));
        b->setToolTip(QString::fromUtf8(kButtons[i].hint));
        b->setIcon(AppIcon(QString::fromLatin1(kButtons[i].icon)));
        b->setAutoRaise(true);
        connect(b, &QToolButton::clicked, this, [this, i] { BtnClick(Button(i)); });
        lay->addWidget(b);
        m_buttons[i] = b;
    }
    updateButtons();
}

void TDBNavigator::SetDataSource(Dataset *ds)
{
    for (const auto &c : m_conns)
        disconnect(c);
    m_conns.clear();
    m_ds = ds;
    if (ds) {
        m_conns << connect(ds, &Dataset::stateChanged, this, &TDBNavigator::updateButtons)
                << connect(ds, &Dataset::cursorMoved, this, &TDBNavigator::updateButtons)
                << connect(ds, &Dataset::rowsReset, this, &TDBNavigator::updateButtons);
    }
    updateButtons();
}

void TDBNavigator::BtnClick(Button b)
{
    if (!m_ds || !m_ds->Active())
        return;
    try {
        switch (b) {
        case nbFirst: m_ds->First(); break;
        case nbPrior: m_ds->Prior(); break;
        case nbNext: m_ds->Next(); break;
        case nbLast: m_ds->Last(); break;
        case nbInsert: m_ds->Insert(); break;
        case nbDelete:
            if (m_ds->IsEmpty())
                break;
            if (!ConfirmDelete || Ui().AskYesNo(QStringLiteral("Datensatz löschen?")))
                m_ds->Delete();
            break;
        case nbEdit: m_ds->Edit(); break;
        case nbPost: m_ds->Post(); break;
        case nbCancel: m_ds->Cancel(); break;
        case ButtonCount: break;
        }
    } catch (const DatasetError &e) {
        Ui().ShowMessage(e.message(), UiHooks::Icon::Warning);
    }
    updateButtons();
}

void TDBNavigator::updateButtons()
{
    const bool active = m_ds && m_ds->Active();
    const bool editing = active
        && (m_ds->GetState() == Dataset::State::Edit || m_ds->GetState() == Dataset::State::Insert);
    const bool canModify = active && m_ds->CanModify();
    const bool empty = !active || m_ds->IsEmpty();
    const bool atStart = !active || m_ds->Bof() || m_ds->RecNo() <= 1;
    const bool atEnd = !active || m_ds->Eof() || m_ds->RecNo() >= m_ds->RecordCount();
    m_buttons[nbFirst]->setEnabled(active && !atStart);
    m_buttons[nbPrior]->setEnabled(active && !atStart);
    m_buttons[nbNext]->setEnabled(active && !atEnd);
    m_buttons[nbLast]->setEnabled(active && !atEnd);
    m_buttons[nbInsert]->setEnabled(canModify);
    m_buttons[nbDelete]->setEnabled(canModify && !empty);
    m_buttons[nbEdit]->setEnabled(canModify && !editing && !empty);
    m_buttons[nbPost]->setEnabled(editing);
    m_buttons[nbCancel]->setEnabled(editing);
}

} // namespace mv
