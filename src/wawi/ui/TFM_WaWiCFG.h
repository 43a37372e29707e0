#pragma once
// "Warenwirtschaft - Einstellungen": which WaWi program and which Mandant
// the program works with. Changes take effect as they are made.

#include <QDialog>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace mv {

class TFM_WaWiCFG : public QDialog {
    Q_OBJECT
public:
    explicit TFM_WaWiCFG(QWidget *parent = nullptr);
    ~TFM_WaWiCFG() override;

    QGroupBox *GroupBox1;
    QLabel *Label1, *Label2;
    QComboBox *CB_Programm, *CB_Mandant;
    QPushButton *BitBtn1, *BitBtn2;

    // The Mandant list and its visibility as the last detection left them.
    void RefreshMandanten();

signals:
    // The chosen Mandant could not be opened: the program cannot go on.
    void EndProgramRequested();

protected:
    void showEvent(QShowEvent *e) override;

private:
    void FormShow();
    void CB_ProgrammChange(int index);
    void CB_MandantChange(int index);
    void detect(bool useStoredMandant, int programIndex);

    bool m_filling = false;
};

// The long-lived instance (null before start-up created it).
extern TFM_WaWiCFG *FM_WaWiCFG;

} // namespace mv
