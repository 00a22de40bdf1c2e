#pragma once

// The logging classes live in the executable, which exports them to plug-ins and tools
// that load it; keep their symbols visible even when hidden visibility is the default.
#if defined(_WIN32)
#define QSLOG_SHARED_OBJECT
#else
#define QSLOG_SHARED_OBJECT __attribute__((visibility("default")))
#endif
