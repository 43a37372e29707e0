#pragma once
// How logic talks to the user. The windows install a GUI implementation,
// the command-line tool a console one, tests a recording one: logic never
// opens a dialog itself, and no test blocks on a modal box.

#include <QString>
#include <QStringList>

namespace mv {

class UiHooks {
public:
    enum class Icon { Information, Warning, Error, Question };
    virtual ~UiHooks() = default;

    // Let pending window events run inside long loops.
    virtual void ProcessEvents() = 0;
    // Hourglass on/off; calls nest.
    virtual void BusyCursor(bool on) = 0;
    virtual void ShowMessage(const QString &text, Icon icon = Icon::Information) = 0;
    // Yes/No question; true = yes.
    virtual bool AskYesNo(const QString &text, const QString &caption = QString()) = 0;
    // Progress of long work: position of max (max 0 hides it).
    virtual void Progress(int position, int max, const QString &text = QString()) = 0;
    virtual void StatusText(const QString &text) = 0;
    virtual void LogLine(const QString &line) = 0;
    // Long operations ask this between records and while they wait. The
    // default is the program-wide stop request (AbortWait, the STOP
    // button); a test or the command-line tool can stop one operation by
    // answering true here without touching the settings.
    virtual bool CancelRequested();
};

// The process-wide hooks; never null (a quiet console implementation until
// something else is installed).
UiHooks &Ui();
// Installs hooks (not owned); nullptr restores the default.
void SetUiHooks(UiHooks *hooks);
// The one cancel check of long operations: Ui().CancelRequested().
inline bool Cancelled() { return Ui().CancelRequested(); }

// Keeps the busy cursor on for a scope, also when an exception leaves it.
class BusyScope {
public:
    BusyScope() { Ui().BusyCursor(true); }
    ~BusyScope() { Ui().BusyCursor(false); }
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;
};

// Console implementation (command-line tool, default): messages to stderr,
// questions answered with the given default.
class ConsoleUiHooks : public UiHooks {
public:
    explicit ConsoleUiHooks(bool answer = false) : m_answer(answer) {}
    void ProcessEvents() override;
    void BusyCursor(bool) override {}
    void ShowMessage(const QString &text, Icon icon) override;
    bool AskYesNo(const QString &text, const QString &caption) override;
    void Progress(int, int, const QString &) override {}
    void StatusText(const QString &) override {}
    void LogLine(const QString &line) override;
    bool quiet = false;
private:
    bool m_answer;
};

// Records everything; questions take queued answers (default no).
class RecordingUiHooks : public UiHooks {
public:
    void ProcessEvents() override;
    void BusyCursor(bool on) override { busyDepth += on ? 1 : -1; }
    void ShowMessage(const QString &text, Icon) override { messages << text; }
    bool AskYesNo(const QString &text, const QString &) override {
        questions << text;
        return answers.isEmpty() ? false : answers.takeFirst();
    }
    void Progress(int p, int m, const QString &) override { lastProgress = p; lastMax = m; }
    void StatusText(const QString &t) override { status << t; }
    void LogLine(const QString &l) override { log << l; }

    bool CancelRequested() override { return cancel || UiHooks::CancelRequested(); }

    QStringList messages, questions, status, log;
    QList<bool> answers;
    bool cancel = false;
    int busyDepth = 0;
    int lastProgress = 0, lastMax = 0;
};

} // namespace mv
