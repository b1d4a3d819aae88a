// Interface operations must not let an exception out: GuardedCall runs the
// body and turns the exception the holders raise into the code it carries
// (an allocation failure of the language runtime is E_OUTOFMEMORY).
#pragma once

#include <new>

#include "fgplatform/win32.h"
#include "frame/com_error.h"
#include "frame/frame_exception.h"

template <class Body>
[[nodiscard]] HRESULT GuardedCall(Body&& body) {
  try {
    return body();
  } catch (const CFrameException& e) {
    return e.m_hrCode;
  } catch (const CComError& e) {
    return e.m_hrCode;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
