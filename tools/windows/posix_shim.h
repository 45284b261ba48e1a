// The few POSIX calls the vault's unit tests make that MinGW lacks, so the same tests
// build for 32-bit Windows unchanged. Included before every test source.
#pragma once
#include <direct.h>
#include <errno.h>
#include <io.h>
#include <process.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

// A new folder from a template ending in XXXXXX.
inline char* mkdtemp(char* templ) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        size_t n = strlen(templ);
        if (n < 6) return nullptr;
        static unsigned counter = 0;
        unsigned v = static_cast<unsigned>(_getpid()) * 7919u + ++counter * 104729u;
        for (size_t i = n - 6; i < n; ++i) {
            templ[i] = "abcdefghijklmnopqrstuvwxyz0123456789"[v % 36];
            v = v / 36 + 17 * static_cast<unsigned>(i);
        }
        if (_mkdir(templ) == 0) return templ;
        if (errno != EEXIST) return nullptr;
    }
    return nullptr;
}
// Never the superuser on Windows.
inline unsigned geteuid() { return 1000; }
inline int fork() { return -1; }
inline int setuid(unsigned) { return -1; }
inline int setgid(unsigned) { return -1; }
