#pragma once
// The Win32 result conventions for code that must build without <windows.h>: routines answer a
// BOOL (or a small code) and put their reason into a string the caller supplies.

#ifndef _WINDEF_
typedef int BOOL;
#endif
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#if defined(__GNUC__)
#define BREVANE_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define BREVANE_PRINTF(fmt, args)
#endif
