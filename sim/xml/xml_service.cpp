// The XML document service on pugixml. Elements are kept as a tree of our
// own until a document is written: the service hands out elements before
// they are attached, which a pugixml tree cannot hold.
#include <memory>
#include <pugixml.hpp>
#include <sstream>

#include "host/lisp/errors.h"
#include "host/lisp/eval.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "host/xml.h"
#include "lisp/fail.h"
#include "lisp/runtime.h"

namespace host::oli {

using namespace host::lisp;

namespace {

constexpr std::string_view document_kind = "XML-DOCUMENT";
constexpr std::string_view element_kind = "XML::XML-ELEMENT-STRUCT";

struct xml_document;

struct xml_element {
  const xml_document* document = nullptr;
  std::string name;
  std::string text;
  std::vector<std::pair<std::string, std::string>> attributes;
  std::vector<std::shared_ptr<xml_element>> children;
  bool attached = false;
};

struct xml_document {
  std::shared_ptr<xml_element> root;
};

std::vector<std::shared_ptr<xml_document>>& cache() {
  static std::vector<std::shared_ptr<xml_document>> documents;
  return documents;
}

std::shared_ptr<xml_document> document_of(const ref& r) {
  return handle_target<xml_document>(r, document_kind);
}
std::shared_ptr<xml_element> element_of(const ref& r) { return handle_target<xml_element>(r, element_kind); }

ref element_handle(std::shared_ptr<xml_element> e) {
  return make_handle(std::string(element_kind), std::move(e));
}

ref new_document() {
  auto doc = std::make_shared<xml_document>();
  cache().push_back(doc);
  return make_handle(std::string(document_kind), doc);
}

void attach(xml_element& child, const xml_document* document) {
  if (child.document != document)
    fail("The XML element ~A belongs to another document.", make_string(child.name));
  if (child.attached) fail("The XML element ~A is already attached.", make_string(child.name));
  child.attached = true;
}

void build(pugi::xml_node parent, const xml_element& e) {
  pugi::xml_node node = parent.append_child(e.name.c_str());
  for (const auto& [name, value] : e.attributes) node.append_attribute(name.c_str()).set_value(value.c_str());
  if (!e.text.empty()) node.append_child(pugi::node_pcdata).set_value(e.text.c_str());
  for (const auto& child : e.children) build(node, *child);
}

std::shared_ptr<xml_element> convert(const pugi::xml_node& node, const xml_document* document) {
  auto e = std::make_shared<xml_element>();
  e->document = document;
  e->name = node.name();
  e->attached = true;
  for (const pugi::xml_attribute& a : node.attributes()) e->attributes.emplace_back(a.name(), a.value());
  for (const pugi::xml_node& child : node.children()) {
    if (child.type() == pugi::node_element)
      e->children.push_back(convert(child, document));
    else if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
      e->text += child.value();
  }
  return e;
}

}  // namespace

ref sd_xml_create_document() { return new_document(); }

ref sd_xml_create_element(const ref& document, std::string_view name) {
  auto e = std::make_shared<xml_element>();
  e->document = document_of(document).get();
  e->name = std::string(name);
  return element_handle(std::move(e));
}

void sd_xml_document_set_root(const ref& document, const ref& element) {
  auto doc = document_of(document);
  auto e = element_of(element);
  attach(*e, doc.get());
  if (doc->root) doc->root->attached = false;
  doc->root = std::move(e);
}

void sd_xml_element_add_child(const ref& parent, const ref& child) {
  auto p = element_of(parent);
  auto c = element_of(child);
  if (p == c) fail("An XML element cannot be its own child: ~A", make_string(p->name));
  attach(*c, p->document);
  p->children.push_back(std::move(c));
}

void sd_xml_element_set_text(const ref& element, std::string_view text) { element_of(element)->text = text; }

void sd_xml_element_set_attribute(const ref& element, std::string_view name, std::string_view value) {
  auto e = element_of(element);
  for (auto& [n, v] : e->attributes)
    if (n == name) {
      v = value;
      return;
    }
  e->attributes.emplace_back(name, value);
}

bool sd_xml_element_p(const ref& value) {
  return is(value, tag::handle) && static_cast<const handle_obj&>(*value).kind == element_kind;
}

void sd_xml_write_file(const ref& document, std::string_view file, bool pretty_print,
                       std::string_view encoding) {
  if (!encoding.empty() && encoding != "UTF-8" && encoding != "utf-8")
    fail("The XML service writes UTF-8 only, not ~A.", make_string(encoding));
  auto doc = document_of(document);
  if (!doc->root) fail("The XML document for ~A has no root element.", make_string(file));
  pugi::xml_document out;
  pugi::xml_node decl = out.append_child(pugi::node_declaration);
  decl.append_attribute("version") = "1.0";
  decl.append_attribute("encoding") = "UTF-8";
  build(out, *doc->root);
  const unsigned flags = pretty_print ? pugi::format_indent : pugi::format_raw;
  if (!out.save_file(std::string(file).c_str(), "  ", flags, pugi::encoding_utf8))
    fail("Cannot write the XML file ~A", make_string(file));
}

namespace {

ref read_document(const pugi::xml_document& in) {
  ref handle = new_document();
  auto doc = document_of(handle);
  if (pugi::xml_node root = in.document_element()) doc->root = convert(root, doc.get());
  return handle;
}

}  // namespace

ref sd_xml_read_file(std::string_view file) {
  pugi::xml_document in;
  if (!in.load_file(std::string(file).c_str())) return nil();
  return read_document(in);
}

ref sd_xml_read_string(std::string_view text) {
  pugi::xml_document in;
  if (!in.load_buffer(text.data(), text.size())) return nil();
  return read_document(in);
}

void sd_xml_clear_cache() { cache().clear(); }
std::size_t sd_xml_cached_document_count() { return cache().size(); }

ref sd_xml_document_root(const ref& document) {
  auto doc = document_of(document);
  return doc->root ? element_handle(doc->root) : nil();
}

std::string sd_xml_element_name(const ref& element) { return element_of(element)->name; }
std::string sd_xml_element_text(const ref& element) { return element_of(element)->text; }

std::vector<ref> sd_xml_element_children(const ref& element, std::string_view name) {
  std::vector<ref> children;
  for (const auto& child : element_of(element)->children)
    if (name.empty() || child->name == name) children.push_back(element_handle(child));
  return children;
}

ref sd_xml_element_attribute(const ref& element, std::string_view name) {
  for (const auto& [n, v] : element_of(element)->attributes)
    if (n == name) return make_string(v);
  return nil();
}

namespace {

void define(std::string_view name, std::size_t min, std::size_t max, native_fn fn) {
  package& oli = require_package("OLI");
  symbol& s = intern(name, oli);
  export_symbol(s, oli);
  defun(s, [n = std::string(name), min, max, fn = std::move(fn)](args_t args) {
    check_argument_count(n, args, min, max);
    return fn(args);
  });
}

const builtins_registration reg([] {
  define("SD-XML-CREATE-DOCUMENT", 0, 0, [](args_t) { return sd_xml_create_document(); });
  define("SD-XML-CREATE-ELEMENT", 2, 2,
         [](args_t a) { return sd_xml_create_element(a[0], string_designator(a[1])); });
  define("SD-XML-DOCUMENT-SET-ROOT", 2, 2, [](args_t a) {
    sd_xml_document_set_root(a[0], a[1]);
    return a[1];
  });
  define("SD-XML-ELEMENT-ADD-CHILD", 2, 2, [](args_t a) {
    sd_xml_element_add_child(a[0], a[1]);
    return a[1];
  });
  define("SD-XML-ELEMENT-SET-TEXT", 2, 2, [](args_t a) {
    sd_xml_element_set_text(a[0], as_string(a[1]));
    return a[1];
  });
  define("SD-XML-ELEMENT-SET-ATTRIBUTE", 3, 3, [](args_t a) {
    sd_xml_element_set_attribute(a[0], string_designator(a[1]), as_string(a[2]));
    return a[2];
  });
  define("SD-XML-WRITE-FILE", 2, any_count, [](args_t a) {
    keyword_args k("SD-XML-WRITE-FILE", a, 2, {"pretty-print", "encoding"});
    const ref encoding = k.get("encoding");
    sd_xml_write_file(a[0], namestring(a[1]), truthy(k.get("pretty-print")),
                      is_nil(encoding) ? "UTF-8" : as_string(encoding));
    return t();
  });
  define("SD-XML-READ-FILE", 1, 1, [](args_t a) { return sd_xml_read_file(namestring(a[0])); });
  define("SD-XML-CLEAR-CACHE", 0, 0, [](args_t) {
    sd_xml_clear_cache();
    return nil();
  });
  define("SD-XML-DOCUMENT-ROOT", 1, 1, [](args_t a) { return sd_xml_document_root(a[0]); });
  define("SD-XML-ELEMENT-NAME", 1, 1, [](args_t a) { return make_string(sd_xml_element_name(a[0])); });
  define("SD-XML-ELEMENT-TEXT", 1, 1, [](args_t a) { return make_string(sd_xml_element_text(a[0])); });
  define("SD-XML-ELEMENT-CHILDREN", 1, 2, [](args_t a) {
    return list_from(sd_xml_element_children(a[0], a.size() > 1 ? string_designator(a[1]) : std::string()));
  });
  define("SD-XML-ELEMENT-ATTRIBUTE", 2, 2,
         [](args_t a) { return sd_xml_element_attribute(a[0], string_designator(a[1])); });
});

}  // namespace

}  // namespace host::oli
