// Language and sublanguage numbers of the LANGUAGE statements in the language libraries'
// sources (the values of the Windows headers, so the .rc files build without them).
#pragma once

#define LANG_ENGLISH 0x09
#define LANG_FRENCH 0x0c
#define LANG_GERMAN 0x07
#define LANG_JAPANESE 0x11

#define SUBLANG_DEFAULT 0x01
#define SUBLANG_ENGLISH_US 0x01
#define SUBLANG_FRENCH 0x01
#define SUBLANG_GERMAN 0x01
