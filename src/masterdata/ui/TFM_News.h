#pragma once
// The news editor: titles, texts and a picture in up to five languages ("news6.xml").

#include "masterdata/ui/TMasterEditor.h"

namespace mv {

class TFM_News : public TMasterEditor {
    Q_OBJECT
public:
    // dir: program folder (empty = the settings' ExeDir).
    explicit TFM_News(const QString &dir = QString(), QWidget *parent = nullptr);
    TDBBGrid *DBGrid1;
    QTabWidget *PageControl1;
};

} // namespace mv
