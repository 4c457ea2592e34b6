#include "HidLink.h"
