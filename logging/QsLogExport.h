#pragma once

// The logging classes live in the executable, which exports them to plug-ins and tools
// that load it; keep their symbols visible even when hidden visibility is the default.
// On Windows the program's own build exports them and everyone else imports them.
#if defined(_WIN32)
#if defined(QSLOG_EXPORTING)
#define QSLOG_SHARED_OBJECT __declspec(dllexport)
#else
#define QSLOG_SHARED_OBJECT __declspec(dllimport)
#endif
#else
#define QSLOG_SHARED_OBJECT __attribute__((visibility("default")))
#endif
