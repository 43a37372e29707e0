#include <QWidget>
#include "data/ui/TDBBGrid.h"
