#include "faxOut.h"
