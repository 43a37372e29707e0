#include "core/UiHooks.h"

#include <QFile>
#include <functional>
#include <QTemporaryFile>
#include <QTest>

#include <cstdio>
#include <unistd.h>

using namespace mv;

// What the console variant writes to stderr, captured through a file.
class ConsoleUiTest : public QObject {
    Q_OBJECT
    QByteArray capture(const std::function<void(ConsoleUiHooks &)> &f)
    {
        QTemporaryFile out;
        if (!out.open())
            return "no temporary file";
        std::fflush(stderr);
        const int saved = ::dup(2);
        ::dup2(out.handle(), 2);
        ConsoleUiHooks ui(true);
        f(ui);
        std::fflush(stderr);
        ::dup2(saved, 2);
        ::close(saved);
        QFile in(out.fileName());
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray("unreadable");
    }
private slots:
    void lineBreaks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("message box CR") << QStringLiteral("sind\rmüssen\rBenutzen") << QByteArray("sind\nmüssen\nBenutzen\n");
        QTest::newRow("CRLF") << QStringLiteral("a\r\nb") << QByteArray("a\nb\n");
        QTest::newRow("plain umlauts") << QStringLiteral("Größe") << QByteArray("Größe\n");
    }
    void lineBreaks()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, expected);
        QCOMPARE(capture([&](ConsoleUiHooks &ui) { ui.ShowMessage(text, UiHooks::Icon::Information); }), expected);
        QCOMPARE(capture([&](ConsoleUiHooks &ui) { ui.LogLine(text); }), expected);
    }
    void questionShowsTheAnswer()
    {
        QCOMPARE(capture([](ConsoleUiHooks &ui) { QVERIFY(ui.AskYesNo(QStringLiteral("Weiter?\rSicher?"), QString())); }),
                 QByteArray("Weiter?\nSicher? [Ja]\n"));
    }
    void quietWritesNothing()
    {
        QCOMPARE(capture([](ConsoleUiHooks &ui) { ui.quiet = true; ui.ShowMessage(QStringLiteral("x"), UiHooks::Icon::Warning); }),
                 QByteArray());
    }
};

QTEST_GUILESS_MAIN(ConsoleUiTest)
#include "tst_ConsoleUi.moc"
