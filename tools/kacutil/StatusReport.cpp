// The status table, its answer lines and its JSON document, from the facts gathered.
#include "StatusReport.h"

#include "AgentNames.h"
#include "ServiceState.h"

namespace Kacutil {

namespace {

const struct {
    int code;
    const char* meaning;
} kStatusCodes[] = {
    {0, "active, answers at the default and at the port-file address"},
    {61, "active, answers only at the port-file address"},
    {62, "active, no answer at the port-file address"},
    {63, "not active: service not starting, running or stopping, and no mutex"},
};

std::string ServiceState(const ServiceFacts& service) {
    switch (service.found) {
    case ServiceFound::Absent:
        return "absent";
    case ServiceFound::Denied:
        return "no access";
    case ServiceFound::Queried:
        return KaService::NameServiceState(service.state);
    default:
        return "unknown";
    }
}

bool HasProcess(const ServiceFacts& service) {
    return service.found == ServiceFound::Queried && service.processId != 0;
}

// The library asks for the mutex only once it has opened the service.
bool MutexUncounted(const DaemonFacts& facts) {
    ServiceFound found = facts.service.found;
    return facts.mutex.present && found != ServiceFound::Queried &&
           found != ServiceFound::Unqueried;
}

const char kUncountedNote[] = "the library asks for the mutex only when it can open the service";

} // namespace

std::string FindStatusMeaning(int status) {
    for (const auto& entry : kStatusCodes) {
        if (entry.code == status) {
            return entry.meaning;
        }
    }
    return "unknown";
}

std::string StatusCodeHelp() {
    std::string lines;
    for (const auto& entry : kStatusCodes) {
        std::string code = std::to_string(entry.code);
        lines += "  " + code + std::string(4 - code.size(), ' ') + entry.meaning + "\n";
    }
    return lines;
}

std::vector<TableRow> RenderStatusTable(const DaemonFacts& facts) {
    const ServiceFacts& service = facts.service;
    return {
        {"Name", "Description", "State", "PID"},
        {KaAgent::kServiceName, "service of the control daemon kacd", ServiceState(service),
         HasProcess(service) ? std::to_string(service.processId) : "-"},
        {"mutex", facts.mutex.name, facts.mutex.present ? "present" : "absent", "-"},
    };
}

std::vector<std::string> RenderAnswerLines(const DaemonAnswers& answers, const DaemonFacts& facts) {
    std::vector<std::string> lines;
    if (answers.status) {
        lines.push_back("Status   " + std::to_string(*answers.status) + ": " +
                        FindStatusMeaning(*answers.status));
    }
    if (answers.running) {
        lines.push_back(std::string("Running  ") + (*answers.running ? "true" : "false") +
                        ": the server " + (*answers.running ? "answers" : "does not answer") +
                        " at the default address");
    }
    if (!answers.failed) {
        lines.push_back("Address  " + answers.address.value_or("(none)"));
    }
    if (MutexUncounted(facts)) {
        lines.push_back(std::string("Note     ") + kUncountedNote);
    }
    return lines;
}

Json RenderStatusJson(const DaemonAnswers& answers, const DaemonFacts& facts) {
    const ServiceFacts& service = facts.service;
    Json json;
    json["service"] = {{"name", KaAgent::kServiceName},
                       {"state", ServiceState(service)},
                       {"pid", HasProcess(service) ? Json(service.processId) : Json()}};
    json["mutex"] = {{"name", facts.mutex.name},
                     {"state", facts.mutex.present ? "present" : "absent"}};
    json["status"] = answers.status ? Json(*answers.status) : Json();
    json["meaning"] = answers.status ? Json(FindStatusMeaning(*answers.status)) : Json();
    json["running"] = answers.running ? Json(*answers.running) : Json();
    json["address"] = answers.address ? Json(*answers.address) : Json();
    json["note"] = MutexUncounted(facts) ? Json(kUncountedNote) : Json();
    return json;
}

} // namespace Kacutil
