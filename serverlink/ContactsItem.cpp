#include "ContactsItem.h"
