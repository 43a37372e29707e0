#include "core/UiHooks.h"

#include "core/ShopSettings.h"

#include <QCoreApplication>
#include <cstdio>

namespace mv {

namespace {
ConsoleUiHooks g_console;
UiHooks *g_hooks = nullptr;
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
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

bool ConsoleUiHooks::AskYesNo(const QString &text, const QString &)
{
    if (!quiet)
        std::fprintf(stderr, "%s [%s]\n", text.toLocal8Bit().constData(), m_answer ? "Ja" : "Nein");
    return m_answer;
}

void ConsoleUiHooks::LogLine(const QString &line)
{
    if (!quiet)
        std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
}

void RecordingUiHooks::ProcessEvents()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

} // namespace mv
