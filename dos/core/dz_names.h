#ifndef DOS_CORE_DZ_NAMES_H
#define DOS_CORE_DZ_NAMES_H

#ifdef __cplusplus
extern "C" {
#endif
/* Names the DOS program creates: a plain file name (no path, drive or device) in 8.3 form. */

/* True for 1-8 name characters, optionally a dot and 1-3 extension characters, every character
   one DOS allows in a short name (letters, digits, ! # $ % & ' ( ) - @ ^ _ ` { } ~), and no
   device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CLOCK$, CONIN$, CONOUT$, with any extension). */
int dz_is_dos_name(const char* name);

#ifdef __cplusplus
}
#endif

#endif
