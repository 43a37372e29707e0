#include "masterdata/ui/DBControls.h"

#include "core/UiHooks.h"
#include "data/Dataset.h"

namespace mv {

FieldLink::FieldLink(QWidget *control, std::function<void()> refresh)
    : QObject(control), m_control(control), m_refresh(std::move(refresh))
{
}

void FieldLink::SetDataField(Dataset *ds, const QString &fieldName)
{
    for (const auto &c : m_conns)
        disconnect(c);
    m_conns.clear();
    m_ds = ds;
    m_fieldName = fieldName;
    if (ds) {
        auto r = [this] { Refresh(); };
        m_conns << connect(ds, &Dataset::stateChanged, this, r) << connect(ds, &Dataset::cursorMoved, this, r)
                << connect(ds, &Dataset::rowsReset, this, r)
                << connect(ds, &Dataset::rowChanged, this, [this](int recNo) {
                       if (m_ds && recNo == m_ds->RecNo())
                           Refresh();
                   });
    }
    Refresh();
}

Field *FieldLink::GetField() const
{
    if (!m_ds || !m_ds->Active())
        return nullptr;
    return m_ds->FindField(m_fieldName);
}

bool FieldLink::BeginEdit()
{
    Field *f = GetField();
    if (!f || f->ReadOnly())
        return false;
    const Dataset::State st = m_ds->GetState();
    if (st == Dataset::State::Edit || st == Dataset::State::Insert)
        return true;
    // The control keeps what is being typed while the row changes state.
    const bool wasWriting = m_writing;
    m_writing = true;
    bool ok = true;
    try {
        if (m_ds->IsEmpty())
            m_ds->Append();
        else
            m_ds->Edit();
    } catch (const DatasetError &e) {
        ok = false;
        Ui().ShowMessage(e.message(), UiHooks::Icon::Warning);
    }
    m_writing = wasWriting;
    return ok;
}

bool FieldLink::Write(const QVariant &value, QString *error)
{
    Field *f = GetField();
    if (!f || !BeginEdit())
        return false;
    m_writing = true;
    bool ok = true;
    try {
        if (value.typeId() == QMetaType::QString)
            f->SetAsString(value.toString());
        else
            f->SetValue(value);
    } catch (const DatasetError &e) {
        ok = false;
        if (error)
            *error = e.message();
        else
            Ui().ShowMessage(e.message(), UiHooks::Icon::Warning);
    }
    m_writing = false;
    return ok;
}

void FieldLink::Refresh()
{
    if (m_writing)
        return;
    Field *f = GetField();
    m_control->setEnabled(f != nullptr);
    m_refresh();
}

// ------------------------------------------------------------------ edit

TDBEdit::TDBEdit(QWidget *parent) : QLineEdit(parent), m_link(this, [this] { load(); })
{
    connect(this, &QLineEdit::textEdited, this, [this](const QString &text) {
        Field *f = m_link.GetField();
        if (!f)
            return;
        if (!m_link.BeginEdit()) {
            load();
            return;
        }
        if (IsTextType(f->DataType())) {
            m_link.Write(text);
            m_pending = false;
        } else {
            m_pending = true;   // "12," is no number yet
        }
    });
    connect(this, &QLineEdit::editingFinished, this, [this] { FlushToField(); });
}

bool TDBEdit::FlushToField(QString *error)
{
    if (!m_pending)
        return true;
    m_pending = false;
    if (!m_link.GetField())
        return true;
    const QString t = text();
    if (!m_link.Write(t.trimmed().isEmpty() ? QVariant() : QVariant(t), error)) {
        m_pending = true;   // the text stays for the user to correct
        return false;
    }
    return true;
}

void TDBEdit::load()
{
    if (m_loading)
        return;
    Field *f = m_link.GetField();
    // Another field of the row changed: what is typed here stays until
    // the row is posted or cancelled.
    if (m_pending && f && (f->DataSet()->GetState() == Dataset::State::Edit
                           || f->DataSet()->GetState() == Dataset::State::Insert))
        return;
    const QString t = f ? f->EditText() : QString();
    m_pending = false;
    if (t != text()) {
        m_loading = true;
        setText(t);
        m_loading = false;
    }
    setReadOnly(f && f->ReadOnly());
    if (f && f->DataType() == FieldType::String && f->Size() > 0)
        setMaxLength(f->Size());
}

// ------------------------------------------------------------------ memo

TDBMemo::TDBMemo(QWidget *parent) : QPlainTextEdit(parent), m_link(this, [this] { load(); })
{
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (m_loading || !m_link.GetField())
            return;
        QString t = toPlainText();
        // Line ends as the WaWi and the shop keep them.
        t.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        if (!m_link.Write(t))
            load();
    });
}

void TDBMemo::load()
{
    Field *f = m_link.GetField();
    QString t = f ? f->AsString() : QString();
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (t != toPlainText()) {
        m_loading = true;
        setPlainText(t);
        m_loading = false;
    }
    setReadOnly(f && f->ReadOnly());
}

// ------------------------------------------------------------- check box

TDBCheckBox::TDBCheckBox(const QString &caption, QWidget *parent)
    : QCheckBox(caption, parent), m_link(this, [this] { load(); })
{
    connect(this, &QCheckBox::toggled, this, &TDBCheckBox::userToggled);
}

void TDBCheckBox::userToggled(bool on)
{
    if (m_loading || !m_link.GetField())
        return;
    const QVariant v = on ? (ValueChecked.isEmpty() ? QVariant(true) : QVariant(ValueChecked))
                          : (ValueUnchecked.isEmpty() ? QVariant(false) : QVariant(ValueUnchecked));
    if (!m_link.Write(v))
        load();
}

void TDBCheckBox::load()
{
    Field *f = m_link.GetField();
    bool on = false;
    if (f && !f->IsNull()) {
        if (ValueChecked.isEmpty())
            on = f->AsBoolean();
        else
            on = f->AsString().compare(ValueChecked, Qt::CaseInsensitive) == 0;
    }
    if (on != isChecked()) {
        m_loading = true;
        setChecked(on);
        m_loading = false;
    }
}

} // namespace mv
