#include "ItemFrmForward.h"
