#pragma once
// The countries editor: countries, currencies and their shipping rules ("laender4.xml").

#include "masterdata/ui/TMasterEditor.h"

namespace mv {

class TFM_Laender : public TMasterEditor {
    Q_OBJECT
public:
    // dir: program folder (empty = the settings' ExeDir).
    explicit TFM_Laender(const QString &dir = QString(), QWidget *parent = nullptr);
    TDBBGrid *DBGrid1;
};

} // namespace mv
