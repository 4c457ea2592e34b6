#include "HidapiTransport.h"
