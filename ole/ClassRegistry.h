#pragma once
// The class registry behind CLSIDFromProgID and CoCreateInstance on platforms without
// Windows COM: a server registers a program identifier with a class identifier and a
// function that creates its object in-process.

#include "OleAutomation.h"

#ifndef _WIN32
typedef HRESULT (*OleClassCreateFunction)(REFIID riid, void** ppv);

// Registers progId for clsid; a later registration of the same progId replaces it.
HRESULT OleRegisterClass(LPCOLESTR progId, REFCLSID clsid, OleClassCreateFunction create);
// Removes the registration of progId; S_FALSE when there was none.
HRESULT OleUnregisterClass(LPCOLESTR progId);
#endif
