#include "UdevMonitor.h"
