// Going down is allowed.
#include "core/clock.h"
