// Features of the model: named entities owned by an instance or contents
// (for example "SFY_CTRL_FEAT"), and thin universal features that carry
// properties and member entities and follow model edits.
#pragma once

#include "host/lisp/object.h"

namespace host::elan {
// The features owned by a component: an entity, or a model path's contents.
host::lisp::ref search_features_by_component(const host::lisp::ref& component);
// Adds entities as members of a universal feature, each in the context of
// the model path `context` (a list of instances from a top-level model).
void add_thin_universal_feature_entities(const host::lisp::ref& feature, const host::lisp::ref& entities,
                                         const host::lisp::ref& context);
// Model paths of the members that are still where they were added: the
// context path, as long as its last instance still has the member as its
// contents (or is the member). top_level restricts the answer to members
// whose context starts at a model in session (always so in this host).
host::lisp::ref get_feature_sel_items(const host::lisp::ref& feature_sel_item, bool top_level);
}  // namespace host::elan

namespace host::k2 {
// A universal feature owned by owner (an instance or contents) with the
// property list properties; :filing :none among them keeps it out of files.
host::lisp::ref make_thin_universal_feature_instance(const host::lisp::ref& owner,
                                                     const host::lisp::ref& properties);
// Universal features owned by the instance, its contents or anything below;
// a feature whose last member has gone from the model is gone with it.
host::lisp::ref search_universal_feature(const host::lisp::ref& instance);
host::lisp::ref universal_feature_properties(const host::lisp::ref& feature);
}  // namespace host::k2

namespace host::dsm {
// Destroys a feature; a feature destroyed or left with its owner's removal
// is no longer found.
void destroy(const host::lisp::ref& feature);
}  // namespace host::dsm
