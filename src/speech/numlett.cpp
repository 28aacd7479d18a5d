#include "speech/numlett.h"
