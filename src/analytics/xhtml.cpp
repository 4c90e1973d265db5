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
