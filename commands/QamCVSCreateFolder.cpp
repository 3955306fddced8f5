#include "QamCVSCreateFolder.h"

#include <string>

#include "PYLException.h"
#include "QamUtil.h"
#include "platform.h"

namespace {

// The host compares these texts, spelling included.
const char kReasonCreated[] = "The operation succeded";
const char kReasonExists[] = "A folder by that name already exists.";
const char kReasonInvalid[] = "The specified path in repository is not invalid";

// The body is formatted into a fixed buffer of this many wide units. The
// reason is always one of the texts above (or empty), so the body, at most
// the template and the longest reason, always fits.
constexpr std::size_t kBodyUnits = 512;

#define QAM_CREATE_FOLDER_BODY                                    \
  L"<QAM_DOC><Output><Created>" QAM_WIDE_STRING_FORMAT            \
  L"</Created><Reason>" QAM_WIDE_STRING_FORMAT L"</Reason></Output></QAM_DOC>"

static_assert(sizeof QAM_CREATE_FOLDER_BODY / sizeof(wchar_t) + sizeof "FALSE" +
                      sizeof kReasonInvalid + sizeof kReasonExists <
                  kBodyUnits,
              "the folder-creation body always fits its buffer");

// True when path (separators already "/") has a ".." component. Refused
// before the file system is asked, like a link that leads out.
bool HasParentComponent(const I18NString& path) {
  int start = 0;
  while (start <= path.length()) {
    int slash = path.find(U'/', start);
    const int end = slash < 0 ? path.length() : slash;
    if (end - start == 2 && path.charAt(start) == U'.' && path.charAt(start + 1) == U'.') {
      return true;
    }
    if (slash < 0) break;
    start = slash + 1;
  }
  return false;
}

}  // namespace

QamCVSCreateFolder::QamCVSCreateFolder(QamInputParams& params) {
  pathToRepository = params.GetValueOf(I18NString("PathToRep"));
  pathInRepository = params.GetValueOf(I18NString("PathInRep"));
  folderName = params.GetValueOf(I18NString("FolderName"));

  std::string missing;
  for (const auto& [name, value] : {std::pair<const char*, const I18NString*>{"PathToRep", &pathToRepository},
                                    {"PathInRep", &pathInRepository},
                                    {"FolderName", &folderName}}) {
    if (!value->empty()) continue;
    if (!missing.empty()) missing += ", ";
    missing += name;
  }
  if (missing.empty()) return;

  const std::string text =
      "folder creation needs the parameters PathToRep, PathInRep and FolderName; "
      "missing or empty: " + missing;
  QamMessage message(kQamInputError, I18NString::FromUtf8(text));
  QamException exception(static_cast<long>(kQamInputError));
  (exception << message)
      .Raise(SourceLocation(__FILE__, __LINE__), "QamCVSCreateFolder::QamCVSCreateFolder",
             "PYL_THROW");
}

QamCVSCreateFolder::~QamCVSCreateFolder() = default;

void QamCVSCreateFolder::ProceesOutPut() {
  QamSystemUtils::EnsureNoTrailingSlash(pathToRepository);
  QamSystemUtils::EnsureNoTrailingSlash(pathInRepository);
  QamSystemUtils::EnsureNoTrailingSlash(folderName);

  // The folder is made beneath the repository root: the root as given (it
  // may itself be a link), then PathInRep and FolderName below it, every
  // link on the way resolved without leaving the root. Separators inside the
  // values, back-slashes included, reach the file system as "/".
  I18NString root = pathToRepository;
  QamSystemUtils::ReadAsRepositoryRoot(root);
  I18NString path = QamSystemUtils::JoinPath(pathInRepository, folderName);
  QamSystemUtils::ReplaceBackSlashWithForwardSlash(root);
  QamSystemUtils::ReplaceBackSlashWithForwardSlash(path);
  if (HasParentComponent(path)) {
    created = false;
    reason = kReasonInvalid;
    return;
  }

  // Any kind of entry counts, a dangling link included.
  if (QamDvDir::ExistsBeneath(root, path) != 0) {
    created = false;
    reason = kReasonExists;
    return;
  }
  if (QamDvDir::createDirBeneath(root, path) != 0) {
    created = true;
    reason = kReasonCreated;
    return;
  }
  const int error = platform::LastSystemError();
  // A missing parent folder leaves the reason empty; the host knows it so.
  if (error == platform::kFileNotFound) return;
  created = false;
  // Another process made the entry since the test above: the answer the
  // host would have had a moment earlier. Anything else, a path that would
  // leave the repository included, is an invalid path.
  reason = platform::ErrorMeansExists(error) ? kReasonExists : kReasonInvalid;
}

I18NString QamCVSCreateFolder::ConverToQamFormat() {
  I18NString result = QamFormatterUtility::GetXmlVersionTag();
  const wchar_t* createdText = created ? L"TRUE" : L"FALSE";
  const std::wstring reasonText = reason.toWide();

  wchar_t body[kBodyUnits];
  const int written = platform::FormatWide(body, kBodyUnits, QAM_CREATE_FOLDER_BODY,
                                          createdText, reasonText.c_str());
  result += I18NString(body, written);
  return result;
}
