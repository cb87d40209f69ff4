#include "LinkUtils.h"
