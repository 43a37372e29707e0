#pragma once
// Field editors bound to the current row of a dataset: a one-line edit, a
// multi-line text editor and a check box. Typing puts the dataset into
// edit mode; text fields take each change at once, other fields when the
// edit is left or the row is posted (FlushToField).

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>

namespace mv {

class Dataset;
class Field;

// The binding the three controls share.
class FieldLink : public QObject {
    Q_OBJECT
public:
    FieldLink(QWidget *control, std::function<void()> refresh);
    void SetDataField(Dataset *ds, const QString &fieldName);
    Dataset *DataSource() const { return m_ds; }
    QString DataField() const { return m_fieldName; }
    // The bound field of the open dataset (null when closed or missing).
    Field *GetField() const;
    // Puts the dataset into edit mode (a message when it cannot).
    bool BeginEdit();
    bool Writing() const { return m_writing; }
    // Sets the field; false when the value does not fit (with a message,
    // or the text in *error when given).
    bool Write(const QVariant &value, QString *error = nullptr);
    void Refresh();

private:
    QWidget *m_control;
    std::function<void()> m_refresh;
    QPointer<Dataset> m_ds;
    QString m_fieldName;
    bool m_writing = false;
    QList<QMetaObject::Connection> m_conns;
};

class TDBEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TDBEdit(QWidget *parent = nullptr);
    void SetDataField(Dataset *ds, const QString &fieldName) { m_link.SetDataField(ds, fieldName); }
    QString DataField() const { return m_link.DataField(); }
    Dataset *DataSource() const { return m_link.DataSource(); }
    // Writes a pending change into the field (before a post); false with
    // the reason when the text does not fit the field.
    bool FlushToField(QString *error = nullptr);

private:
    void load();
    FieldLink m_link;
    bool m_pending = false;
    bool m_loading = false;
};

class TDBMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TDBMemo(QWidget *parent = nullptr);
    void SetDataField(Dataset *ds, const QString &fieldName) { m_link.SetDataField(ds, fieldName); }
    QString DataField() const { return m_link.DataField(); }
    Dataset *DataSource() const { return m_link.DataSource(); }

private:
    void load();
    FieldLink m_link;
    bool m_loading = false;
};

class TDBCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit TDBCheckBox(const QString &caption, QWidget *parent = nullptr);
    void SetDataField(Dataset *ds, const QString &fieldName) { m_link.SetDataField(ds, fieldName); }
    QString DataField() const { return m_link.DataField(); }
    Dataset *DataSource() const { return m_link.DataSource(); }
    // Values stored for checked and unchecked; empty = the field's booleans.
    QString ValueChecked, ValueUnchecked;

private:
    void load();
    void userToggled(bool on);
    FieldLink m_link;
    bool m_loading = false;
};

} // namespace mv
