#pragma once
// Live counters of the OLE surface, for tests that check balance and leaks.

#ifndef _WIN32
// Strings allocated by SysAllocString/SysAllocStringLen and not yet freed.
long OleLiveStringCount();
// Safe arrays created and not yet destroyed.
long OleLiveArrayCount();
// How many CoInitialize calls on the calling thread are not yet balanced by CoUninitialize.
int OleComInitializeDepth();
// CoInitialize and CoUninitialize calls made by the whole process so far.
long OleCoInitializeCallCount();
long OleCoUninitializeCallCount();
#endif
