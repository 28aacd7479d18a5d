#include "drill/praise.h"
