// KaTek runtime: XML output.
//
// XmlWriter_t writes a UTF-8 document, to a std::ostream it borrows or to its own text.
// Its operations are const: copies share one document state. OpenTag(prefix, name)
// opens <prefix:name> (<name> for an empty prefix); the first element that uses a prefix
// declares it as xmlns:prefix="urn:trelm:prefix", so the output is namespace-well-formed.
// Data escapes &, <, > and the quotes; characters XML cannot carry (controls other than
// tab, CR, LF, and lone surrogates) become U+FFFD. CloseTag closes the element last
// opened; CloseTag with none open, an element name XML does not allow, character data
// outside the root element, or a second root element raises RuntimeError_t, so that the
// output stays well-formed.
#pragma once

#include "KaTek/Str.h"

#include <iosfwd>
#include <memory>
#include <string>

namespace KaTekXml {

using KaTekStr::String_t;

class KATEK_API XmlWriter_t {
public:
    XmlWriter_t();                           // writes into its own text (GetDocument)
    explicit XmlWriter_t(std::ostream& out); // writes to out, which must outlive the writer

    void StartDocument() const; // the XML declaration
    void OpenTag(const String_t& prefix, const String_t& name) const;
    void Data(const String_t& text) const;
    void CloseTag() const;
    void EndDocument() const; // closes every open element and flushes

    std::string GetDocument() const; // the UTF-8 text written so far (own text only)

private:
    struct State;
    std::shared_ptr<State> state_;
};

} // namespace KaTekXml
