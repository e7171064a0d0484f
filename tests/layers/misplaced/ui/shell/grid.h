// The toolkit knowing a feature: refused although the floor is higher.
#include "bank/statement.h"
#include "core/clock.h"
