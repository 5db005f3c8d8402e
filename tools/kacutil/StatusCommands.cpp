// status and uri: is the control daemon there, does it answer, and at which address.
#include "Kacutil.h"
#include "StatusReport.h"

#include "AgentNames.h"
#include "Holders.h"

namespace Kacutil {

namespace {

// ReadServiceFacts answers what kacutil's own look at the service finds. It asks the rights
// the library's presence probe ends up with: the manager for reading, the service for status
// queries alone (which the probe falls back to when it may not control the service), so
// that the table shows what the library judged from.
ServiceFacts ReadServiceFacts() {
    ServiceFacts facts;
    KaHold::unique_service manager(::OpenSCManagerA(nullptr, nullptr, GENERIC_READ));
    if (!manager) {
        return facts;
    }
    KaHold::unique_service service(
        ::OpenServiceA(manager.get(), KaAgent::kServiceName, SERVICE_QUERY_STATUS));
    DWORD error = ::GetLastError();
    if (!service) {
        facts.found = error == ERROR_SERVICE_DOES_NOT_EXIST ? ServiceFound::Absent
                      : error == ERROR_ACCESS_DENIED        ? ServiceFound::Denied
                                                            : ServiceFound::NotOpened;
        return facts;
    }
    SERVICE_STATUS_PROCESS status{};
    DWORD size = 0;
    facts.found = ServiceFound::Unqueried;
    if (::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO,
                               reinterpret_cast<BYTE*>(&status), sizeof status, &size)) {
        facts.found = ServiceFound::Queried;
        facts.state = status.dwCurrentState;
        facts.processId = status.dwProcessId;
    }
    return facts;
}

// ReadMutexFacts answers whether the daemon's mutex is there, judged as the library judges
// it: under its own name, then under "Global\", where a service's objects live; a mutex the
// caller may not open exists all the same. SYNCHRONIZE, the least right that opens a mutex,
// opens it wherever the library's MUTEX_ALL_ACCESS-then-SYNCHRONIZE does.
MutexFacts ReadMutexFacts() {
    for (std::string name : {std::string(KaAgent::kMutexName),
                             std::string(KaAgent::kGlobalNamespace) + KaAgent::kMutexName}) {
        KaHold::unique_handle mutex(::OpenMutexA(SYNCHRONIZE, FALSE, name.c_str()));
        DWORD error = ::GetLastError();
        if (mutex || error == ERROR_ACCESS_DENIED) {
            return {true, name};
        }
    }
    return {false, KaAgent::kMutexName};
}

DaemonAnswers AskLibrary(std::optional<KaTekMsg::MessageList_t>& failure) {
    DaemonAnswers answers;
    try {
        answers.status = KaCtrl::GetKacdStatus();
        answers.running = KaCtrl::IsKacdRunning();
        String_t address = KaCtrl::CreateLocalURI().GetText();
        if (!address.IsEmpty()) {
            answers.address = Utf8(address);
        }
    } catch (const KaTekMsg::Exception_t& error) {
        failure = error.GetMessageList();
        answers.failed = true;
    }
    return answers;
}

void PrintTable(const DaemonAnswers& answers, const DaemonFacts& facts) {
    for (const TableRow& row : RenderStatusTable(facts)) {
        Print(KaCtrl::FormatName(FromUtf8(row[0])) + KaCtrl::FormatDescription(FromUtf8(row[1])) +
              KaCtrl::FormatCategory(FromUtf8(row[2])) + KaCtrl::FormatPID(FromUtf8(row[3])));
    }
    Print("");
    for (const std::string& line : RenderAnswerLines(answers, facts)) {
        Print(line);
    }
}

void WriteFailure(const KaTekXml::XmlWriter_t& writer, const KaTekMsg::MessageList_t& failure) {
    for (const KaTekMsg::Message_t& message : failure.GetMessages()) {
        KaCtrl::WriteXMLCatalog(writer, "Failure", message.GetCatalogId(),
                                KaTekStr::NumToStr(message.GetNumber()));
    }
    KaCtrl::WriteXMLStringTag(writer, "FailureText", failure.Format(KaTekMsg::FMT_LINES));
}

void PrintXml(const DaemonAnswers& answers, const std::optional<KaTekMsg::MessageList_t>& failure) {
    KaTekXml::XmlWriter_t writer;
    writer.StartDocument();
    writer.OpenTag("kac", "KacdStatus");
    if (answers.status) {
        KaCtrl::WriteXMLIntegerTag(writer, "StatusCode", *answers.status);
        KaCtrl::WriteXMLStringTag(writer, "Meaning", FromUtf8(FindStatusMeaning(*answers.status)));
    }
    if (answers.running) {
        KaCtrl::WriteXMLBoolTag(writer, "Running", *answers.running);
    }
    KaCtrl::WriteXMLStringTag(writer, "Address", FromUtf8(answers.address.value_or("")));
    if (failure) {
        WriteFailure(writer, *failure);
    }
    writer.EndDocument();
    PrintText(writer.GetDocument() + "\n");
}

int RunStatus(const Args& given) {
    auto [args, json] = DataRequest(given);
    bool xml = !args.empty() && args[0] == L"--xml";
    if (args.size() > (xml ? 1u : 0u)) {
        throw UsageError("unexpected argument " + Quoted(args.back()));
    }
    if (xml && json) {
        throw UsageError("--xml and --json exclude each other");
    }
    std::optional<KaTekMsg::MessageList_t> failure;
    DaemonAnswers answers = AskLibrary(failure);
    if (xml) {
        PrintXml(answers, failure);
    } else {
        DaemonFacts facts{ReadServiceFacts(), ReadMutexFacts()};
        if (json) {
            PrintJson(RenderStatusJson(answers, facts));
        } else {
            PrintTable(answers, facts);
        }
    }
    if (failure) {
        throw KaTekMsg::Exception_t(*failure);
    }
    return *answers.status;
}

int RunUri(const Args& given) {
    auto [args, json] = DataRequest(given);
    ExpectCount(args, 0);
    KaTekNet::URI_t uri = KaCtrl::CreateLocalURI();
    if (uri.IsEmpty()) {
        throw Failure("no address: the port file names a port the address cannot hold");
    }
    std::string address = Utf8(uri.GetText());
    ShowAnswer(address, {{"address", address}}, json);
    return kExitOk;
}

} // namespace

std::vector<Command> StatusCommands() {
    return {
        {"status", "[--xml | --json]",
         "whether the control daemon is active and answers (GetKacdStatus, IsKacdRunning, "
         "CreateLocalURI)",
         "Prints a table of the service KaCtrl (state, process id) and the mutex\n"
         "KaCtrlMutexObject, then the status code with its meaning, whether the server\n"
         "answers at the default address, and the local address.\n"
         "The table is kacutil's own look, just after the library's calls, with the rights\n"
         "and names the library's presence probe uses: the service opened for status\n"
         "queries; the mutex under its name, then under Global\\, one that may not be opened\n"
         "counting as present. The library asks for the mutex only when it can open the\n"
         "service; a Note says so when the table shows a mutex the library did not count.\n"
         "--xml writes the library's answers as an XML document under the prefix \"kac\"\n"
         "instead, with a Failure element (CatalogID, MsgNumber) per message when the\n"
         "library throws. --json writes the table and the answers as one JSON object, null\n"
         "for what the library did not answer.\n"
         "exit codes: the status code itself:\n" +
             StatusCodeHelp() +
             "  1   the library threw (for instance a port file naming a port above 65535)\n"
             "  2   usage\n",
         RunStatus},
        {"uri", "[--json]", "the local daemon's server address (CreateLocalURI)",
         "Prints https when the node's certificate is installed, and the port of the port\n"
         "file kacd.port in the temporary directory when there is one.\n"
         "--json writes {\"address\": ADDRESS}.\n"
         "exit codes: 0 printed; 1 no address could be built; 2 usage.\n",
         RunUri},
    };
}

} // namespace Kacutil
