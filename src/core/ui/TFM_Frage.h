#pragma once
// The question dialog: a short text and up to four buttons with caller-given
// captions; the result tells which button was pressed (-1 when none).

#include <QDialog>
#include <QStringList>

class QTextEdit;
class QPushButton;
class QStackedWidget;

namespace mv {

class TFM_Frage : public QDialog {
    Q_OBJECT
public:
    explicit TFM_Frage(QWidget *parent = nullptr);
    ~TFM_Frage() override;

    int Result() const { return m_result; }
    // Page 0..3 of Notebook1, lines into Memo1, captions onto the buttons.
    void Prepare(int page, const QStringList &lines, const QStringList &captions);

    QTextEdit *Memo1;
    QStackedWidget *Notebook1;
    QPushButton *BitBtn1, *BitBtn2, *BitBtn3, *BitBtn4, *BitBtn5, *BitBtn6, *BitBtn7,
        *BitBtn8, *BitBtn9, *BitBtn10;

protected:
    void showEvent(QShowEvent *e) override;

private:
    QPushButton *button(const char *name, const QString &caption, int result);
    int m_result = -1;
};

// The long-lived instance created at start (questions use fresh ones).
extern TFM_Frage *FM_Frage;

// Shows the question modally; 1, 2, 3 for the buttons of the page, -1 for
// an abort button or closing. windowCaption replaces "Frage" when given.
int AskQuestion(int page, const QStringList &lines, const QStringList &captions,
                const QString &windowCaption = QString());

} // namespace mv
