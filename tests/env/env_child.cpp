// Child of the environment tests, started through Command_t with variable names as its
// arguments: prints, one a line, "=" and the value of each in the environment block it
// received, or "-" where the block holds no such variable. The platform's own lookup, in
// the ANSI code page the parent reads, compares names without regard to letter case, as
// Windows does, so a test sees exactly what a child sees.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    static char value[32767];
    for (int arg = 1; arg < argc; ++arg) {
        SetLastError(0);
        const DWORD length = GetEnvironmentVariableA(argv[arg], value, sizeof value);
        const bool none = length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND;
        std::printf("%s%.*s\n", none ? "-" : "=", static_cast<int>(length), value);
    }
}
