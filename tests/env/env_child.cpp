// Child of the environment tests, started through Command_t: prints every entry of the
// environment block it received, one a line, in the ANSI code page the parent reads, so a
// test sees exactly what a child sees.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main() {
    for (const char* entry = GetEnvironmentStringsA(); *entry; entry += std::strlen(entry) + 1) {
        std::printf("%s\n", entry);
    }
}
