#pragma once
// The shipping-cost editor: costs by weight, carrier and country ("versandkosten4.xml").

#include "masterdata/ui/TMasterEditor.h"

namespace mv {

class TFM_Versandmodul : public TMasterEditor {
    Q_OBJECT
public:
    // dir: program folder (empty = the settings' ExeDir).
    explicit TFM_Versandmodul(const QString &dir = QString(), QWidget *parent = nullptr);
    TDBBGrid *DBGrid1;
};

} // namespace mv
