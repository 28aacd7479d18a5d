#include "drill/question.h"
