#include "core/UiHooks.h"

#include "core/ShopSettings.h"

#include <QCoreApplication>
#include <cstdio>

namespace mv {

namespace {
ConsoleUiHooks g_console;
UiHooks *g_hooks = nullptr;

// Message boxes break lines at a bare CR; a terminal or log file would
// overwrite or glue them.
QByteArray ConsoleText(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text.toLocal8Bit();
}
}

UiHooks &Ui() { return g_hooks ? *g_hooks : g_console; }
void SetUiHooks(UiHooks *hooks) { g_hooks = hooks; }

bool UiHooks::CancelRequested() { return Settings().AbortWait; }

void ConsoleUiHooks::ProcessEvents()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

void ConsoleUiHooks::ShowMessage(const QString &text, Icon)
{
    if (!quiet)
        std::fprintf(stderr, "%s\n", ConsoleText(text).constData());
}

bool ConsoleUiHooks::AskYesNo(const QString &text, const QString &)
{
    if (!quiet)
        std::fprintf(stderr, "%s [%s]\n", ConsoleText(text).constData(), m_answer ? "Ja" : "Nein");
    return m_answer;
}

void ConsoleUiHooks::LogLine(const QString &line)
{
    if (!quiet)
        std::fprintf(stderr, "%s\n", ConsoleText(line).constData());
}

void RecordingUiHooks::ProcessEvents()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

} // namespace mv
