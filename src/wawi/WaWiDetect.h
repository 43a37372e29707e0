#pragma once
// Finding the WaWi installation in the registry, opening its database
// alias "Merkant", listing the Mandanten and selecting the active one.
// The main window and FM_WaWiCFG call these; the windows read the Mandant
// list and its visibility from WaWiState().

#include "data/Dataset.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace mv {

// The WaWi program list: combo box texts and registry keys.
QStringList WaWiProgramNames();
QString WaWiProgramKey(int programIndex);  // any index outside 0..8 -> key of index 3

// Registry key read by the main window for the start value of VLB_Programm.
QString WaWiProgramNumberKey();            // "Software\VLB-Software\Zweigwart"
int ReadWaWiProgramNumber();               // section "Programm", value "Nummer", default 3

// Program-wide WaWi edition (2 switches on special prices, graduated
// prices, variants, recommendations and address groups).
int &WaWiEdition();

// First command-line argument of the program ("" = none): the detection
// then tries RegPath + "\" + argument first.
void SetWaWiCommandLineArgument(const QString &arg);
QString WaWiCommandLineArgument();

enum class WaWiDetectResult {
    Found,          // alias open, Mandant list read, Mandant selected
    NotFound,       // no data directory in any key (message shown)
    AliasFailed,    // the data directory could not be opened (no message)
    MandantFailed   // Mandant table could not be read (message shown; the caller ends the program)
};

struct WaWiDetectState {
    QString connectionString;      // VLBConnection1 (SQL-based WaWi; kept, never used)
    bool aliasConnected = false;   // database alias "Merkant"
    QStringList mandantNames;      // entries of CB_Mandant
    bool mandantListVisible = false;
    int mandantListIndex = -1;     // selected item of CB_Mandant
    QString lastError;             // message of the last failure
    std::unique_ptr<Dataset> mandantTable;   // Tbl_Mandant, open after a successful detection
};
WaWiDetectState &WaWiState();

// Creates the Mandant table component for a folder (default: a TVLBTable on
// "Mandant.db"); tests may replace it.
using MandantTableFactory = std::function<std::unique_ptr<Dataset>(const QString &wawiDir)>;
void SetMandantTableFactory(MandantTableFactory f);

// TFM_Haupt.DetectWaWi.
WaWiDetectResult DetectWaWi(bool useStoredMandant, int programIndex);
// TFM_Haupt.SelectMandant (1-based position). Returns false when a value of
// "Zusatz2" could not be converted; the keys before it are applied and the
// message is in *error.
bool SelectMandant(int position, QString *error = nullptr);
// FM_WaWiCFG: Mandant list change (list index).
void SelectMandantListIndex(int listIndex);

// Display name of a Mandant record: first non-blank of Firma1..3, Name.
QString MandantDisplayName(const Dataset &mandant);

} // namespace mv
