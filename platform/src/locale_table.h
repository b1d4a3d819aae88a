// The platform's table of locales and their ANSI code pages, and the
// resolution of the system default locale from the environment.
#pragma once

#include "fgplatform/basetypes.h"

namespace fgp {

struct SystemLocale {
  LCID lcid;
  UINT ansiCodePage;
};

// Read once from LC_ALL / LC_CTYPE / LANG.
const SystemLocale& SystemDefaultLocale();
// 0 for an unknown LCID.
UINT TableCodePage(LCID lcid);
// Resolves LOCALE_SYSTEM_DEFAULT, LOCALE_USER_DEFAULT and LANG_NEUTRAL (0).
LCID ResolveLocale(LCID lcid);
// The code page a selector (CP_ACP, CP_OEMCP, CP_THREAD_ACP) or number
// stands for; 0 when the platform cannot convert it.
UINT ResolveCodePage(UINT codePage);

}  // namespace fgp
