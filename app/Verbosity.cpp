#include "Verbosity.h"

// The logger arrives with the logging library; until then there is nothing to set.
void setVerboseLogging(bool) {}
