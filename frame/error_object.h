// Rich error information: building an error object and attaching it to
// the thread, and copying the thread's object into an exception record.
#pragma once

#include "fgplatform/win32.h"

// `description` is a 16-bit text or, below 0x10000, a string resource id
// of `resourceModule`. Never throws. Answers `hr`, or DISP_E_EXCEPTION
// when `hr` is 0 (a resource id then makes it 0x80040000 | id).
[[nodiscard]] HRESULT SetErrorObject(REFCLSID clsid, LPCOLESTR description, DWORD helpContext, LPCOLESTR helpFile, REFIID iid,
                       HRESULT hr, HINSTANCE resourceModule);
[[nodiscard]] HRESULT ReportErrorObject(REFCLSID clsid, LPCOLESTR description, REFIID iid, HRESULT hr);
// Takes the thread's error object into the record; answers what
// GetErrorInfo answered (S_FALSE when there was none), E_POINTER for a
// null record.
[[nodiscard]] HRESULT FillExceptionRecord(HRESULT hr, EXCEPINFO* excepinfo);
