#ifndef QAMCVS_COMMANDS_QAMCVSADMINFILETABLE_H_
#define QAMCVS_COMMANDS_QAMCVSADMINFILETABLE_H_

#include <map>

#include "I18NString.h"

/// The names child enumeration never reports: CVS's administrative files in
/// plain, ",v" and ".#" form, the folder "Emptydir" and the name "v".
class QamCVSAdminFileTable {
 public:
  /// Fills the table with its 37 names; throws std::bad_alloc on exhaustion.
  QamCVSAdminFileTable();
  /// True when name is one of the 37 names, compared exactly (no case folding).
  bool Contains(const I18NString& name) const;

 private:
  // Every value is true; only membership counts.
  std::map<I18NString, bool> names_;
};

#endif  // QAMCVS_COMMANDS_QAMCVSADMINFILETABLE_H_
