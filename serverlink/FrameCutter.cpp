#include "FrameCutter.h"
