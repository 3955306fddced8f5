// The formatter's base classes with a way to set their result members from
// outside a command, so that tests and fuzzers can render any values. No
// test framework is needed: the fuzzers include this file too.
#ifndef QAMCVS_TESTS_SUPPORT_RESULT_SETTERS_H_
#define QAMCVS_TESTS_SUPPORT_RESULT_SETTERS_H_

#include "QamCommandBases.h"
#include "QamFormatter.h"

namespace testing_support {

class SettableEnumChildren : public QamEnumChildren {
 public:
  using QamEnumChildren::QamEnumChildren;
  void ProceesOutPut() override {}
  void Add(const I18NString& name, bool isFolder) { AddItem(name, isFolder); }
  void SetSuccess(bool value) { successFlag = value; }
};

class SettableHistory : public QamHistory {
 public:
  using QamHistory::QamHistory;
  void ProceesOutPut() override {}
  /// Adds a record; comment is given plain and escaped here, as the history
  /// command hands it over.
  void Add(const I18NString& author, const I18NString& revision, const I18NString& dateTime,
           I18NString comment) {
    QamFormatterUtility::EscapeDOMChars(comment);
    AddEntry(new QamHistoryRecord(author, revision, dateTime, comment));
  }
};

class SettableCheckedOut : public QamCheckedOut {
 public:
  using QamCheckedOut::QamCheckedOut;
  void ProceesOutPut() override {}
  void Set(bool out, const I18NString& by) {
    isCheckedOut = out;
    checkedOutBy = by;
  }
};

}  // namespace testing_support

#endif  // QAMCVS_TESTS_SUPPORT_RESULT_SETTERS_H_
