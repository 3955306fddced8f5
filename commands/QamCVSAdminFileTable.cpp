#include "QamCVSAdminFileTable.h"

namespace {

// CVS keeps these in CVSROOT: the checked-out administrative files, their RCS
// archives and the ".#" copies it leaves while rebuilding them. "history" and
// "val-tags" are plain files with no archive, so only their plain form is
// here. "Emptydir" is the folder CVS uses for empty checkouts.
const char* const kHiddenNames[] = {
    "Emptydir",       ".#checkoutlist", ".#commitinfo",   ".#config",
    ".#cvswrappers",  ".#editinfo",     ".#loginfo",      ".#modules",
    ".#notify",       ".#rcsinfo",      ".#taginfo",      ".#verifymsg",
    "checkoutlist",   "checkoutlist,v", "commitinfo",     "commitinfo,v",
    "config",         "config,v",       "cvswrappers",    "cvswrappers,v",
    "editinfo",       "editinfo,v",     "history",        "loginfo",
    "loginfo,v",      "modules",        "modules,v",      "notify",
    "notify,v",       "rcsinfo",        "rcsinfo,v",      "taginfo",
    "taginfo,v",      "val-tags",       "verifymsg",      "verifymsg,v",
    "v",
};

static_assert(sizeof kHiddenNames / sizeof kHiddenNames[0] == 37,
              "the table holds 37 names");

}  // namespace

QamCVSAdminFileTable::QamCVSAdminFileTable() {
  for (const char* name : kHiddenNames) names_.insert({I18NString(name), true});
}

bool QamCVSAdminFileTable::Contains(const I18NString& name) const {
  auto candidate = names_.lower_bound(name);
  return candidate != names_.end() && !(name < candidate->first);
}
