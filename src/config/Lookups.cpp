// Small configuration questions: directories, the sudo text, the core identifier and
// boolean texts. Nothing is cached, so a changed configuration shows in the next call.
#include "KaCtrlUtils.h"
#include "outside/Outside.h"
#include "frame/Messages.h"

#include "AgentNames.h"

#include <algorithm>
#include <string>

namespace KaCtrl {

namespace {

String_t AskPathBelowData(const char* sub) {
    return Dir_t::Path(KaTekRuntime::DIR_DATA, String_t(sub));
}

String_t ReadAttribute(const char* nameSpace, const char* attribute) {
    Configuration_t configuration = ConfigNamespace_t(nameSpace).Open();
    return configuration.GetAttrValue(attribute);
}

// Whether text is word (lower-case ASCII letters) in any letter case, and nothing else.
bool EqualsAsciiIgnoringCase(const std::wstring& text, const std::wstring& word) {
    return std::equal(text.begin(), text.end(), word.begin(), word.end(),
                      [](wchar_t given, wchar_t letter) {
                          return given == letter || given == letter - L'a' + L'A';
                      });
}

} // namespace

String_t GetConfDir() {
    String_t separator(File_t::SeparatorChar());
    return AskPathBelowData("conf") + separator + "ctrl" + separator;
}

String_t GetTmpDir() {
    // Callers append a bare file name, so the separator is part of the answer.
    return AskPathBelowData("tmp") + String_t(File_t::SeparatorChar());
}

String_t GetKaSudo() {
    String_t sudo;
    try {
        sudo = ReadAttribute(KaAgent::kSudoNamespace, KaAgent::kSudoAttribute);
    } catch (...) {
        // No sudo text is a usable answer: callers then leave "$KA_SUDO" as written.
    }
    return sudo;
}

String_t GetKaCoreID() {
    String_t coreId;
    try {
        coreId = ReadAttribute(KaAgent::kCoreNamespace, KaAgent::kCoreAttribute);
    } catch (const Exception_t& caught) {
        RaiseWrapped(kErrorGettingCoreId, caught);
    }
    // Outside the guard, so that this error is not wrapped a second time.
    if (coreId.IsNull() || coreId.GetLength() == 0) {
        RaiseCatalogError(kErrorGettingCoreId, {String_t("")});
    }
    return coreId;
}

bool GetBooleanFromString(const String_t& value) {
    // Compared on the UTF-16 text itself: a narrow copy could turn look-alikes such as
    // fullwidth letters into ASCII ones, and a NUL would cut the text short.
    if (EqualsAsciiIgnoringCase(value.Std(), L"false")) {
        return false;
    }
    if (EqualsAsciiIgnoringCase(value.Std(), L"true")) {
        return true;
    }
    RaiseCatalogError(kNotABoolean, {value});
}

} // namespace KaCtrl
