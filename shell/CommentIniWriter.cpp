#include "CommentIniWriter.h"
