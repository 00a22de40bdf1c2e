#pragma once
// Small helpers for the results of dispatch calls, shared by the connection's operations.

#include "OleAutomation.h"

#include <QString>

// The object that a call returned, with its one reference, or null. A call that succeeded
// but returned no object counts as failed: its result is cleared and errMsg emptied, as any
// failed call empties it.
inline IDispatch* takeDispatch(bool called, VARIANT& result, QString& errMsg) {
    if (called && result.vt == VT_DISPATCH && result.pdispVal)
        return result.pdispVal;
    VariantClear(&result);
    if (called)
        errMsg.clear();
    return nullptr;
}

// Drops the one reference that object holds and forgets it.
inline void releaseDispatch(IDispatch*& object) {
    if (object)
        object->Release();
    object = nullptr;
}

// "‹value›": the value between two double-quote characters, as the messages show names.
inline QString quoted(const QString& value) {
    return QLatin1Char('"') + value + QLatin1Char('"');
}
