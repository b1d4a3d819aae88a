// The one header a program includes to call the platform's Win32 names.
#pragma once

#include "fgplatform/basetypes.h"
#include "fgplatform/commdlg.h"
#include "fgplatform/crt.h"
#include "fgplatform/kernel.h"
#include "fgplatform/libloader.h"
#include "fgplatform/oaidl.h"
#include "fgplatform/objbase.h"
#include "fgplatform/oleauto.h"
#include "fgplatform/typeinfo.h"
#include "fgplatform/unknwn.h"
#include "fgplatform/winerror.h"
#include "fgplatform/winnls.h"
#include "fgplatform/winreg.h"
#include "fgplatform/wtext.h"
#include "fgplatform/wtypes.h"
