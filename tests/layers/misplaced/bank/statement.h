// Same floor as reports but not reports: refused as well.
#include "reports/writer.h"
