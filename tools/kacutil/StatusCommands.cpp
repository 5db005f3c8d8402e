// status and uri: is the control daemon there, does it answer, and at which address.
#include "Kacutil.h"

#include "Holders.h"

#include <optional>

namespace Kacutil {

namespace {

// What the library answered, as far as it got before a call threw.
struct DaemonAnswers {
    int status = -1;
    std::optional<bool> running;
    String_t address;
    std::optional<KaTekMsg::MessageList_t> failure;
};

// What the service control manager and the object namespace show, for the table: the
// library folds both into one status code, and an operator wants to see which one spoke.
struct DaemonFacts {
    std::string serviceState = "absent";
    std::string servicePid = "-";
    bool mutexPresent = false;
};

const char kServiceName[] = "KaCtrl";
const wchar_t kMutexName[] = L"KaCtrlMutexObject";

std::string StateName(DWORD state) {
    switch (state) {
    case SERVICE_STOPPED:
        return "stopped";
    case SERVICE_START_PENDING:
        return "starting";
    case SERVICE_STOP_PENDING:
        return "stopping";
    case SERVICE_RUNNING:
        return "running";
    case SERVICE_CONTINUE_PENDING:
        return "continuing";
    case SERVICE_PAUSE_PENDING:
        return "pausing";
    case SERVICE_PAUSED:
        return "paused";
    default:
        return "state " + std::to_string(state);
    }
}

void ReadServiceFacts(DaemonFacts& facts) {
    KaHold::unique_service manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    KaHold::unique_service service;
    if (manager) {
        service.reset(::OpenServiceA(manager.get(), kServiceName, SERVICE_QUERY_STATUS));
    }
    SERVICE_STATUS_PROCESS status{};
    DWORD size = 0;
    if (!service ||
        !::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO,
                                reinterpret_cast<BYTE*>(&status), sizeof status, &size)) {
        return;
    }
    facts.serviceState = StateName(status.dwCurrentState);
    if (status.dwProcessId != 0) {
        facts.servicePid = std::to_string(status.dwProcessId);
    }
}

DaemonFacts ReadFacts() {
    DaemonFacts facts;
    ReadServiceFacts(facts);
    KaHold::unique_handle mutex(::OpenMutexW(SYNCHRONIZE, FALSE, kMutexName));
    // A mutex we may not open is still there.
    facts.mutexPresent = mutex || ::GetLastError() == ERROR_ACCESS_DENIED;
    return facts;
}

DaemonAnswers AskLibrary() {
    DaemonAnswers answers;
    try {
        answers.status = KaCtrl::GetKacdStatus();
        answers.running = KaCtrl::IsKacdRunning();
        answers.address = KaCtrl::CreateLocalURI().GetText();
    } catch (const KaTekMsg::Exception_t& error) {
        answers.failure = error.GetMessageList();
    }
    return answers;
}

std::string Meaning(int status) {
    switch (status) {
    case 0:
        return "active, answers at the default and at the port-file address";
    case 61:
        return "active, answers only at the port-file address";
    case 62:
        return "active, no answer at the port-file address";
    case 63:
        return "not active: service not starting, running or stopping, and no mutex";
    default:
        return "unknown";
    }
}

String_t Row(const String_t& name, const String_t& description, const String_t& category,
             const String_t& pid) {
    return KaCtrl::FormatName(name) + KaCtrl::FormatDescription(description) +
           KaCtrl::FormatCategory(category) + KaCtrl::FormatPID(pid);
}

void PrintTable(const DaemonAnswers& answers, const DaemonFacts& facts) {
    Print(Row("Name", "Description", "State", "PID"));
    Print(Row(kServiceName, "service of the control daemon kacd", facts.serviceState.c_str(),
              facts.servicePid.c_str()));
    Print(Row("mutex", "KaCtrlMutexObject", facts.mutexPresent ? "present" : "absent", "-"));
    Print("");
    if (answers.status >= 0) {
        Print("Status   " + std::to_string(answers.status) + ": " + Meaning(answers.status));
    }
    if (answers.running) {
        Print(std::string("Running  ") + (*answers.running ? "true" : "false") + ": the server " +
              (*answers.running ? "answers" : "does not answer") + " at the default address");
    }
    if (answers.failure) {
        return;
    }
    Print("Address  " + Narrow(answers.address.IsEmpty() ? String_t("(none)") : answers.address));
}

void WriteFailure(const KaTekXml::XmlWriter_t& writer, const KaTekMsg::MessageList_t& failure) {
    for (const KaTekMsg::Message_t& message : failure.GetMessages()) {
        KaCtrl::WriteXMLCatalog(writer, "Failure", message.GetCatalogId(),
                                KaTekStr::NumToStr(message.GetNumber()));
    }
    KaCtrl::WriteXMLStringTag(writer, "FailureText", failure.Format(KaTekMsg::FMT_LINES));
}

void PrintXml(const DaemonAnswers& answers) {
    KaTekXml::XmlWriter_t writer;
    writer.StartDocument();
    writer.OpenTag("kac", "KacdStatus");
    if (answers.status >= 0) {
        KaCtrl::WriteXMLIntegerTag(writer, "StatusCode", answers.status);
        KaCtrl::WriteXMLStringTag(writer, "Meaning", Meaning(answers.status).c_str());
    }
    if (answers.running) {
        KaCtrl::WriteXMLBoolTag(writer, "Running", *answers.running);
    }
    KaCtrl::WriteXMLStringTag(writer, "Address", answers.address);
    if (answers.failure) {
        WriteFailure(writer, *answers.failure);
    }
    writer.EndDocument();
    PrintRaw(writer.GetDocument() + "\n");
}

int RunStatus(const Args& args) {
    if (args.size() > 1 || (args.size() == 1 && args[0] != L"--xml")) {
        throw UsageError("unexpected argument '" + Narrow(args.back()) + "'");
    }
    DaemonAnswers answers = AskLibrary();
    if (args.empty()) {
        PrintTable(answers, ReadFacts());
    } else {
        PrintXml(answers);
    }
    if (answers.failure) {
        throw KaTekMsg::Exception_t(*answers.failure);
    }
    return answers.status;
}

int RunUri(const Args& args) {
    ExpectCount(args, 0);
    KaTekNet::URI_t uri = KaCtrl::CreateLocalURI();
    if (uri.IsEmpty()) {
        throw Failure("no address: the port file names a port the address cannot hold");
    }
    Print(uri.GetText());
    return kExitOk;
}

} // namespace

std::vector<Command> StatusCommands() {
    return {
        {"status", "[--xml]",
         "whether the control daemon is active and answers (GetKacdStatus, IsKacdRunning, "
         "CreateLocalURI)",
         "Prints a table of the service KaCtrl (state, process id) and the mutex\n"
         "KaCtrlMutexObject, then the status code with its meaning, whether the server\n"
         "answers at the default address, and the local address. --xml writes the same\n"
         "answers as an XML document under the prefix \"kac\" instead, with a Failure\n"
         "element (CatalogID, MsgNumber) per message when the library throws.\n"
         "exit codes: the status code itself:\n"
         "  0   active, answers at the default and at the port-file address\n"
         "  61  active, answers only at the port-file address\n"
         "  62  active, no answer at the port-file address\n"
         "  63  not active (service not starting, running or stopping, and no mutex)\n"
         "  1   the library threw (for instance a port file naming a port above 65535)\n"
         "  2   usage\n",
         RunStatus},
        {"uri", "", "the local daemon's server address (CreateLocalURI)",
         "Prints https when the node's certificate is installed, and the port of the port\n"
         "file kacd.port in the temporary directory when there is one.\n"
         "exit codes: 0 printed; 1 no address could be built; 2 usage.\n",
         RunUri},
    };
}

} // namespace Kacutil
