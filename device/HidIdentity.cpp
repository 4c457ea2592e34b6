#include "HidIdentity.h"
