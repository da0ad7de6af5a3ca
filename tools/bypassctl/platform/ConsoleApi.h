// Windows: the two console calls ConsoleText makes, with their Win32 types
// spelled out (handles as void*); the real ones unless a test stands in for
// a console.
#pragma once

namespace bypassctl {

struct ConsoleApi {
    int (*getConsoleMode)(void* handle, unsigned long* mode);
    int (*writeConsoleW)(
        void* handle, const void* text, unsigned long count, unsigned long* written, void*);
};
// Installs api as the console calls of every ConsoleText (nullptr: the
// real ones) and answers the table it replaces.
const ConsoleApi* SetConsoleApi(const ConsoleApi* api);

} // namespace bypassctl
