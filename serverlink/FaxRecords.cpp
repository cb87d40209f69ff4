#include "FaxRecords.h"
