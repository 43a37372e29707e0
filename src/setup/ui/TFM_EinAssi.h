#pragma once
// The set-up assistant: a narrow tool window at the right screen edge whose
// step buttons run the main window's actions; each step is open or done,
// and the states survive restarts through ShopMod.ini.

#include <QWidget>

#include <functional>

class QCheckBox;
class QTimer;

namespace mv {

class TPanelBar;

class TFM_EinAssi : public QWidget {
    Q_OBJECT
public:
    explicit TFM_EinAssi(QWidget *parent = nullptr);

    struct StepDef {
        int panel;
        int index;
        const char *name;
        const char *caption;
        const char *action;
    };
    static const QVector<StepDef> &Steps();

    // Step keys are compared after lower-casing; unknown keys do nothing.
    void MarkStepDone(const QString &step);
    void MarkStepOpen(const QString &step);
    bool StepDone(const QString &step) const;
    // Preconditions; tells the user itself when the answer is no.
    bool StepAllowed(const QString &step);

    void StartBlink();
    bool Blinking() const;
    void SetShowAtStart(bool on);

    // Open panel and step states from and into the shared settings.
    void ApplySettings();
    void StoreSettings() const;

    // Runs a main window action by name (set by the main window).
    std::function<bool(const QString &)> RunAction;

    TPanelBar *IB_Ass;
    QCheckBox *CheckBox1;
    QTimer *Timer1;

public slots:
    void IB_AssButtonClick(int panel, int item);

protected:
    void showEvent(QShowEvent *e) override;

private:
    void Timer1Timer();
    bool locate(const QString &step, int &panel, int &item) const;

    int m_blinkCount = 0;
};

} // namespace mv
