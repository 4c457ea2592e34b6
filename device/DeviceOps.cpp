#include "DeviceOps.h"
