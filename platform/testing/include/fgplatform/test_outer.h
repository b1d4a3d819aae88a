// A stand-in for the outer object of an aggregate: it counts its references
// and answers no interface of its own, so a test can see which calls of an
// inner part reach it.
#pragma once

#include "fgplatform/unknwn.h"

namespace fgtest {

struct CountingOuter : IUnknown {
  STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++count); }
  STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--count); }
  LONG count = 1;
};

}  // namespace fgtest
