// Internal: which loopback address a ping goes to, decided from what each address answered
// to a connection attempt of its own. No platform call, so that the rule is tested with tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace KaLnkCb {

// What one address has answered so far.
enum class Reach { Pending, Accepted, Refused };

// What to do next: wait for more answers, send to the address at index, or give up.
struct Choice {
    enum Verdict { Wait, Use, Refused, TimedOut } verdict;
    size_t index = 0;
};

// ChooseAddress picks, in the resolver's order, the first address that did not refuse,
// once it has accepted: an earlier address still pending is waited for while time is left,
// so the order the resolver prefers holds whenever every address answers in time. When the
// time is up, the first address that accepted is taken; none: timed out. Every address
// refused (or none was given): refused.
Choice ChooseAddress(const std::vector<Reach>& reaches, bool timeIsUp);

// WriteHostField answers the Host field a request to host and port carries when the URI names
// them: the port is left out where it is the scheme's default, as clients write it.
std::wstring WriteHostField(const std::wstring& host, uint16_t port, bool secure);

} // namespace KaLnkCb
