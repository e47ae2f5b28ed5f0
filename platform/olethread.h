// Per-thread COM initialisation. On Windows a thread must enter COM
// (CoInitialize, OleInitialize or the framework's AfxOleInit) before it
// creates automation objects, and every successful entry is balanced by an
// exit. The search worker enters COM itself, so a program that forgot to do
// so on one of its threads must fail here as it would there: creating an
// object on such a thread fails with CO_E_NOTINITIALIZED.
#pragma once

#include "platform/oleauto.h"

// S_OK on the first entry of this thread, S_FALSE when the thread is
// already in COM; either way the call must be balanced by CoUninitialize.
HRESULT CoInitialize(void* reserved);
// Leaves COM once; does nothing on a thread that is not in it.
void CoUninitialize();
// OLE initialisation enters COM too; balanced by OleUninitialize.
HRESULT OleInitialize(void* reserved);
void OleUninitialize();
// The framework's start-up form: TRUE when this thread is in COM
// afterwards. The entry is left when the thread ends.
BOOL AfxOleInit();

// True when the calling thread has entered COM and not left it.
bool IsComInitialized();
