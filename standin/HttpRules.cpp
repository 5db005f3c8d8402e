#include "HttpRules.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>

namespace Standin {

namespace {

bool EqualsNoCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return i == a.size() && b[i] == '\0';
}

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) {
        return {};
    }
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

// The lines of a head, each without its line end.
std::vector<std::string> SplitHeadLines(const std::string& head) {
    std::vector<std::string> lines;
    for (size_t start = 0, lf = 0; lf != std::string::npos; start = lf + 1) {
        lf = head.find('\n', start);
        std::string line = head.substr(start, lf - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

// Lower ranks go first; writing connections never go.
int RankForEviction(Phase phase) {
    switch (phase) {
    case Phase::Closed:
        return 0;
    case Phase::Reading:
    case Phase::Holding:
        return 1;
    case Phase::Draining:
        return 2;
    default:
        return 3;
    }
}

} // namespace

size_t FindHeadEnd(const std::string& buffer) {
    for (size_t lf = buffer.find('\n'); lf != std::string::npos; lf = buffer.find('\n', lf + 1)) {
        size_t next = lf + 1 + (buffer.compare(lf + 1, 1, "\r") == 0 ? 1 : 0);
        if (buffer.compare(next, 1, "\n") == 0) {
            return next + 1;
        }
    }
    return std::string::npos;
}

Request ParseHead(const std::string& head) {
    std::vector<std::string> lines = SplitHeadLines(head);
    Request request;
    const std::string& requestLine = lines.front();
    size_t firstSpace = requestLine.find(' ');
    request.method = requestLine.substr(0, firstSpace);
    if (firstSpace != std::string::npos) {
        size_t secondSpace = requestLine.find(' ', firstSpace + 1);
        request.target = requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    }
    for (size_t i = 1; i < lines.size(); ++i) {
        size_t colon = lines[i].find(':');
        if (colon != std::string::npos && EqualsNoCase(lines[i].substr(0, colon), "User-Agent")) {
            request.userAgent = Trim(lines[i].substr(colon + 1));
        }
    }
    return request;
}

std::string EscapeField(const std::string& field) {
    std::string escaped;
    for (unsigned char c : field) {
        if (c == '\\') {
            escaped += "\\\\";
        } else if (c < 0x20 || c == 0x7F) {
            char code[5];
            std::snprintf(code, sizeof code, "\\x%02X", c);
            escaped += code;
        } else {
            escaped += static_cast<char>(c);
        }
    }
    return escaped;
}

std::string ExtractPath(const std::string& target) {
    size_t start = 0;
    size_t scheme = target.find("://");
    if (target.compare(0, 1, "/") != 0 && scheme != std::string::npos) {
        start = target.find('/', scheme + 3);
        if (start == std::string::npos) {
            return "/";
        }
    }
    return target.substr(start, target.find_first_of("?#", start) - start);
}

std::string BuildAnswer(const Request& request, const std::string& pingPath) {
    bool ping = (request.method == "GET" || request.method == "POST") &&
                ExtractPath(request.target) == pingPath;
    std::string status = ping ? "200 OK" : "404 Not Found";
    std::string body = ping ? "kacd stand-in: ok\n" : "not found\n";
    return "HTTP/1.1 " + status +
           "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

size_t ChooseEvicted(const std::vector<ConnectionView>& connections) {
    auto key = [](const ConnectionView& view) {
        return std::make_pair(RankForEviction(view.phase), view.lastHeard);
    };
    auto idlest = std::min_element(
        connections.begin(), connections.end(),
        [&](const ConnectionView& a, const ConnectionView& b) { return key(a) < key(b); });
    if (idlest == connections.end() || idlest->phase == Phase::Writing) {
        return std::string::npos;
    }
    return static_cast<size_t>(idlest - connections.begin());
}

} // namespace Standin
