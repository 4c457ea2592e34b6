#include "TextCodec.h"
