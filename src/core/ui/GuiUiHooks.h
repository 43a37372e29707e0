#pragma once
// The windows' implementation of the user interface hooks: message boxes,
// questions through the question dialog, the hourglass, and progress and
// status text handed to the main window.

#include "core/UiHooks.h"

#include <functional>

namespace mv {

class GuiUiHooks : public UiHooks {
public:
    void ProcessEvents() override;
    void BusyCursor(bool on) override;
    void ShowMessage(const QString &text, Icon icon = Icon::Information) override;
    bool AskYesNo(const QString &text, const QString &caption = QString()) override;
    void Progress(int position, int max, const QString &text = QString()) override;
    void StatusText(const QString &text) override;
    void LogLine(const QString &line) override;

    int BusyDepth() const { return m_busy; }

    // Set by the main window; empty until it exists.
    std::function<void(int, int, const QString &)> onProgress;
    std::function<void(const QString &)> onStatus;
    std::function<void(const QString &)> onLog;

private:
    int m_busy = 0;
};

// Message text as the program writes it (a lone \r is a line break).
QString MessageText(const QString &text);

} // namespace mv
