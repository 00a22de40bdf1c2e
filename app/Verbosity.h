#pragma once

// Trace when verbose, Warn otherwise.
void setVerboseLogging(bool verbose);
