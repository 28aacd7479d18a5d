#include "app/tavola.h"
