// Windows: the two console calls ConsoleText makes, with their Win32 types
// spelled out (handles as void*), in a table (see portio/CallTable.h): the
// real ones unless a test stands in for a console.
#pragma once

#include "portio/CallTable.h"

namespace bypassctl {

struct ConsoleApi {
    int (*getConsoleMode)(void* handle, unsigned long* mode);
    int (*writeConsoleW)(
        void* handle, const void* text, unsigned long count, unsigned long* written, void*);
};

} // namespace bypassctl

template <> bypass::CallTable<bypassctl::ConsoleApi>& bypass::CallTableOf<bypassctl::ConsoleApi>();
