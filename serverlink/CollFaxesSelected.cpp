#include "CollFaxesSelected.h"
