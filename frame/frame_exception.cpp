#include "frame/frame_exception.h"

#include "trace/trace.h"

void FrameThrow(HRESULT hr) {
  FGTRACE(traceException, 0, "FrameThrow: hr = 0x%x\n", static_cast<unsigned>(hr));
  throw CFrameException(hr);
}

errno_t CheckCrtError(errno_t error) {
  switch (error) {
    case 0:
    case STRUNCATE:
      return error;
    case ENOMEM:
      FrameThrow(E_OUTOFMEMORY);
    case EINVAL:
    case ERANGE:
      FrameThrow(E_INVALIDARG);
    default:
      FrameThrow(E_FAIL);
  }
}
