#include "core/ui/TFM_Frage.h"

#include "core/ui/Icons.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

namespace mv {

TFM_Frage *FM_Frage = nullptr;

TFM_Frage::TFM_Frage(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FM_Frage"));
    setWindowTitle(QStringLiteral("Frage"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    resize(380, 170);

    // A rich-text view: the plain-text view ignores the centred alignment.
    Memo1 = new QTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setFocusPolicy(Qt::NoFocus);
    Memo1->setAcceptRichText(false);
    QPalette pal = Memo1->palette();
    pal.setColor(QPalette::Base, QApplication::palette().color(QPalette::ToolTipBase));
    pal.setColor(QPalette::Text, QApplication::palette().color(QPalette::ToolTipText));
    Memo1->setPalette(pal);

    Notebook1 = new QStackedWidget(this);
    Notebook1->setObjectName(QStringLiteral("Notebook1"));
    auto page = [this](const char *name, std::initializer_list<QPushButton *> buttons) {
        auto *w = new QWidget(Notebook1);
        w->setObjectName(QString::fromUtf8(name));
        auto *l = new QHBoxLayout(w);
        l->addStretch();
        for (QPushButton *b : buttons) {
            b->setParent(w);
            l->addWidget(b);
        }
        l->addStretch();
        Notebook1->addWidget(w);
    };
    BitBtn1 = button("BitBtn1", QStringLiteral("OK"), 1);
    BitBtn2 = button("BitBtn2", QStringLiteral("&Abbruch"), -1);
    page("JaNein", {BitBtn1, BitBtn2});
    BitBtn4 = button("BitBtn4", QStringLiteral("1"), 1);
    BitBtn5 = button("BitBtn5", QStringLiteral("2"), 2);
    BitBtn3 = button("BitBtn3", QStringLiteral("&Abbruch"), -1);
    page("EntwederOderAbbruch", {BitBtn4, BitBtn5, BitBtn3});
    BitBtn6 = button("BitBtn6", QStringLiteral("1"), 1);
    BitBtn7 = button("BitBtn7", QStringLiteral("2"), 2);
    BitBtn9 = button("BitBtn9", QStringLiteral("3"), 3);
    BitBtn8 = button("BitBtn8", QStringLiteral("&Abbruch"), -1);
    page("3'er Auswahl", {BitBtn6, BitBtn7, BitBtn9, BitBtn8});
    BitBtn10 = button("BitBtn10", QStringLiteral("OK"), 1);
    page("OK", {BitBtn10});

    for (QPushButton *b : {BitBtn1, BitBtn4, BitBtn6, BitBtn10})
        b->setIcon(ThemeIcon(QStringLiteral("dialog-ok")));
    for (QPushButton *b : {BitBtn2, BitBtn3, BitBtn8})
        b->setIcon(ThemeIcon(QStringLiteral("dialog-cancel")));

    auto *v = new QVBoxLayout(this);
    v->addWidget(Memo1, 1);
    v->addWidget(Notebook1);
}

QPushButton *TFM_Frage::button(const char *name, const QString &caption, int result)
{
    auto *b = new QPushButton(caption, this);
    b->setObjectName(QString::fromUtf8(name));
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, [this, result] {
        m_result = result;
        if (result > 0)
            accept();
        else
            reject();
    });
    return b;
}

void TFM_Frage::Prepare(int page, const QStringList &lines, const QStringList &captions)
{
    m_result = -1;
    Notebook1->setCurrentIndex(qBound(0, page, 3));
    // Plain text always: a caller's line is never read as markup.
    Memo1->setPlainText(lines.join(QLatin1Char('\n')));
    QTextCursor c(Memo1->document());
    c.select(QTextCursor::Document);
    QTextBlockFormat f;
    f.setAlignment(Qt::AlignHCenter);
    c.mergeBlockFormat(f);

    const qsizetype n = captions.size();
    if (n >= 1)
        for (QPushButton *b : {BitBtn1, BitBtn4, BitBtn6, BitBtn10})
            b->setText(captions.at(0));
    if (n >= 2)
        for (QPushButton *b : {BitBtn2, BitBtn5, BitBtn7})
            b->setText(captions.at(1));
    else if (n == 1)
        BitBtn2->setText(QStringLiteral("&Abbruch"));
    if (n >= 3)
        for (QPushButton *b : {BitBtn3, BitBtn9})
            b->setText(captions.at(2));
    else if (n == 2)
        BitBtn3->setText(QStringLiteral("&Abbruch"));
    if (n >= 4)
        BitBtn8->setText(captions.at(3));
}

void TFM_Frage::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (QScreen *s = screen()) {
        const QRect r = s->availableGeometry();
        move(r.center() - rect().center());
    }
    QPushButton *first[] = {BitBtn1, BitBtn4, BitBtn6, BitBtn10};
    QPushButton *f = first[Notebook1->currentIndex()];
    f->setDefault(true);
    f->setFocus();
}

int AskQuestion(int page, const QStringList &lines, const QStringList &captions,
                const QString &windowCaption)
{
    QWidget *owner = QApplication::activeWindow();
    TFM_Frage dlg(owner);
    if (!windowCaption.isEmpty())
        dlg.setWindowTitle(windowCaption);
    dlg.Prepare(page, lines, captions);
    dlg.exec();
    return dlg.Result();
}

TFM_Frage::~TFM_Frage()
{
    if (FM_Frage == this)
        FM_Frage = nullptr;
}

} // namespace mv
