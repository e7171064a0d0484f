// Lowest floor reaching up: the check must refuse it.
#include "reports/writer.h"
