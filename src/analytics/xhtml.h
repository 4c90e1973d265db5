// The XHTML writer of the staging report: one document under construction
// at a time, built as a tree of nested xelement calls over the host's XML
// service and written pretty-printed as UTF-8.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <optional>
#include <ostream>
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

// Writes a document element by element, byte for byte as save_xdocument
// writes the same tree, for pages too large to hold as a tree: an element is
// opened with its attributes, given its text before its children, and
// closed. Texts and attribute values are made valid as xelement makes them.
class xhtml_stream {
 public:
  // Writes the XML declaration and opens the root "html".
  explicit xhtml_stream(std::ostream& out);
  xhtml_stream(const xhtml_stream&) = delete;
  xhtml_stream& operator=(const xhtml_stream&) = delete;

  void open(std::string_view name, std::initializer_list<xattribute> attributes = {});
  // The text of the element just opened; an empty one is none.
  void text(std::string_view text);
  void close();
  // An element holding only its text.
  void element(std::string_view name, std::string_view text);
  // Closes what is open, the root last.
  void finish();

 private:
  // The element opened last is to get content: its start tag is ended and
  // its text written.
  void start_content();
  void line_break();

  std::ostream& out_;
  std::vector<std::string> open_;
  bool tag_open_ = false;     // "<name attributes" written, not yet ">"
  std::string pending_text_;  // of the element whose tag is open
  bool indent_ = true;        // the next tag starts a line of its own
};

// Lisp: the structure XATTRIBUTE and MAKE-XDOCUMENT, XELEMENT, SAVE-XDOCUMENT.
void define_vt_xhtml();

}  // namespace vtm::analytics
