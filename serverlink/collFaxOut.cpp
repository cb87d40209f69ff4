#include "collFaxOut.h"
