// The formatter library's command base classes. Each constructor captures
// what its command needs from the input parameters; each ConverToQamFormat
// renders the result members into the command's document.
#ifndef QAMCVS_CONTRACTS_QAMCOMMANDBASES_H_
#define QAMCVS_CONTRACTS_QAMCOMMANDBASES_H_

#include <memory>
#include <utility>
#include <vector>

#include "I18NString.h"
#include "QamFormatter.h"

/// Path existence: <RepositoryExists>, <PathExists>.
class QamExist : public QamCmdObject {
 public:
  /// Reads PathToRep (required: absent or empty raises) and PathInRep.
  explicit QamExist(QamInputParams& params);
  ~QamExist() override;
  I18NString ConverToQamFormat() override;

 protected:
  I18NString GetPathToRepository() const { return pathToRepository_; }
  I18NString GetPathInRepository() const { return pathInRepository_; }

  bool repositoryExists = false;
  bool pathExists = false;

 private:
  I18NString pathToRepository_;
  I18NString pathInRepository_;
};

/// Checked-out status: <IsCheckedOut>, <CheckedOutBy>.
class QamCheckedOut : public QamCmdObject {
 public:
  /// Captures the text of OutputFile (decoded with Encoding) into outputText.
  explicit QamCheckedOut(QamInputParams& params);
  ~QamCheckedOut() override;
  I18NString ConverToQamFormat() override;

 protected:
  I18NString outputText;
  I18NString checkedOutBy;
  bool isCheckedOut = false;
};

/// One history record. Its comment is already escaped for XML.
class QamHistoryRecord {
 public:
  QamHistoryRecord(I18NString author, I18NString revision, I18NString dateTime,
                   I18NString comment);
  virtual ~QamHistoryRecord();

  const I18NString& author() const { return author_; }
  const I18NString& revision() const { return revision_; }
  const I18NString& dateTime() const { return dateTime_; }
  const I18NString& comment() const { return comment_; }

 private:
  I18NString author_;
  I18NString revision_;
  I18NString dateTime_;
  I18NString comment_;
};

/// Revision history: <History> with one <Record> per record, in the order added.
class QamHistory : public QamCmdObject {
 public:
  /// Captures the text of OutputFile (decoded with Encoding) into outputText.
  explicit QamHistory(QamInputParams& params);
  ~QamHistory() override;
  I18NString ConverToQamFormat() override;

 protected:
  /// Takes ownership of record.
  void AddEntry(QamHistoryRecord* record);

  I18NString outputText;

 private:
  std::vector<std::unique_ptr<QamHistoryRecord>> records_;
};

/// Child enumeration: <Success>, <Children> with one <Child> per item.
class QamEnumChildren : public QamCmdObject {
 public:
  /// Reads PathToRep (required) and PathInRep.
  explicit QamEnumChildren(QamInputParams& params);
  ~QamEnumChildren() override;
  I18NString ConverToQamFormat() override;

 protected:
  /// Records a child; isFolder is true for a sub-folder.
  void AddItem(const I18NString& name, const bool& isFolder);

  bool successFlag = false;

 private:
  std::vector<std::pair<I18NString, bool>> items_;

 protected:
  I18NString pathToRepository;
  I18NString pathInRepository;
};

/// Properties: <IsFolder>.
class QamProperties : public QamCmdObject {
 public:
  /// Reads PathToRep (required) and PathInRep.
  explicit QamProperties(QamInputParams& params);
  ~QamProperties() override;
  I18NString ConverToQamFormat() override;

 protected:
  I18NString GetPathToRepository() const { return pathToRepository_; }
  I18NString GetPathInRepository() const { return pathInRepository_; }

  bool isFolder = false;

 private:
  I18NString pathToRepository_;
  I18NString pathInRepository_;
};

/// File difference: <IsDifferent>.
class QamIsFileDifferent : public QamCmdObject {
 public:
  /// Captures the text of OutputFile (decoded with Encoding) into outputText.
  explicit QamIsFileDifferent(QamInputParams& params);
  ~QamIsFileDifferent() override;
  I18NString ConverToQamFormat() override;

 protected:
  bool isDifferent = false;
  I18NString outputText;
};

#endif  // QAMCVS_CONTRACTS_QAMCOMMANDBASES_H_
