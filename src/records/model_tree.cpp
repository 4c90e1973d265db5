#include "records/model_tree.h"

#include <vector>

#include "frame/module_resources.h"
#include "host/lisp/errors.h"
#include "host/lisp/format.h"
#include "host/lisp/packages.h"
#include "host/native.h"
#include "records/cluster_session.h"

namespace vtm::records {

namespace hl = host::lisp;

void for_each_instance(const model_path& root, const std::function<bool(const model_path&)>& fnc,
                       cluster_session& session) {
  // The work list as a stack: its back is the next node.
  std::vector<model_path> work{root};
  while (!work.empty()) {
    const model_path node = std::move(work.back());
    work.pop_back();
    bool descend = false;
    try {
      descend = fnc(node);
    } catch (const hl::lisp_error& e) {
      const std::string control =
          hl::narrow(MODULE_RESOURCES::instance()[&hl::keyword("MODEL-SCANNING-ERROR-FMT")]);
      hl::simple_error(hl::format(control, e.condition()));
    }
    if (!descend) continue;
    std::vector<model_path> children = session.obj_children(node);
    for (auto it = children.rbegin(); it != children.rend(); ++it) work.push_back(std::move(*it));
  }
}

hl::ref get_real_parent_cluster(const model_path& selitem, cluster_session& session) {
  for (std::optional<model_path> p = session.parent_obj(selitem); p; p = session.parent_obj(*p)) {
    hl::ref contents = session.get_contents(*p);
    if (session.real_cluster_p(contents)) return contents;
  }
  return session.get_instance(selitem);
}

std::optional<std::pair<model_path, model_path>> get_parent_child_relationship(const model_path& selitem1,
                                                                               const model_path& selitem2) {
  const std::vector<hl::ref> path1 = hl::list_to_vector(selitem1.path.value);
  const std::vector<hl::ref> path2 = hl::list_to_vector(selitem2.path.value);
  if (path1.size() == path2.size()) return std::nullopt;
  std::size_t common = 0;
  while (common < path1.size() && common < path2.size() && hl::equal(path1[common], path2[common])) ++common;
  if (common == path1.size()) return std::pair{selitem1, selitem2};
  if (common == path2.size()) return std::pair{selitem2, selitem1};
  return std::nullopt;
}

}  // namespace vtm::records
