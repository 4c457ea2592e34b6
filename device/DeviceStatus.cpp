#include "DeviceStatus.h"
