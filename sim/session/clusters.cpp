// Clusters: names, type names, file names, time stamps, symbolic names,
// flags, load-as-version, layouts and attributes.
#include "host/clusters.h"

#include <algorithm>

#include "host/lisp/errors.h"
#include "host/lisp/packages.h"
#include "host/lisp/pathnames.h"
#include "host/model_tree.h"
#include "lisp/runtime.h"
#include "session/host_error.h"
#include "session/lisp_def.h"
#include "session/model.h"
#include "session/paths.h"

namespace {

using namespace host::lisp;
using namespace sim::session;

ref optional_string(const std::optional<std::string>& s) { return s ? make_string(*s) : nil(); }

// The carrier of an attribute: the entity itself, or for a model path its
// instance (:instance) or its contents (:contents, the default).
entity_ptr attribute_carrier(const ref& item, const ref& attachment) {
  entity_ptr e = require_entity(item);
  if (!host::elan::sel_item_p(item)) return e;
  bool instance = keywordp(attachment) && static_cast<symbol&>(*attachment).name == "INSTANCE";
  if (instance || !e->is_instance() || !e->d.contents) return e;
  return e->d.contents;
}

attribute* find_attribute(entity& e, std::string_view name) {
  for (auto& a : e.d.attributes)
    if (a.name == name) return &a;
  return nullptr;
}

}  // namespace

namespace host::frame2 {

ref inquire_cluster_filename(const ref& cluster) {
  return optional_string(require_entity(cluster)->d.filename);
}

void set_cluster_filename(const ref& cluster, std::string_view file_name) {
  entity_ptr e = require_entity(cluster);
  if (file_name.empty())
    e->d.filename.reset();
  else
    e->d.filename = std::string(file_name);
}

ref inquire_cluster_modification_time(const ref& cluster) {
  return make_double(require_entity(cluster)->d.timestamp);
}
ref sd_inq_cluster_symbolic_version(const ref& cluster) {
  return optional_string(require_entity(cluster)->d.symbolic_version);
}
ref sd_inq_cluster_symbolic_name(const ref& cluster) {
  return optional_string(require_entity(cluster)->d.symbolic_name);
}
void sd_set_cluster_symbolic_name(const ref& cluster, std::string_view name) {
  entity_ptr e = require_entity(cluster);
  if (name.empty())
    e->d.symbolic_name.reset();
  else
    e->d.symbolic_name = std::string(name);
}

bool real_cluster_p(const ref& cluster) {
  entity_ptr e = require_entity(cluster);
  if (e->is_contents()) return e->d.real;
  if (!e->is_instance()) return false;
  entity_ptr parent = e->d.parent.lock();
  return parent && parent == session::current().root_contents();
}

ref sd_inq_db_flags(const ref& cluster) { return require_entity(cluster)->d.db_flags; }
void sd_detach_db_flags(const ref& cluster) { require_entity(cluster)->d.db_flags = nil(); }

bool inquire_cluster_modifiable(const ref& cluster) { return require_entity(cluster)->d.modifiable; }
void set_cluster_modifiable(const ref& cluster, bool modifiable) {
  require_entity(cluster)->d.modifiable = modifiable;
}
bool inquire_cluster_modified(const ref& cluster) { return require_entity(cluster)->d.modified; }
void set_cluster_modified(const ref& cluster, bool modified) {
  require_entity(cluster)->d.modified = modified;
}

bool sd_inq_cluster_is_version(const ref& cluster) {
  return require_contents(cluster)->d.lav == lav_role::version;
}
ref get_original_of_version(const ref& cluster) {
  entity_ptr c = require_contents(cluster);
  entity_ptr o = c->d.lav == lav_role::version ? c->d.original.lock() : nullptr;
  return o ? o->handle() : nil();
}
void lav_make_original(const ref& cluster) {
  entity_ptr c = require_contents(cluster);
  c->d.lav = lav_role::original;
  c->d.original.reset();
}
void lav_make_version(const ref& cluster) { require_contents(cluster)->d.lav = lav_role::version; }
ref get_lav_group(const ref& cluster) { return optional_string(require_contents(cluster)->d.lav_group); }

ref global_master(const ref& instance) {
  entity_ptr e = entity_of(instance);
  if (!e || !e->is_instance() || !e->d.master) return nil();
  return e->d.master->handle();
}

}  // namespace host::frame2

namespace host::elan {

ref inquire_name(const ref& cluster) { return optional_string(require_entity(cluster)->d.name); }

void assign_name(const ref& cluster, std::string_view name) {
  entity_ptr e = require_entity(cluster);
  if (e->is_instance())
    if (entity_ptr parent = e->d.parent.lock())
      if (sibling_has_name(parent->d.children, name, e.get()))
        sim::host_command_failed(
            "ELAN", "NAME-IN-USE",
            "The name \"" + std::string(name) + "\" is already used by a sibling of " + e->describe() + ".");
  e->d.name = std::string(name);
  e->d.modified = true;
}

bool nparcel_p(const ref& entity) {
  entity_ptr e = entity_of(entity);
  return e && e->is_instance() && !host::elan::sel_item_p(entity);
}

}  // namespace host::elan

namespace host::dsm {
ref entity_name(const ref& entity) { return make_string(require_entity(entity)->d.type_name); }
}  // namespace host::dsm

namespace host::oli {

ref sd_inq_item_attribute(const ref& item, std::string_view name, const ref& attachment) {
  entity_ptr carrier = attribute_carrier(item, attachment);
  attribute* a = find_attribute(*carrier, name);
  return a ? a->values : nil();
}

void sd_attach_item_attribute(const ref& item, std::string_view name, const ref& values,
                              const ref& attachment) {
  entity_ptr carrier = attribute_carrier(item, attachment);
  if (attribute* a = find_attribute(*carrier, name))
    a->values = values;
  else
    carrier->d.attributes.push_back({std::string(name), values});
  carrier->d.modified = true;
}

bool sd_detach_item_attribute(const ref& item, std::string_view name, const ref& attachment,
                              bool set_modified) {
  entity_ptr carrier = attribute_carrier(item, attachment);
  auto& attributes = carrier->d.attributes;
  auto it =
      std::find_if(attributes.begin(), attributes.end(), [&](const attribute& a) { return a.name == name; });
  if (it == attributes.end()) return false;
  attributes.erase(it);
  if (set_modified) carrier->d.modified = true;
  return true;
}

}  // namespace host::oli

namespace {

using sim::define_host_function;
using sim::flag_value;

std::string name_argument(const ref& r) { return string_designator(r); }

const builtins_registration cluster_functions([] {
  define_host_function("FRAME2", "INQUIRE-CLUSTER-FILENAME", 1, 1,
                       [](args_t a) { return host::frame2::inquire_cluster_filename(a[0]); });
  define_host_function("FRAME2", "SET-CLUSTER-FILENAME", 2, 2, [](args_t a) {
    host::frame2::set_cluster_filename(a[0], is_nil(a[1]) ? std::string() : namestring(a[1]));
    return t();
  });
  define_host_function("FRAME2", "INQUIRE-CLUSTER-MODIFICATION-TIME", 1, 1,
                       [](args_t a) { return host::frame2::inquire_cluster_modification_time(a[0]); });
  define_host_function("FRAME2", "SD-INQ-CLUSTER-SYMBOLIC-VERSION", 1, 1,
                       [](args_t a) { return host::frame2::sd_inq_cluster_symbolic_version(a[0]); });
  define_host_function("FRAME2", "SD-INQ-CLUSTER-SYMBOLIC-NAME", 1, 1,
                       [](args_t a) { return host::frame2::sd_inq_cluster_symbolic_name(a[0]); });
  define_host_function("FRAME2", "SD-SET-CLUSTER-SYMBOLIC-NAME", 2, 2, [](args_t a) {
    host::frame2::sd_set_cluster_symbolic_name(a[0], is_nil(a[1]) ? std::string() : as_string(a[1]));
    return t();
  });
  define_host_function("FRAME2", "REAL-CLUSTER-P", 1, 1,
                       [](args_t a) { return boolean(host::frame2::real_cluster_p(a[0])); });
  define_host_function("FRAME2", "SD-INQ-DB-FLAGS", 1, 1,
                       [](args_t a) { return host::frame2::sd_inq_db_flags(a[0]); });
  define_host_function("FRAME2", "SD-DETACH-DB-FLAGS", 1, 1, [](args_t a) {
    host::frame2::sd_detach_db_flags(a[0]);
    return t();
  });
  define_host_function("FRAME2", "INQUIRE-CLUSTER-MODIFIABLE", 1, 1,
                       [](args_t a) { return boolean(host::frame2::inquire_cluster_modifiable(a[0])); });
  define_host_function("FRAME2", "SET-CLUSTER-MODIFIABLE", 2, 2, [](args_t a) {
    host::frame2::set_cluster_modifiable(a[0], flag_value(a[1]));
    return t();
  });
  define_host_function("FRAME2", "INQUIRE-CLUSTER-MODIFIED", 1, 1,
                       [](args_t a) { return boolean(host::frame2::inquire_cluster_modified(a[0])); });
  define_host_function("FRAME2", "SET-CLUSTER-MODIFIED", 2, 2, [](args_t a) {
    host::frame2::set_cluster_modified(a[0], flag_value(a[1]));
    return t();
  });
  define_host_function("FRAME2", "SD-INQ-CLUSTER-IS-VERSION", 1, 1,
                       [](args_t a) { return boolean(host::frame2::sd_inq_cluster_is_version(a[0])); });
  define_host_function("FRAME2", "GET-ORIGINAL-OF-VERSION", 1, 1,
                       [](args_t a) { return host::frame2::get_original_of_version(a[0]); });
  // The mode argument (:load-as-version) is accepted; both modes act alike.
  define_host_function("FRAME2", "LAV-MAKE-ORIGINAL", 1, 2, [](args_t a) {
    host::frame2::lav_make_original(a[0]);
    return t();
  });
  define_host_function("FRAME2", "LAV-MAKE-VERSION", 1, 2, [](args_t a) {
    host::frame2::lav_make_version(a[0]);
    return t();
  });
  define_host_function("FRAME2", "GET-LAV-GROUP", 1, 1,
                       [](args_t a) { return host::frame2::get_lav_group(a[0]); });
  define_host_function("FRAME2", "GLOBAL-MASTER", 1, 1,
                       [](args_t a) { return host::frame2::global_master(a[0]); });
  define_host_function("ELAN", "INQUIRE_NAME", 1, 1, [](args_t a) { return host::elan::inquire_name(a[0]); });
  define_host_function("ELAN", "ASSIGN_NAME", 2, 2, [](args_t a) {
    host::elan::assign_name(a[0], as_string(a[1]));
    return t();
  });
  define_host_function("ELAN", "NPARCEL-P", 1, 1,
                       [](args_t a) { return boolean(host::elan::nparcel_p(a[0])); });
  define_host_function("DSM", "ENTITY-NAME", 1, 1, [](args_t a) { return host::dsm::entity_name(a[0]); });
  // (oli::sd-inq-item-attribute item name :values &key attachment)
  define_host_function("OLI", "SD-INQ-ITEM-ATTRIBUTE", 2, any_count, [](args_t a) {
    std::size_t from = a.size() > 2 && keywordp(a[2]) && static_cast<symbol&>(*a[2]).name == "VALUES" ? 3 : 2;
    keyword_args keys("OLI::SD-INQ-ITEM-ATTRIBUTE", a, from, {"ATTACHMENT"});
    return host::oli::sd_inq_item_attribute(a[0], name_argument(a[1]), keys.get("ATTACHMENT"));
  });
  define_host_function("OLI", "SD-ATTACH-ITEM-ATTRIBUTE", 2, any_count, [](args_t a) {
    keyword_args keys("OLI::SD-ATTACH-ITEM-ATTRIBUTE", a, 2, {"VALUES", "ATTACHMENT"});
    host::oli::sd_attach_item_attribute(a[0], name_argument(a[1]), keys.get("VALUES"),
                                        keys.get("ATTACHMENT"));
    return t();
  });
  define_host_function("OLI", "SD-DETACH-ITEM-ATTRIBUTE", 2, any_count, [](args_t a) {
    keyword_args keys("OLI::SD-DETACH-ITEM-ATTRIBUTE", a, 2,
                      {"ATTACHMENT", "SET-MODIFIED", "CHECK-READ-ONLY"});
    return boolean(host::oli::sd_detach_item_attribute(a[0], name_argument(a[1]), keys.get("ATTACHMENT"),
                                                       flag_value(keys.get("SET-MODIFIED", t()))));
  });
});

}  // namespace
