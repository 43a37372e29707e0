#pragma once
// The shipping-method editor ("versandtart6.xml") with the take-over of
// the names from the WaWi's "Lieferart.TXT".

#include "masterdata/WaWiTakeOver.h"
#include "masterdata/ui/TMasterEditor.h"

class QPlainTextEdit;
class QPushButton;

namespace mv {

class TFM_Versandarten : public TMasterEditor {
    Q_OBJECT
public:
    // wawiDir: the WaWi folder (empty = the settings' WaWiDir).
    explicit TFM_Versandarten(const QString &dir = QString(), const QString &wawiDir = QString(),
                              QWidget *parent = nullptr);

    // "Daten aus Warenwirtschaft holen"; the table is written on closing.
    TakeOverResult BitBtn2Click(bool quiet = false);

    TDBBGrid *DBGrid1;
    QPushButton *BitBtn2;
    QPlainTextEdit *ME_Versandarten;   // the lines of the last take-over

private:
    QString m_wawiDir;
};

} // namespace mv
