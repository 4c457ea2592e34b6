#include "UnitOps.h"
