// KaCtrlUtils: the utility library of the agent's control component (KaCtrlUtils.dll).
//
// Free functions of the namespace KaCtrl, exported under their decorated C++ names; link
// with the same runtime types (KaTek's String_t, URI_t, Command_t, XmlWriter_t). Arguments
// are borrowed for the call; results are returned by value and belong to the caller.
// There is no initialisation call: any function may be the first one called.
#pragma once

#include <windows.h>

#include <list>

#include "KaCtrl.h"
#include "KaLnk.h"
#include "KaTek.h"

#ifdef KACTRLUTILS_BUILD
#define KACTRLUTILS_API __declspec(dllexport)
#else
#define KACTRLUTILS_API __declspec(dllimport)
#endif

// Declared, not defined here: the definition comes from <winsock2.h> or from the older
// <winsock.h> that <windows.h> brings, and including either here would make the order of a
// caller's includes matter.
struct timeval;

namespace KaCtrl {

using KaTekCmd::Command_t;
using KaTekNet::URI_t;
using KaTekStr::String_t;
using KaTekXml::XmlWriter_t;

// ---- Daemon status ----------------------------------------------------------------------

// IsKacdRunning answers whether the control daemon is active and its server answers a ping
// at the default address; throws only what the runtime or the ping throws. The ping goes
// out through a client of the call's own, made from "lnk.http" in the name of the control
// tool; the process-wide client (KaLnkHttp::HttpClient::GetGlobalClient) is never replaced,
// not even for a moment, and concurrent calls never wait for one another.
KACTRLUTILS_API bool IsKacdRunning();
// GetKacdStatus answers 0 (answers at the default and the port-file address), 61 (only at
// the port-file address), 62 (not at the port-file address) or 63 (daemon not active);
// throws only what the runtime or the ping throws. Its two pings go out as IsKacdRunning's
// does, so a call takes its own two pings' time however many calls run at once.
KACTRLUTILS_API int GetKacdStatus();
// CreateLocalURI answers the local daemon's server address (https when the certificate is
// installed, the published port when there is one), or the empty URI when it cannot be
// parsed; throws only what the certificate test throws.
KACTRLUTILS_API URI_t CreateLocalURI();

// ---- Directories and configuration ----------------------------------------------------

// GetConfDir answers the control component's configuration directory, "<data>\conf\ctrl\";
// whatever the directory lookup throws reaches the caller.
KACTRLUTILS_API String_t GetConfDir();
// GetTmpDir answers the agent's temporary directory, "<data>\tmp\", ending in one separator;
// whatever the directory lookup throws reaches the caller.
KACTRLUTILS_API String_t GetTmpDir();
// GetKaSudo answers "KA_SUDO" of the namespace "ctrl.sudo" as written, or the empty text
// when it cannot be read; never throws.
KACTRLUTILS_API String_t GetKaSudo();
// GetKaCoreID answers "CORE_ID" of the namespace "sec.core"; throws IllegalStateError_t
// (catalog message 3) when it is absent, empty or cannot be read.
KACTRLUTILS_API String_t GetKaCoreID();
// GetBooleanFromString answers "true" or "false" in any letter case; throws
// IllegalStateError_t (catalog message 1, the text as argument) for any other text.
KACTRLUTILS_API bool GetBooleanFromString(const String_t& value);
// ReplaceDirVariables answers text with each directory variable ("$KaBinDir", "$LogDir" and
// 34 more) replaced by its directory less one trailing separator and "$KA_SUDO" by the sudo
// text (unless empty or two double quotes), names in ascending order, then backslashes made
// slashes; other "$" names stay. A value holding its own name replaces the occurrences the
// text held before that name's turn once each, never searching inserted values for it.
// Directory lookup failures reach the caller even for a text naming no variable.
// Bound: the values inserted in all may have at most N x (longest value) + 1,048,576 units,
// N being the number of "$" in the text but at most its length / 7 (the shortest name's
// length), and the result at most String_t's limit of 0xFFFFFFFE units. Every replacement in
// which no value forms or holds a name stays within that, however long its result. Where
// values keep forming names again with the text around them, the call throws
// std::length_error as soon as the next value would pass the bound, before taking its
// memory, whether or not the replacing would end. Time and memory are linear in the length
// of the text and of the values inserted.
KACTRLUTILS_API String_t ReplaceDirVariables(String_t text);

// ---- Child-process environment --------------------------------------------------------

// SetEnvPath puts every attribute of "ctrl.env" into command's environment; for a null
// command into the process's environment instead, with "LANG" (in any letter case, as the
// platform compares environment names) setting the locale (a locale the platform does not
// know changes nothing). An entry that cannot be set whole (an empty
// name, '=' or NUL in the name, NUL in the value, or in the process a value of 32,767
// characters or more) throws RuntimeError_t naming the variable, the entries before it set;
// the runtime's exceptions reach the caller.
KACTRLUTILS_API void SetEnvPath(Command_t command);
// AppendEnvVariable answers the cleaned value of the last variable it extended by
// "ctrl.env.append" (append true) or "ctrl.env.prepend", or the empty text; each value is
// also set in command, or in the process for a null command. Names compare as the platform
// compares environment names, letter case ignored: "PATH" (also "Path") is never extended,
// and a variable's base value in "ctrl.env" is found however its name is written there. An entry
// that cannot be set whole throws as in SetEnvPath; the runtime's exceptions reach the caller.
KACTRLUTILS_API String_t AppendEnvVariable(bool append, Command_t command);
// AvoidDuplicate answers the ";" list with slashes for backslashes, entries trimmed and
// each kept once, first occurrence first (compared without letter case); throws nothing
// of its own.
KACTRLUTILS_API String_t AvoidDuplicate(String_t list);

// ---- Process and service control ------------------------------------------------------

// TerminateApp stops process pid: it signals the event "com.trelm.ka." + name + ".stop",
// waits up to timeout ms (-1: no limit) for the process to end, then terminates it with
// exit code 0. Answers 0 when it ended by itself (or the thread's last-error code is 87
// at the end), 1 when it was terminated, -1 when it cannot be opened or terminated. A process
// that refuses to be terminated gets 1 s more: one already exiting ends within it, and is
// answered 0. The stop event is found by its plain name, else under "Global\"; a process
// that wants to be stopped gently creates it granting EVENT_MODIFY_STATE to the accounts that
// stop it (Administrators and SYSTEM, say): an event the caller may not signal counts as
// none, and the process is terminated at once.
KACTRLUTILS_API int TerminateApp(unsigned long pid, int timeout, const String_t& name);
// GetServiceControlHandle answers a handle on the service serviceName for starting,
// stopping, pausing, continuing, interrogating and user controls, which the caller closes with
// CloseServiceHandle; null (with the thread's last-error code set) when it cannot be opened.
KACTRLUTILS_API SC_HANDLE GetServiceControlHandle(char* serviceName);
// SendServiceControlSignal sends control to service; answers 0 when the service control
// manager accepted it, 64 otherwise.
KACTRLUTILS_API int SendServiceControlSignal(SC_HANDLE service, unsigned long control);
// SetDebugPrivilege enables "SeDebugPrivilege" in the process token for the rest of the
// process's life; answers 0 when it is enabled, 64 when it cannot be (also when the token
// does not hold it).
KACTRLUTILS_API int SetDebugPrivilege();
// RunningAsAdministrator answers whether the token the calling thread acts with (its
// impersonation token, else the process token) holds the Administrators group enabled, as
// CheckTokenMembership counts it: an administrator whose token UAC filtered holds the group
// for deny only, can do nothing an administrator can, and is answered false. False on every
// failure.
KACTRLUTILS_API bool RunningAsAdministrator();
// GetUXSignalFromName answers the signal number of name; this platform names no signals,
// so it is always 0. Never fails.
KACTRLUTILS_API int GetUXSignalFromName(const String_t& name);

// ---- Text, XML and files --------------------------------------------------------------

// WriteXMLStringTag writes <kac:tag>value</kac:tag>, or nothing at all when value is empty;
// whatever the writer throws reaches the caller.
KACTRLUTILS_API void WriteXMLStringTag(const XmlWriter_t& writer, const String_t& tag,
                                       const String_t& value);
// WriteXMLBoolTag writes <kac:tag> holding "true" or "false"; whatever the writer throws
// reaches the caller.
KACTRLUTILS_API void WriteXMLBoolTag(const XmlWriter_t& writer, const String_t& tag, bool value);
// WriteXMLIntegerTag writes <kac:tag> holding value in signed decimal; whatever the writer
// throws reaches the caller.
KACTRLUTILS_API void WriteXMLIntegerTag(const XmlWriter_t& writer, const String_t& tag, int value);
// WriteXMLCatalog writes <kac:tag> holding the children kac:CatalogID and kac:MsgNumber, or
// nothing at all when either is empty; whatever the writer throws reaches the caller.
KACTRLUTILS_API void WriteXMLCatalog(const XmlWriter_t& writer, const String_t& tag,
                                     const String_t& catalogId, const String_t& msgNumber);
// FormatName answers text padded with spaces to 11 characters, a longer text unchanged;
// fails only for lack of memory.
KACTRLUTILS_API String_t FormatName(const String_t& text);
// FormatDescription answers text padded with spaces to 35 characters, a longer text
// unchanged; fails only for lack of memory.
KACTRLUTILS_API String_t FormatDescription(const String_t& text);
// FormatCategory answers text padded with spaces to 12 characters, a longer text unchanged;
// fails only for lack of memory.
KACTRLUTILS_API String_t FormatCategory(const String_t& text);
// FormatPID answers text padded with spaces to 8 characters, a longer text unchanged; fails
// only for lack of memory.
KACTRLUTILS_API String_t FormatPID(const String_t& text);
// GetLastErrorText answers the system's message for code less the line end it closes with
// (a message without one loses nothing), then " (<code>)" in unsigned decimal; insert
// sequences such as "%1" stay as written. A code the system has no message for gives "N/A ".
KACTRLUTILS_API String_t GetLastErrorText(unsigned long code);
// gettimeofday fills tv with the seconds since 1970 (the low 32 bits) and the microseconds,
// whole milliseconds, and answers 0; answers -1 for a null tv. tz is ignored.
KACTRLUTILS_API int gettimeofday(timeval* tv, void* tz);
// FileNameToURI answers fileName with each backslash turned into "/" and, when
// escapeSpaces, each space into "%20", up to the first NUL; nothing else is escaped or added.
// Fails only for lack of memory.
KACTRLUTILS_API String_t FileNameToURI(const String_t& fileName, bool escapeSpaces);
// ReverseSlashes answers path with each "/" up to the first NUL turned into a backslash;
// fails only for lack of memory.
KACTRLUTILS_API String_t ReverseSlashes(const String_t& path);
// GetFilesInDir answers dir + "/" + name for each entry of dir whose name ends in suffix,
// in the order the directory lister gives them. A directory that cannot be listed is
// logged to the control log (catalog message 2) and answers the entries found before.
KACTRLUTILS_API std::list<String_t> GetFilesInDir(const String_t& dir, const char* suffix);

} // namespace KaCtrl
