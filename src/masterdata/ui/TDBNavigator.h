#pragma once
// The navigator bar over one dataset: first, prior, next, last, insert,
// delete, edit, post, cancel. Errors of the dataset go to the user as a
// message; a delete asks first.

#include <QPointer>
#include <QWidget>

class QToolButton;

namespace mv {

class Dataset;

class TDBNavigator : public QWidget {
    Q_OBJECT
public:
    enum Button { nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit, nbPost, nbCancel, ButtonCount };

    explicit TDBNavigator(QWidget *parent = nullptr);

    void SetDataSource(Dataset *ds);
    Dataset *DataSource() const { return m_ds; }
    QToolButton *ButtonAt(Button b) const { return m_buttons[b]; }
    // Runs what the button does (as a click does).
    void BtnClick(Button b);
    bool ConfirmDelete = true;

    // Button object names ("nbFirst" …) and hints.
    static const char *ButtonName(Button b);

private:
    void updateButtons();

    QPointer<Dataset> m_ds;
    QToolButton *m_buttons[ButtonCount] = {};
    QList<QMetaObject::Connection> m_conns;
};

} // namespace mv
