#include "analytics/xhtml.h"

#include <utf8.h>

#include <iterator>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "host/lisp/structures.h"
#include "host/xml.h"

namespace vtm::analytics {

using namespace host::lisp;
namespace oli = host::oli;

namespace {

struct writer_state {
  ref document;
  ref root;
};

writer_state& state() {
  static writer_state s;
  return s;
}

// Text that XML 1.0 can hold whatever a name holds: a byte that is no
// UTF-8 becomes U+FFFD, a control character its picture (U+2401 for code 1).
std::string xml_text(std::string_view text) {
  std::string valid;
  utf8::replace_invalid(text.begin(), text.end(), std::back_inserter(valid));
  std::string out;
  out.reserve(valid.size());
  for (const char c : valid) {
    const auto code = static_cast<unsigned char>(c);
    if (code < 32 && c != '\t' && c != '\n' && c != '\r')
      utf8::append(static_cast<char32_t>(0x2400 + code), std::back_inserter(out));
    else
      out += c;
  }
  return out;
}

template <class Items>
ref build_element(std::string_view name, const Items& items) {
  ref element = oli::sd_xml_create_element(state().document, name);
  for (const xitem& item : items) {
    if (const auto* text = std::get_if<std::string>(&item)) {
      oli::sd_xml_element_set_text(element, xml_text(*text));
    } else if (const auto* child = std::get_if<ref>(&item)) {
      if (oli::sd_xml_element_p(*child)) oli::sd_xml_element_add_child(element, *child);
    } else if (const auto* attribute = std::get_if<xattribute>(&item)) {
      oli::sd_xml_element_set_attribute(element, attribute->name.value_or(""),
                                        xml_text(attribute->value.value_or("")));
    } else if (const auto* children = std::get_if<std::vector<ref>>(&item)) {
      for (const ref& c : *children) oli::sd_xml_element_add_child(element, c);
    }
  }
  return element;
}

const struct_type& xattribute_type() {
  static const struct_type& type = [&]() -> const struct_type& {
    package& p = require_package("VANTREL-MIGRATOR");
    return define_struct(intern("XATTRIBUTE", p), {&intern("NAME", p), &intern("VALUE", p)});
  }();
  return type;
}

std::optional<std::string> optional_string(const ref& value) {
  if (is_nil(value)) return std::nullopt;
  return as_string(value);
}

// A Lisp content item, by the rules of XELEMENT; anything else is ignored.
xitem item_of(const ref& value) {
  if (stringp(value)) return as_string(value);
  if (oli::sd_xml_element_p(value)) return value;
  if (typep(value, xattribute_type())) {
    structure_obj& s = as_structure(value);
    return xattribute{optional_string(slot(s, "NAME")), optional_string(slot(s, "VALUE"))};
  }
  if (listp(value)) return list_to_vector(value);
  return std::monostate{};
}

}  // namespace

ref make_xdocument() {
  ref document = oli::sd_xml_create_document();
  state().document = document;
  ref root = oli::sd_xml_create_element(document, "html");
  oli::sd_xml_document_set_root(document, root);
  state().root = root;
  return root;
}

ref xelement(std::string_view name, std::initializer_list<xitem> items) { return build_element(name, items); }
ref xelement(std::string_view name, const std::vector<xitem>& items) { return build_element(name, items); }

void save_xdocument(const std::filesystem::path& path) {
  oli::sd_xml_write_file(state().document, path.string(), true, "UTF-8");
  oli::sd_xml_clear_cache();
  state() = {};
}

namespace {

// As the XML service escapes them: the characters special in XML, and a
// control character (none is left by xml_text but in an attribute value's
// tab and line breaks) as a character reference of at least two digits.
void write_escaped(std::ostream& out, std::string_view text, bool attribute) {
  // The runs between the characters escaped are written as they are.
  std::size_t from = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const auto code = static_cast<unsigned char>(c);
    const char* escaped = c == '&'                 ? "&amp;"
                          : c == '<'               ? "&lt;"
                          : c == '>' && !attribute ? "&gt;"
                          : c == '"' && attribute  ? "&quot;"
                                                   : nullptr;
    const bool control = !escaped && code < 32 && (attribute || (c != '\t' && c != '\n' && c != '\r'));
    if (!escaped && !control) continue;
    out.write(text.data() + from, std::streamsize(i - from));
    from = i + 1;
    if (escaped)
      out << escaped;
    else
      out << "&#" << char('0' + code / 10) << char('0' + code % 10) << ';';
  }
  out.write(text.data() + from, std::streamsize(text.size() - from));
}

}  // namespace

xhtml_stream::xhtml_stream(std::ostream& out) : out_(out) {
  out_ << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
  open("html");
}

void xhtml_stream::line_break() {
  if (indent_) out_ << '\n' << std::string(2 * open_.size(), ' ');
}

void xhtml_stream::start_content() {
  if (!tag_open_) return;
  out_ << '>';
  tag_open_ = false;
  if (!pending_text_.empty()) {
    write_escaped(out_, pending_text_, false);
    pending_text_.clear();
    // After a text, the children follow on its line.
    indent_ = false;
  }
}

void xhtml_stream::open(std::string_view name, std::initializer_list<xattribute> attributes) {
  start_content();
  line_break();
  out_ << '<' << name;
  for (const xattribute& a : attributes) {
    out_ << ' ' << a.name.value_or("") << "=\"";
    write_escaped(out_, xml_text(a.value.value_or("")), true);
    out_ << '"';
  }
  open_.emplace_back(name);
  tag_open_ = true;
  indent_ = true;
}

void xhtml_stream::text(std::string_view text) { pending_text_ = xml_text(text); }

void xhtml_stream::close() {
  const std::string name = std::move(open_.back());
  open_.pop_back();
  if (tag_open_) {
    if (pending_text_.empty()) {
      out_ << " />";
    } else {
      out_ << '>';
      write_escaped(out_, pending_text_, false);
      out_ << "</" << name << '>';
      pending_text_.clear();
    }
    tag_open_ = false;
  } else {
    line_break();
    out_ << "</" << name << '>';
  }
  indent_ = true;
}

void xhtml_stream::element(std::string_view name, std::string_view text) {
  open(name);
  this->text(text);
  close();
}

void xhtml_stream::finish() {
  while (!open_.empty()) close();
  out_ << '\n';
}

void define_vt_xhtml() {
  package& p = require_package("VANTREL-MIGRATOR");
  xattribute_type();
  defun("MAKE-XDOCUMENT", p, [](args_t args) {
    check_argument_count("MAKE-XDOCUMENT", args, 1, 1);  // the root is "html" whatever it names
    return make_xdocument();
  });
  defun("XELEMENT", p, [](args_t args) {
    check_argument_count("XELEMENT", args, 1, any_count);
    std::vector<xitem> items;
    for (std::size_t i = 1; i < args.size(); ++i) items.push_back(item_of(args[i]));
    return xelement(as_string(args[0]), items);
  });
  defun("SAVE-XDOCUMENT", p, [](args_t args) {
    check_argument_count("SAVE-XDOCUMENT", args, 1, 1);
    save_xdocument(to_path(args[0]));
    return nil();
  });
}

}  // namespace vtm::analytics
