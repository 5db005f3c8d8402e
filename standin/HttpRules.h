// What the stand-in's HTTP server decides without the platform: where a request head ends,
// what it asks for, how its fields go into the request log, what the answer is, and which
// connection a newcomer replaces when every slot is taken. Standard types only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Standin {

struct Request {
    std::string method;
    std::string target;
    std::string userAgent;
};

// FindHeadEnd answers where a request head ends: just after its first empty line, where a line
// ends with LF, with or without a CR before it, as lenient servers read it; npos while the
// head is incomplete.
size_t FindHeadEnd(const std::string& buffer);

// ParseHead answers the method and target of a head's request line (split at single blanks)
// and its last User-Agent field (name without letter case, value without surrounding blanks
// and tabs); empty where the head has none.
Request ParseHead(const std::string& head);

// EscapeField answers field as printable text on one line: each control byte written \xHH and each
// backslash doubled, so that no request can end a log line early or fake the tab between fields.
std::string EscapeField(const std::string& field);

// ExtractPath answers the path of a request target, in origin form or absolute form, without its
// query or fragment.
std::string ExtractPath(const std::string& target);

// BuildAnswer answers the whole response to request: 200 for GET or POST of pingPath, else 404;
// either closes the connection.
std::string BuildAnswer(const Request& request, const std::string& pingPath);

// What a connection is doing: reading its client's head, holding it without an answer
// (--silent), writing the answer, waiting for the client to close, or closed.
enum class Phase { Reading, Holding, Writing, Draining, Closed };

struct ConnectionView {
    Phase phase;
    uint64_t lastHeard; // tick count when the client last connected or sent something
};

// ChooseEvicted answers the index of the connection a newcomer replaces, so that idle clients
// holding every slot cannot starve a ping: a closed one first, then the one heard from longest
// ago among those reading or holding, then among those waiting for their client to close;
// npos when every connection is writing its answer.
size_t ChooseEvicted(const std::vector<ConnectionView>& connections);

} // namespace Standin
