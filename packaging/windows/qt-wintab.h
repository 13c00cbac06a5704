/* The Wacom tablet interface for Qt's Windows platform plugin, built from
   Debian's Qt source, which drops Qt's bundled copy. Wine's wintab.h is the
   same interface; it only expects the two Winelib naming macros that Wine's
   own Windows headers define (Qt builds with UNICODE, so the W forms), and
   lacks the calling-convention macro API of Wacom's header, which Qt uses to
   declare the functions it looks up in wintab32.dll. */
#ifndef API
#  define API WINAPI
#endif
#ifndef WINELIB_NAME_AW
#  ifdef UNICODE
#    define WINELIB_NAME_AW(func) func##W
#  else
#    define WINELIB_NAME_AW(func) func##A
#  endif
#endif
#ifndef DECL_WINELIB_TYPE_AW
#  define DECL_WINELIB_TYPE_AW(type) typedef WINELIB_NAME_AW(type) type;
#endif
#include "wine-wintab.h"
