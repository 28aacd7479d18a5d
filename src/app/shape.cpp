#include "app/shape.h"
