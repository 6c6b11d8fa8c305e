#include "store/kind_table.h"

KindSlot KindTable[KIND_MAX]{};
