// The facts behind "kacutil status" and their rendering as the table, the answer lines and
// the JSON document, apart from the platform calls that gather them.
#pragma once

#include "Json.h"

#include <optional>
#include <string>
#include <vector>

namespace Kacutil {

// How far kacutil's own look at the service "KaCtrl" got, asking the rights with which the
// library's presence probe ends up (the manager for reading, the service for status queries).
enum class ServiceFound {
    Absent,    // the manager knows no such service
    Denied,    // the service may not be opened even for status queries
    NotOpened, // the manager or the service could not be opened for another reason
    Unqueried, // opened, but its status could not be queried
    Queried,   // opened and queried: state and process id hold
};

struct ServiceFacts {
    ServiceFound found = ServiceFound::NotOpened;
    unsigned long state = 0;     // SERVICE_STATUS's dwCurrentState, when queried
    unsigned long processId = 0; // 0 when the service has no process
};

struct MutexFacts {
    bool present = false;
    std::string name; // the name it was found under, or its plain name
};

struct DaemonFacts {
    ServiceFacts service;
    MutexFacts mutex;
};

// What the library answered, as far as it got before a call threw (failed).
struct DaemonAnswers {
    std::optional<int> status;
    std::optional<bool> running;
    std::optional<std::string> address; // UTF-8; none when empty or not reached
    bool failed = false;
};

// FindStatusMeaning answers what a status code of GetKacdStatus means; "unknown" for others.
std::string FindStatusMeaning(int status);
// StatusCodeHelp answers one help line per status code: "  63  not active: ...".
std::string StatusCodeHelp();

// One row of the table: Name, Description, State, PID.
using TableRow = std::vector<std::string>;
// RenderStatusTable answers the heading and the rows of the service and the mutex.
std::vector<TableRow> RenderStatusTable(const DaemonFacts& facts);
// RenderAnswerLines answers the lines below the table: Status, Running and Address as far as the
// library answered, and a Note where the table shows a mutex the library did not count.
std::vector<std::string> RenderAnswerLines(const DaemonAnswers& answers, const DaemonFacts& facts);
// RenderStatusJson answers the same as one document, null for what is missing.
Json RenderStatusJson(const DaemonAnswers& answers, const DaemonFacts& facts);

} // namespace Kacutil
