// Functions too easy to misuse: the build forces this header into every source file of the
// programs, so a call to one of them (std:: or not) fails to compile with a name saying why.
// Use snprintf, the bounded copies, localtime_r and gmtime_r instead.
#ifndef QUORVEL_BANNED_H
#define QUORVEL_BANNED_H

// The C library declares these with parentheses, and <cstdio> and <ctime> #undef them:
// both must be read before the macros exist, so that their include guards keep them out later.
#include <cstdio>
#include <cstring>
#include <ctime>

#define QUORVEL_BANNED(func) sorry_##func##_is_a_banned_function

#undef strcpy
#define strcpy(...) QUORVEL_BANNED(strcpy)
#undef strcat
#define strcat(...) QUORVEL_BANNED(strcat)
#undef sprintf
#define sprintf(...) QUORVEL_BANNED(sprintf)
#undef vsprintf
#define vsprintf(...) QUORVEL_BANNED(vsprintf)
#undef gets
#define gets(...) QUORVEL_BANNED(gets)
#undef strtok
#define strtok(...) QUORVEL_BANNED(strtok)
#undef localtime
#define localtime(...) QUORVEL_BANNED(localtime)
#undef gmtime
#define gmtime(...) QUORVEL_BANNED(gmtime)
#undef ctime
#define ctime(...) QUORVEL_BANNED(ctime)
#undef asctime
#define asctime(...) QUORVEL_BANNED(asctime)

#endif
