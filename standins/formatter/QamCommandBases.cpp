#include "QamCommandBases.h"

#include <initializer_list>
#include <utility>

#include "QamUtil.h"
#include "text_capture.h"
#include "xml_writer.h"

namespace {

constexpr const char* kRootMeaning = "the repository root directory";

// <Output> with one TRUE/FALSE element per answer, in the order given.
I18NString BooleanDocument(std::initializer_list<std::pair<const char16_t*, bool>> answers) {
  QamXmlWriter writer;
  writer.Markup(u"<Output>");
  for (const auto& [name, value] : answers) writer.Element(name, value);
  writer.Markup(u"</Output>");
  return writer.Finish();
}

}  // namespace

QamExist::QamExist(QamInputParams& params)
    : pathToRepository_(params.GetValueOf("PathToRep")),
      pathInRepository_(params.GetValueOf("PathInRep")) {
  if (pathToRepository_.empty()) {
    QAM_RAISE(kQamInputError, MissingParameterText("PathToRep", kRootMeaning));
  }
}

QamExist::~QamExist() = default;

I18NString QamExist::ConverToQamFormat() {
  return BooleanDocument({{u"RepositoryExists", repositoryExists}, {u"PathExists", pathExists}});
}

QamCheckedOut::QamCheckedOut(QamInputParams& params) : outputText(CaptureToolText(params)) {}

QamCheckedOut::~QamCheckedOut() = default;

I18NString QamCheckedOut::ConverToQamFormat() {
  QamXmlWriter writer;
  writer.Markup(u"<Output>");
  writer.Element(u"IsCheckedOut", isCheckedOut);
  writer.Element(u"CheckedOutBy", checkedOutBy);
  writer.Markup(u"</Output>");
  return writer.Finish();
}

QamHistoryRecord::QamHistoryRecord(I18NString author, I18NString revision,
                                   I18NString dateTime, I18NString comment)
    : author_(std::move(author)),
      revision_(std::move(revision)),
      dateTime_(std::move(dateTime)),
      comment_(std::move(comment)) {}

QamHistoryRecord::~QamHistoryRecord() = default;

QamHistory::QamHistory(QamInputParams& params) : outputText(CaptureToolText(params)) {}

QamHistory::~QamHistory() = default;

void QamHistory::AddEntry(QamHistoryRecord* record) {
  // Owned before the list grows, so that a failed growth does not leak it.
  std::unique_ptr<QamHistoryRecord> owned(record);
  records_.push_back(std::move(owned));
}

I18NString QamHistory::ConverToQamFormat() {
  // The values, their escapes and the markup of a record (about 100 bytes).
  constexpr std::size_t kRecordMarkup = 128;
  std::size_t size = 128;
  for (const auto& record : records_) {
    size += kRecordMarkup + record->author().utf8().size() + record->revision().utf8().size() +
            record->dateTime().utf8().size() + record->comment().utf8().size();
  }
  QamXmlWriter writer;
  writer.Reserve(size);
  writer.Markup(u"<Output><History>");
  for (const auto& record : records_) {
    writer.Markup(u"<Record>");
    writer.Element(u"Author", record->author());
    writer.Element(u"Revision", record->revision());
    writer.Element(u"DateTime", record->dateTime());
    writer.Markup(u"<Comment>");
    writer.EscapedText(record->comment());
    writer.Markup(u"</Comment></Record>");
  }
  writer.Markup(u"</History></Output>");
  return writer.Finish();
}

QamEnumChildren::QamEnumChildren(QamInputParams& params)
    : pathToRepository(params.GetValueOf("PathToRep")),
      pathInRepository(params.GetValueOf("PathInRep")) {
  if (pathToRepository.empty()) {
    QAM_RAISE(kQamInputError, MissingParameterText("PathToRep", kRootMeaning));
  }
}

QamEnumChildren::~QamEnumChildren() = default;

void QamEnumChildren::AddItem(const I18NString& name, const bool& isFolder) {
  items_.emplace_back(name, isFolder);
}

I18NString QamEnumChildren::ConverToQamFormat() {
  QamXmlWriter writer;
  writer.Markup(u"<Output>");
  writer.Element(u"Success", successFlag);
  writer.Markup(u"<Children>");
  for (const auto& [name, isFolderItem] : items_) {
    writer.Markup(isFolderItem ? u"<Child IsFolder=\"TRUE\">" : u"<Child IsFolder=\"FALSE\">");
    writer.Text(name);
    writer.Markup(u"</Child>");
  }
  writer.Markup(u"</Children></Output>");
  return writer.Finish();
}

QamProperties::QamProperties(QamInputParams& params)
    : pathToRepository_(params.GetValueOf("PathToRep")),
      pathInRepository_(params.GetValueOf("PathInRep")) {
  if (pathToRepository_.empty()) {
    QAM_RAISE(kQamInputError, MissingParameterText("PathToRep", kRootMeaning));
  }
}

QamProperties::~QamProperties() = default;

I18NString QamProperties::ConverToQamFormat() {
  return BooleanDocument({{u"IsFolder", isFolder}});
}

QamIsFileDifferent::QamIsFileDifferent(QamInputParams& params)
    : outputText(CaptureToolText(params)) {}

QamIsFileDifferent::~QamIsFileDifferent() = default;

I18NString QamIsFileDifferent::ConverToQamFormat() {
  return BooleanDocument({{u"IsDifferent", isDifferent}});
}
