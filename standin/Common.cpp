#include "Common.h"

#include "SystemMessage.h"

#include <sddl.h>

#include <cstdio>
#include <cwchar>
#include <iterator>

namespace Standin {

std::string Narrow(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                     nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                              size, nullptr, nullptr);
    }
    return result;
}

Outcome Outcome::LastError(const char* what, const std::wstring& subject) {
    const DWORD code = ::GetLastError();
    return {code, what + Narrow(subject)};
}

Outcome GrantToAdministratorsAndSystem(DWORD access, ObjectSecurity& security) {
    wchar_t mask[16];
    std::swprintf(mask, std::size(mask), L"0x%lX", access);
    const std::wstring sddl = std::wstring(L"D:(A;;") + mask + L";;;BA)(A;;" + mask + L";;;SY)";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                &descriptor, nullptr)) {
        return Outcome::LastError("cannot make the security descriptor ", sddl);
    }
    security.descriptor.reset(descriptor);
    security.attributes.lpSecurityDescriptor = descriptor;
    return Outcome::Success();
}

// The system's text for a code, without the full stop the line would end in twice, or ""
// when it has none; in UTF-8 like the rest of the line.
static std::string FormatSystemText(DWORD code) {
    std::string text = Narrow(KaCommon::ReadSystemMessage(code));
    while (!text.empty() && (text.back() == ' ' || text.back() == '.')) {
        text.pop_back();
    }
    return text;
}

std::string Describe(const Outcome& outcome) {
    std::string text = outcome.what;
    std::string system = FormatSystemText(outcome.code);
    if (!system.empty()) {
        text += ": " + system;
    }
    return text + " (error " + std::to_string(outcome.code) + ")";
}

int Report(const Outcome& outcome) {
    std::fprintf(stderr, "kacd-standin: %s\n", Describe(outcome).c_str());
    std::fflush(stderr);
    return 1;
}

} // namespace Standin
