// The code page of multibyte archive names on POSIX (CP932 unless chosen otherwise).
#pragma once

// Chooses the iconv name of the code page; false when iconv does not know it.
bool SetMultiByteCodePage(const char* name);
const char* MultiByteCodePage();
