/* A C program that uses KaCtrlUtilsC.dll, as a caller of any compiler would. It uses no C
 * runtime, only the library and kernel32, so that it links the MSVC way with nothing else:
 * its entry point is ConsumerEntry there, main under a C runtime. It prints what it was
 * answered, one fact per line, and exits with the number of calls that surprised it. */
#include "KaCtrlUtilsC.h"

#include <windows.h>

#define UNITS 2048

/* Static, not on the stack: a large frame would need the C runtime's stack probe. */
static wchar_t text[UNITS];
static char bytes[UNITS * 3];
static int surprises;

static void WriteBytes(const char* data, DWORD count) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), data, count, &written, NULL);
}

/* Prints label, ": ", value and a line end, in UTF-8. */
static void Print(const char* label, const wchar_t* value) {
    int count = WideCharToMultiByte(CP_UTF8, 0, value, -1, bytes, (int)sizeof bytes, NULL, NULL);
    DWORD length = 0;
    while (label[length] != '\0') {
        ++length;
    }
    WriteBytes(label, length);
    WriteBytes(": ", 2);
    WriteBytes(bytes, count > 0 ? (DWORD)(count - 1) : 0);
    WriteBytes("\n", 1);
}

static void PrintNumber(const char* label, long long value) {
    wchar_t digits[24];
    wchar_t* start = digits + 23;
    unsigned long long magnitude =
        value < 0 ? 0ULL - (unsigned long long)value : (unsigned long long)value;
    *start = L'\0';
    do {
        *--start = (wchar_t)(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) {
        *--start = L'-';
    }
    Print(label, start);
}

static void Expect(KaCtrlStatus status, KaCtrlStatus expected, const char* call) {
    if (status != expected) {
        ++surprises;
        PrintNumber(call, status);
    }
}

static int Run(void) {
    int32_t value = 0, seconds = 0, microseconds = 0;
    uint32_t number = 0;
    size_t needed = 0;
    KaCtrlXmlWriter* writer = NULL;

    Expect(KaCtrlGetKacdStatus(&value), KACTRL_SUCCESS, "KaCtrlGetKacdStatus");
    PrintNumber("daemon status", value);
    Expect(KaCtrlReplaceDirVariables(L"$LogDir\\System.txt", text, UNITS, &needed), KACTRL_SUCCESS,
           "KaCtrlReplaceDirVariables");
    Print("log file", text);
    Expect(KaCtrlAvoidDuplicate(L" C:\\Tools;c:/tools ; D:\\Bin", text, UNITS, &needed),
           KACTRL_SUCCESS, "KaCtrlAvoidDuplicate");
    Print("path", text);
    Expect(KaCtrlGetLastErrorText(ERROR_FILE_NOT_FOUND, text, UNITS, &needed), KACTRL_SUCCESS,
           "KaCtrlGetLastErrorText");
    Print("error 2", text);

    /* The size first, then the answer: the Win32 way. */
    Expect(KaCtrlFormatName(L"kacd", NULL, 0, &needed), KACTRL_BUFFER_TOO_SMALL,
           "KaCtrlFormatName");
    PrintNumber("buffer too small, units needed", (long long)needed);
    Expect(KaCtrlFormatName(L"kacd", text, needed, &needed), KACTRL_SUCCESS, "KaCtrlFormatName");
    Print("name column", text);

    Expect(KaCtrlGetBooleanFromString(L"yes", &value), KACTRL_CONFIG_ERROR,
           "KaCtrlGetBooleanFromString");
    Expect(KaCtrlGetLastFailure(&number, text, UNITS, &needed), KACTRL_SUCCESS,
           "KaCtrlGetLastFailure");
    PrintNumber("failure number", number);
    Print("failure", text);

    Expect(KaCtrlCreateXmlWriter(&writer), KACTRL_SUCCESS, "KaCtrlCreateXmlWriter");
    Expect(KaCtrlXmlOpenTag(writer, L"kac", L"Status"), KACTRL_SUCCESS, "KaCtrlXmlOpenTag");
    Expect(KaCtrlWriteXMLIntegerTag(writer, L"Pid", 4711), KACTRL_SUCCESS,
           "KaCtrlWriteXMLIntegerTag");
    Expect(KaCtrlGetXmlDocument(writer, (char*)text, sizeof text, &needed), KACTRL_SUCCESS,
           "KaCtrlGetXmlDocument");
    KaCtrlFreeXmlWriter(writer);
    WriteBytes("document: ", 10);
    WriteBytes((const char*)text, (DWORD)(needed - 1));
    WriteBytes("\n", 1);

    Expect(KaCtrlGetTimeOfDay(&seconds, &microseconds), KACTRL_SUCCESS, "KaCtrlGetTimeOfDay");
    PrintNumber("seconds since 1970", seconds);
    return surprises;
}

void ConsumerEntry(void) {
    ExitProcess((UINT)Run());
}

int main(void) {
    return Run();
}
