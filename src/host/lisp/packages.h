// Packages and symbols of the host's Lisp.
//
// The host starts with COMMON-LISP (nicknames LISP, CL), KEYWORD,
// COMMON-LISP-USER (CL-USER, USER) and its own packages (OLI, MEI, FRAME2,
// ...), all using COMMON-LISP.
#pragma once

#include <string_view>
#include <vector>

#include "host/lisp/object.h"

namespace host::lisp {

enum class symbol_status { none, internal, external, inherited };

package* find_package(std::string_view name_or_nickname);
// Signals an error when a package of that name or nickname exists.
package& make_package(std::string_view name, std::vector<std::string> nicknames,
                      std::vector<package*> use_list);
// find_package, or the host's error "The package ~A does not exist."
package& require_package(std::string_view name);
// find_package by designator: a package, a symbol or a string.
package& package_designator(const ref& r);

package& common_lisp_package();
package& keyword_package();
package& user_package();
// The package *package* names now.
package& current_package();

// Finds a symbol accessible in the package without interning it.
symbol* find_symbol(std::string_view name, const package& p, symbol_status* status = nullptr);
symbol& intern(std::string_view name, package& p, symbol_status* status = nullptr);
symbol& keyword(std::string_view name);    // name without colon, as written (upcased by caller)
symbol& cl_symbol(std::string_view name);  // interned in COMMON-LISP and exported
symbol* make_uninterned_symbol(std::string_view name);

void export_symbol(symbol& s, package& p);
void import_symbol(symbol& s, package& p);
void shadowing_import(symbol& s, package& p);
void use_package(package& used, package& user);

bool is_keyword(const symbol& s);

// Every package, for do-all-symbols style scans and the console.
std::vector<package*> all_packages();

}  // namespace host::lisp
