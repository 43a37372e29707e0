#include "core/ui/GuiUiHooks.h"
#include "core/ui/TFM_Frage.h"
#include "core/ui/TWarten.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>
#include <QTimer>

using namespace mv;

namespace {
struct Seen {
    QString page;
    QStringList lines;
    QStringList buttons;   // captions of the shown page's buttons, left to right
    QString focused;
};

// Answers the next question dialog by clicking the button of that name
// (empty: close the window), after noting what it showed.
void answerNext(const QString &button, Seen *seen)
{
    QTimer::singleShot(0, [button, seen] {
        auto *dlg = qobject_cast<TFM_Frage *>(QApplication::activeModalWidget());
        if (!dlg) {
            answerNext(button, seen);   // not up yet
            return;
        }
        QWidget *page = dlg->Notebook1->currentWidget();
        seen->page = page->objectName();
        seen->lines = dlg->Memo1->toPlainText().split(QLatin1Char('\n'));
        for (QPushButton *b : page->findChildren<QPushButton *>())
            seen->buttons << b->text();
        if (QWidget *f = dlg->focusWidget())
            seen->focused = f->objectName();
        if (button.isEmpty())
            dlg->close();
        else
            dlg->findChild<QPushButton *>(button)->click();
    });
}

// With MV_SCREENSHOT_DIR set, a picture of the window for the documentation.
void saveShot(QWidget *w, const QString &name)
{
    const QString dir = qEnvironmentVariable("MV_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    QApplication::processEvents();
    w->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}
}

class DialogsTest : public QObject {
    Q_OBJECT
private slots:
    void askQuestion_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QString>("click");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("pageName");
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<QString>("focused");
        const QStringList del = {"Löschen", "&Abbruch"};
        QTest::newRow("delete all: Löschen") << 0 << del << "BitBtn1" << 1 << "JaNein" << del << "BitBtn1";
        QTest::newRow("delete all: Abbruch") << 0 << del << "BitBtn2" << -1 << "JaNein" << del << "BitBtn1";
        QTest::newRow("delete all: closed") << 0 << del << "" << -1 << "JaNein" << del << "BitBtn1";
        QTest::newRow("one caption") << 0 << QStringList{"Weiter"} << "BitBtn2" << -1 << "JaNein"
                                     << QStringList{"Weiter", "&Abbruch"} << "BitBtn1";
        QTest::newRow("either/or: 2") << 1 << QStringList{"Alle", "Neue"} << "BitBtn5" << 2
                                      << "EntwederOderAbbruch" << QStringList{"Alle", "Neue", "&Abbruch"} << "BitBtn4";
        QTest::newRow("either/or: abort") << 1 << QStringList{"Alle", "Neue", "Keine"} << "BitBtn3" << -1
                                          << "EntwederOderAbbruch" << QStringList{"Alle", "Neue", "Keine"} << "BitBtn4";
        QTest::newRow("three: 3") << 2 << QStringList{"a", "b", "c"} << "BitBtn9" << 3 << "3'er Auswahl"
                                  << QStringList{"a", "b", "c", "&Abbruch"} << "BitBtn6";
        QTest::newRow("three: fourth caption") << 2 << QStringList{"a", "b", "c", "Ende"} << "BitBtn8" << -1
                                               << "3'er Auswahl" << QStringList{"a", "b", "c", "Ende"} << "BitBtn6";
        QTest::newRow("ok page") << 3 << QStringList{} << "BitBtn10" << 1 << "OK" << QStringList{"OK"} << "BitBtn10";
        QTest::newRow("no captions") << 1 << QStringList{} << "BitBtn4" << 1 << "EntwederOderAbbruch"
                                     << QStringList{"1", "2", "&Abbruch"} << "BitBtn4";
    }
    void askQuestion()
    {
        QFETCH(int, page);
        QFETCH(QStringList, captions);
        QFETCH(QString, click);
        QFETCH(int, result);
        QFETCH(QString, pageName);
        QFETCH(QStringList, buttons);
        QFETCH(QString, focused);
        Seen seen;
        answerNext(click, &seen);
        const QStringList lines = {"ACHTUNG:", "Möchten Sie wirklich alle E-Mailadressen löschen?"};
        QCOMPARE(AskQuestion(page, lines, captions), result);
        QCOMPARE(seen.page, pageName);
        QCOMPARE(seen.lines, lines);
        QCOMPARE(seen.buttons, buttons);
        QCOMPARE(seen.focused, focused);
    }

    void questionTextIsCentred_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("delete all") << QStringList{"ACHTUNG:", "Möchten Sie wirklich alle E-Mailadressen löschen?"};
        QTest::newRow("one short line") << QStringList{"OK?"};
        QTest::newRow("markup stays text") << QStringList{"<b>fett</b> & <i>schräg</i>"};
    }
    void questionTextIsCentred()
    {
        QFETCH(QStringList, lines);
        TFM_Frage dlg;
        dlg.Prepare(0, lines, {QStringLiteral("Löschen"), QStringLiteral("&Abbruch")});
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(dlg.Memo1->toPlainText(), lines.join(QLatin1Char('\n')));
        // Where the lines are laid out: equal room left and right of each.
        QTextDocument *doc = dlg.Memo1->document();
        const qreal width = dlg.Memo1->viewport()->width();
        QVERIFY(width > 100);
        int n = 0;
        for (QTextBlock b = doc->begin(); b.isValid(); b = b.next(), ++n) {
            const QRectF r = b.layout()->lineAt(0).naturalTextRect();
            const qreal left = r.left(), right = width - r.right();
            QVERIFY2(qAbs(left - right) <= 2 * doc->documentMargin() + 2,
                     qPrintable(QStringLiteral("%1: %2 | %3").arg(b.text()).arg(left).arg(right)));
            QVERIFY2(left > doc->documentMargin() + 1, qPrintable(b.text()));
        }
        QCOMPARE(n, lines.size());
        if (QByteArray(QTest::currentDataTag()) == "delete all")
            saveShot(&dlg, QStringLiteral("dialog-frage"));
    }

    void yesNoHookAsksThroughTheQuestionDialog()
    {
        GuiUiHooks hooks;
        Seen seen;
        answerNext(QStringLiteral("BitBtn1"), &seen);
        QVERIFY(hooks.AskYesNo(QStringLiteral("Wirklich?\rAlle?")));
        QCOMPARE(seen.lines, (QStringList{"Wirklich?", "Alle?"}));
        QCOMPARE(seen.buttons, (QStringList{"&Ja", "&Nein"}));
        answerNext(QStringLiteral("BitBtn2"), &seen);
        QVERIFY(!hooks.AskYesNo(QStringLiteral("Wirklich?")));
    }

    void busyCursorNests()
    {
        GuiUiHooks hooks;
        hooks.BusyCursor(true);
        hooks.BusyCursor(true);
        QVERIFY(QApplication::overrideCursor());
        hooks.BusyCursor(false);
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        hooks.BusyCursor(false);
        QVERIFY(!QApplication::overrideCursor());
        hooks.BusyCursor(false);   // unbalanced off does not underflow
        hooks.BusyCursor(true);
        QCOMPARE(hooks.BusyDepth(), 1);
        hooks.BusyCursor(false);
        QVERIFY(!QApplication::overrideCursor());
    }

    void waitDialogCancel()
    {
        TWarten w;
        w.ProgressBar1->setValue(40);
        w.Cancelled = true;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(!w.Cancelled);                     // reset on show
        if (!qEnvironmentVariableIsEmpty("MV_SCREENSHOT_DIR")) {
            w.LB_HeadLine->setText(QStringLiteral("Datenbankabgleich"));
            w.LB_Action->setText(QStringLiteral("Artikel werden übertragen ..."));
            w.ProgressBar1->setValue(40);
            saveShot(&w, QStringLiteral("dialog-warten"));
            w.ProgressBar1->setValue(0);
        }
        QCOMPARE(w.ProgressBar1->value(), 0);
        QVERIFY(w.windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(w.windowTitle(), QStringLiteral("bitte warten ...."));

        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(w.Cancelled);
        QVERIFY(w.isVisible());                    // the caller closes it

        w.Cancelled = false;
        w.BitBtn1->click();
        QVERIFY(w.Cancelled);
        QVERIFY(w.isVisible());

        w.Cancelled = false;
        w.Animate1->SetActive(true);
        w.BitBtn1->setVisible(false);
        w.close();
        QVERIFY(w.Cancelled);
        QVERIFY(!w.Animate1->Active());
        QVERIFY(!w.BitBtn1->isHidden());

        w.Animate1->SetKind(TAnimate::Kind::FindFolder);
        w.show();
        QVERIFY(!w.Cancelled);
        QVERIFY(w.Animate1->GetKind() == TAnimate::Kind::CopyFiles);
    }
};

QTEST_MAIN(DialogsTest)
#include "tst_Dialogs.moc"
