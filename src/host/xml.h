// The host's XML document service.
//
// Documents and elements are host handles. An element belongs to the
// document it was created in and stays unattached until it is added as a
// child or made the root; an element is attached at most once.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/lisp/object.h"

namespace host::oli {

host::lisp::ref sd_xml_create_document();
host::lisp::ref sd_xml_create_element(const host::lisp::ref& document, std::string_view name);
void sd_xml_document_set_root(const host::lisp::ref& document, const host::lisp::ref& element);
void sd_xml_element_add_child(const host::lisp::ref& parent, const host::lisp::ref& child);
void sd_xml_element_set_text(const host::lisp::ref& element, std::string_view text);
void sd_xml_element_set_attribute(const host::lisp::ref& element, std::string_view name,
                                  std::string_view value);
bool sd_xml_element_p(const host::lisp::ref& value);

// Writes the document as UTF-8 (the only encoding the service writes), with
// an XML declaration; pretty-printed: child elements on lines of their own,
// indented by depth. Signals the host's error naming the file when it cannot
// be written.
void sd_xml_write_file(const host::lisp::ref& document, std::string_view file, bool pretty_print,
                       std::string_view encoding);
// Reads a document; NIL when the file is missing or not well-formed XML.
host::lisp::ref sd_xml_read_file(std::string_view file);
// The same for a document held in memory; NIL when it is not well-formed.
host::lisp::ref sd_xml_read_string(std::string_view text);
// Drops the service's references to the documents it made or read; handles
// still held stay valid.
void sd_xml_clear_cache();
std::size_t sd_xml_cached_document_count();

host::lisp::ref sd_xml_document_root(const host::lisp::ref& document);  // element or NIL
std::string sd_xml_element_name(const host::lisp::ref& element);
std::string sd_xml_element_text(const host::lisp::ref& element);
// The child elements in document order; only those named `name` when given.
std::vector<host::lisp::ref> sd_xml_element_children(const host::lisp::ref& element,
                                                     std::string_view name = {});
// The attribute's value, NIL when the element has none of that name.
host::lisp::ref sd_xml_element_attribute(const host::lisp::ref& element, std::string_view name);

}  // namespace host::oli
