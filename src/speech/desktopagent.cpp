#include "speech/desktopagent.h"
