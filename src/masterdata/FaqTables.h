#pragma once
// The two FAQ tables: groups (numbered by "zaehler") and their entries
// (linked by "gruppe").

#include "data/Dataset.h"
#include "masterdata/TableFile.h"

namespace mv {

// After a group row was posted: a group without a number (0 or empty)
// gets its own auto-increment value "z" as "zaehler".
void NumberNewGroup(Dataset &groups);

// Installs the numbering on the groups and links the entries to the
// current group (ordered by "gruppe"; new entries get its number). A group
// still being typed is posted before an entry is added to it, so the entry
// receives the group's number.
void LinkFaqTables(TableFile &groups, TableFile &entries);

} // namespace mv
