/* KaCtrlUtilsC: the utility library of the agent's control component for any compiler and
 * any language (KaCtrlUtilsC.dll), a flat C interface over KaCtrlUtils.dll.
 *
 * Every function answers a KaCtrlStatus; its answers go to the out parameters, which must
 * not be null. No exception crosses this interface and no input crashes it: a null pointer
 * where a text or an out parameter belongs answers KACTRL_INVALID_ARGUMENT.
 *
 * Texts in are NUL-ended UTF-16 and borrowed for the call. Texts out go to a buffer the
 * caller owns, by the Win32 sizing convention: `needed` receives how many units the answer
 * takes, its ending NUL included; when `size` is less (a null buffer with size 0 asks the
 * size alone), the call answers KACTRL_BUFFER_TOO_SMALL and writes nothing but `needed`.
 * On success `needed` holds the units written, NUL included; on any other failure, 0.
 * Memory is never handed across: a handle made here is freed by its function here.
 *
 * A failed call keeps its failure's text, and a number (the catalog message's number for
 * KACTRL_CONFIG_ERROR, the Win32 error code for KACTRL_PLATFORM_ERROR, else 0), for the
 * calling thread until its next failed call: KaCtrlGetLastFailure reads them. There is no
 * initialisation call: any function may be the first one called. */
#ifndef KACTRLUTILSC_H
#define KACTRLUTILSC_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#include <windows.h>

#ifdef KACTRLUTILSC_BUILD
#define KACTRLC_API __declspec(dllexport)
#else
#define KACTRLC_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t KaCtrlStatus;
enum {
    KACTRL_SUCCESS = 0,
    KACTRL_INVALID_ARGUMENT = 1, /* a null pointer, or a text the call cannot take as it is */
    KACTRL_BUFFER_TOO_SMALL = 2, /* `needed` says how many units the answer takes */
    KACTRL_CONFIG_ERROR = 3,     /* the library refused with a catalog message */
    KACTRL_TOO_LONG = 4,         /* a text or result past its stated bound */
    KACTRL_OUT_OF_MEMORY = 5,
    KACTRL_PLATFORM_ERROR = 6 /* a system call failed; its Win32 error code is kept */
};

/* KaCtrlGetLastFailure answers the calling thread's last failure: its number into *number
 * (which may be null) and its text into text, "<catalog>(<number>): <text>" for a catalog
 * message. A thread with no failure yet answers 0 and the empty text. Reading never changes
 * the failure kept, not even when the buffer is too small. */
KACTRLC_API KaCtrlStatus KaCtrlGetLastFailure(uint32_t* number, wchar_t* text, size_t size,
                                              size_t* needed);

/* ---- Daemon status ------------------------------------------------------------------ */

/* KaCtrlIsKacdRunning answers 1 when the control daemon is active and its server answers a
 * ping at the default address, else 0. Concurrent calls never wait for one another. */
KACTRLC_API KaCtrlStatus KaCtrlIsKacdRunning(int32_t* running);
/* KaCtrlGetKacdStatus answers 0 (answers at the default and the port-file address), 61
 * (only at the port-file address), 62 (not at the port-file address) or 63 (not active). */
KACTRLC_API KaCtrlStatus KaCtrlGetKacdStatus(int32_t* status);
/* KaCtrlCreateLocalURI answers the local daemon's server address, or the empty text when
 * it cannot be parsed. */
KACTRLC_API KaCtrlStatus KaCtrlCreateLocalURI(wchar_t* uri, size_t size, size_t* needed);

/* ---- Directories and configuration ------------------------------------------------- */

/* KaCtrlGetConfDir answers the control component's configuration directory,
 * "<data>\conf\ctrl\". */
KACTRLC_API KaCtrlStatus KaCtrlGetConfDir(wchar_t* dir, size_t size, size_t* needed);
/* KaCtrlGetTmpDir answers the agent's temporary directory, "<data>\tmp\". */
KACTRLC_API KaCtrlStatus KaCtrlGetTmpDir(wchar_t* dir, size_t size, size_t* needed);
/* KaCtrlGetKaSudo answers "KA_SUDO" of the namespace "ctrl.sudo" as written, or the empty
 * text when it cannot be read. */
KACTRLC_API KaCtrlStatus KaCtrlGetKaSudo(wchar_t* sudo, size_t size, size_t* needed);
/* KaCtrlGetKaCoreID answers "CORE_ID" of the namespace "sec.core"; KACTRL_CONFIG_ERROR
 * (catalog message 3) when it is absent, empty or cannot be read. */
KACTRLC_API KaCtrlStatus KaCtrlGetKaCoreID(wchar_t* coreId, size_t size, size_t* needed);
/* KaCtrlGetBooleanFromString answers 1 for "true" and 0 for "false", in any letter case;
 * KACTRL_CONFIG_ERROR (catalog message 1) for any other text. */
KACTRLC_API KaCtrlStatus KaCtrlGetBooleanFromString(const wchar_t* value, int32_t* result);
/* KaCtrlReplaceDirVariables answers text with each directory variable ("$KaBinDir",
 * "$LogDir" and 34 more) replaced by its directory less one trailing separator and
 * "$KA_SUDO" by the sudo text, then backslashes made slashes, within the bound that
 * KaCtrlUtils.h states; KACTRL_TOO_LONG where values keep forming names past it. */
KACTRLC_API KaCtrlStatus KaCtrlReplaceDirVariables(const wchar_t* text, wchar_t* result,
                                                   size_t size, size_t* needed);

/* ---- Child-process environment ----------------------------------------------------- */

/* A child's environment: a copy of the calling process's environment at the moment it is
 * made, changed only by the calls given it, for CreateProcessW. */
typedef struct KaCtrlEnvironment KaCtrlEnvironment;

/* KaCtrlCreateEnvironment makes a child's environment; free it with KaCtrlFreeEnvironment. */
KACTRLC_API KaCtrlStatus KaCtrlCreateEnvironment(KaCtrlEnvironment** environment);
/* KaCtrlFreeEnvironment frees environment; a null one is left alone. */
KACTRLC_API void KaCtrlFreeEnvironment(KaCtrlEnvironment* environment);
/* KaCtrlGetEnvironmentBlock answers environment as the block CreateProcessW takes with
 * CREATE_UNICODE_ENVIRONMENT: "name=value" entries sorted as the platform sorts them, each
 * ended by a NUL, and one NUL more; `needed` counts every unit of it. */
KACTRLC_API KaCtrlStatus KaCtrlGetEnvironmentBlock(const KaCtrlEnvironment* environment,
                                                   wchar_t* block, size_t size, size_t* needed);
/* KaCtrlSetEnvPath puts every attribute of "ctrl.env" into environment, or into the calling
 * process's environment for a null one (where "LANG" also sets the locale). An entry that
 * cannot be set whole answers KACTRL_CONFIG_ERROR naming the variable, the entries before it
 * set. */
KACTRLC_API KaCtrlStatus KaCtrlSetEnvPath(KaCtrlEnvironment* environment);
/* KaCtrlAppendEnvVariable extends the variables of "ctrl.env.append" (append 1) or
 * "ctrl.env.prepend" (append 0) in environment, or in the calling process for a null one,
 * and answers the cleaned value of the last one it extended, or the empty text. The
 * variables are set before the answer is written: a buffer too small loses the answer, not
 * the change, and a second call extends the values once more. */
KACTRLC_API KaCtrlStatus KaCtrlAppendEnvVariable(int32_t append, KaCtrlEnvironment* environment,
                                                 wchar_t* lastValue, size_t size, size_t* needed);
/* KaCtrlAvoidDuplicate answers the ";" list with slashes for backslashes, entries trimmed and
 * each kept once, first occurrence first, compared without letter case. */
KACTRLC_API KaCtrlStatus KaCtrlAvoidDuplicate(const wchar_t* list, wchar_t* result, size_t size,
                                              size_t* needed);

/* ---- Process and service control --------------------------------------------------- */

/* KaCtrlTerminateApp stops process pid as KaCtrlUtils.h's TerminateApp states: it signals
 * "com.trelm.ka." + name + ".stop", waits up to timeout ms (-1: no limit), then terminates
 * it. *result is 0 (it ended by itself), 1 (terminated) or -1 (cannot be opened or ended). */
KACTRLC_API KaCtrlStatus KaCtrlTerminateApp(uint32_t pid, int32_t timeout, const wchar_t* name,
                                            int32_t* result);
/* KaCtrlGetServiceControlHandle answers a handle on the service serviceName for starting,
 * stopping, pausing, continuing, interrogating and user controls, which the caller closes
 * with CloseServiceHandle; KACTRL_PLATFORM_ERROR with the open's error code and a null
 * handle when it cannot be opened. Service names reach the system in the ANSI code page: a
 * name that code page cannot hold exactly answers KACTRL_INVALID_ARGUMENT. */
KACTRLC_API KaCtrlStatus KaCtrlGetServiceControlHandle(const wchar_t* serviceName,
                                                       SC_HANDLE* service);
/* KaCtrlSendServiceControlSignal sends control to service; *result is 0 when the service
 * control manager accepted it, 64 otherwise (the thread's last-error code then says why). */
KACTRLC_API KaCtrlStatus KaCtrlSendServiceControlSignal(SC_HANDLE service, uint32_t control,
                                                        int32_t* result);
/* KaCtrlSetDebugPrivilege enables "SeDebugPrivilege" in the process token; *result is 0
 * when it is enabled, 64 when it cannot be. */
KACTRLC_API KaCtrlStatus KaCtrlSetDebugPrivilege(int32_t* result);
/* KaCtrlRunningAsAdministrator answers 1 when the calling thread's token holds the
 * Administrators group enabled, else 0 (also on every failure to find out). */
KACTRLC_API KaCtrlStatus KaCtrlRunningAsAdministrator(int32_t* result);
/* KaCtrlGetUXSignalFromName answers the signal number of name: this platform names no
 * signals, so always 0. */
KACTRLC_API KaCtrlStatus KaCtrlGetUXSignalFromName(const wchar_t* name, int32_t* signal);

/* ---- Text, XML and files ----------------------------------------------------------- */

/* An XML document being written: the XML declaration, then elements. */
typedef struct KaCtrlXmlWriter KaCtrlXmlWriter;

/* KaCtrlCreateXmlWriter starts a document; free it with KaCtrlFreeXmlWriter. */
KACTRLC_API KaCtrlStatus KaCtrlCreateXmlWriter(KaCtrlXmlWriter** writer);
/* KaCtrlFreeXmlWriter frees writer; a null one is left alone. */
KACTRLC_API void KaCtrlFreeXmlWriter(KaCtrlXmlWriter* writer);
/* KaCtrlXmlOpenTag opens <prefix:name> (<name> for an empty prefix), a root element for the
 * tag writers, say; KaCtrlXmlCloseTag closes the element last opened. A name XML does not
 * allow, a second root or a close with none open answers KACTRL_CONFIG_ERROR. */
KACTRLC_API KaCtrlStatus KaCtrlXmlOpenTag(KaCtrlXmlWriter* writer, const wchar_t* prefix,
                                          const wchar_t* name);
KACTRLC_API KaCtrlStatus KaCtrlXmlCloseTag(KaCtrlXmlWriter* writer);
/* KaCtrlWriteXMLStringTag writes <kac:tag>value</kac:tag>, or nothing at all when value is
 * empty. */
KACTRLC_API KaCtrlStatus KaCtrlWriteXMLStringTag(KaCtrlXmlWriter* writer, const wchar_t* tag,
                                                 const wchar_t* value);
/* KaCtrlWriteXMLBoolTag writes <kac:tag> holding "true" (value not 0) or "false". */
KACTRLC_API KaCtrlStatus KaCtrlWriteXMLBoolTag(KaCtrlXmlWriter* writer, const wchar_t* tag,
                                               int32_t value);
/* KaCtrlWriteXMLIntegerTag writes <kac:tag> holding value in signed decimal. */
KACTRLC_API KaCtrlStatus KaCtrlWriteXMLIntegerTag(KaCtrlXmlWriter* writer, const wchar_t* tag,
                                                  int32_t value);
/* KaCtrlWriteXMLCatalog writes <kac:tag> holding kac:CatalogID and kac:MsgNumber, or nothing
 * at all when either is empty. */
KACTRLC_API KaCtrlStatus KaCtrlWriteXMLCatalog(KaCtrlXmlWriter* writer, const wchar_t* tag,
                                               const wchar_t* catalogId, const wchar_t* msgNumber);
/* KaCtrlGetXmlDocument closes every element still open and answers the document in UTF-8:
 * size and needed count bytes here, the ending NUL included. The document is then whole,
 * and a tag written after it would be a second root. */
KACTRLC_API KaCtrlStatus KaCtrlGetXmlDocument(KaCtrlXmlWriter* writer, char* document, size_t size,
                                              size_t* needed);

/* KaCtrlFormatName, KaCtrlFormatDescription, KaCtrlFormatCategory and KaCtrlFormatPID answer
 * text padded with spaces to 11, 35, 12 and 8 characters, a longer text unchanged. */
KACTRLC_API KaCtrlStatus KaCtrlFormatName(const wchar_t* text, wchar_t* result, size_t size,
                                          size_t* needed);
KACTRLC_API KaCtrlStatus KaCtrlFormatDescription(const wchar_t* text, wchar_t* result, size_t size,
                                                 size_t* needed);
KACTRLC_API KaCtrlStatus KaCtrlFormatCategory(const wchar_t* text, wchar_t* result, size_t size,
                                              size_t* needed);
KACTRLC_API KaCtrlStatus KaCtrlFormatPID(const wchar_t* text, wchar_t* result, size_t size,
                                         size_t* needed);
/* KaCtrlGetLastErrorText answers the system's message for code less its line end, then
 * " (<code>)"; "N/A " for a code the system has no message for. */
KACTRLC_API KaCtrlStatus KaCtrlGetLastErrorText(uint32_t code, wchar_t* text, size_t size,
                                                size_t* needed);
/* KaCtrlGetTimeOfDay answers the seconds since 1970 (the low 32 bits) and the microseconds,
 * whole milliseconds. */
KACTRLC_API KaCtrlStatus KaCtrlGetTimeOfDay(int32_t* seconds, int32_t* microseconds);
/* KaCtrlFileNameToURI answers fileName with each backslash turned into "/" and, when
 * escapeSpaces is not 0, each space into "%20"; nothing else is escaped or added. */
KACTRLC_API KaCtrlStatus KaCtrlFileNameToURI(const wchar_t* fileName, int32_t escapeSpaces,
                                             wchar_t* uri, size_t size, size_t* needed);
/* KaCtrlReverseSlashes answers path with each "/" turned into a backslash. */
KACTRLC_API KaCtrlStatus KaCtrlReverseSlashes(const wchar_t* path, wchar_t* result, size_t size,
                                              size_t* needed);
/* KaCtrlGetFilesInDir answers dir + "/" + name for each entry of dir whose name ends in
 * suffix, in the lister's order, as a list in the form of REG_MULTI_SZ: each name ended by a
 * NUL, and one NUL more (two NULs for no name); `needed` counts every unit of it. A
 * directory that cannot be listed is logged and answers the names found before. The suffix
 * is matched in the ANSI code page: one it cannot hold exactly answers
 * KACTRL_INVALID_ARGUMENT. */
KACTRLC_API KaCtrlStatus KaCtrlGetFilesInDir(const wchar_t* dir, const wchar_t* suffix,
                                             wchar_t* names, size_t size, size_t* needed);

#ifdef __cplusplus
}
#endif

#endif /* KACTRLUTILSC_H */
