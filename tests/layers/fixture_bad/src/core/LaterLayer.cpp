#include "shopdb/ShopConnection.h"
