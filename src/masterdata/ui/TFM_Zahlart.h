#pragma once
// The payment-method editor ("zahlungsart_6.xml") with the take-over of
// the WaWi's payment methods.

#include "masterdata/WaWiTakeOver.h"
#include "masterdata/ui/TMasterEditor.h"

class QPushButton;

namespace mv {

class TFM_Zahlart : public TMasterEditor {
    Q_OBJECT
public:
    // dir: program folder; wawiDir: where "Zahlart.DB" is when the WaWi
    // database is not connected (empty = the settings' WaWiDir).
    explicit TFM_Zahlart(const QString &dir = QString(), const QString &wawiDir = QString(), QWidget *parent = nullptr);

    // "Daten aus Warenwirtschaft holen". A failure is told to the user
    // (unless quiet) and returned.
    TakeOverResult BitBtn2Click(bool quiet = false);

    TDBBGrid *DBGrid1;
    QPushButton *BitBtn2;

private:
    QString m_wawiDir;
};

} // namespace mv
