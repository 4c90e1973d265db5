// The XHTML writer of the staging report: one document under construction
// at a time, built as a tree of nested xelement calls over the host's XML
// service and written pretty-printed as UTF-8.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "host/lisp/object.h"

namespace vtm::analytics {

struct xattribute {
  std::optional<std::string> name;
  std::optional<std::string> value;
};

// What xelement applies to the new element, in argument order: a text, a
// child element, an attribute, or a list of child elements. std::monostate is
// the item that is left out (an optional part that evaluated to nothing).
using xitem =
    std::variant<std::monostate, std::string, host::lisp::ref, xattribute, std::vector<host::lisp::ref>>;

// Starts a new document with its root "html" element, dropping any document
// still under construction; returns the root.
host::lisp::ref make_xdocument();
host::lisp::ref xelement(std::string_view name, std::initializer_list<xitem> items = {});
host::lisp::ref xelement(std::string_view name, const std::vector<xitem>& items);
// Writes the current document to path and empties the writer's state.
void save_xdocument(const std::filesystem::path& path);

// Lisp: the structure XATTRIBUTE and MAKE-XDOCUMENT, XELEMENT, SAVE-XDOCUMENT.
void define_vt_xhtml();

}  // namespace vtm::analytics
