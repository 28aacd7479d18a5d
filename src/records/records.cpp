#include "records/records.h"
