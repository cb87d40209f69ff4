#include "NodeItem.h"
