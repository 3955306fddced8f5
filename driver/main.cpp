// qamcvs: answers one question about a CVS repository per run.
//
// The exit status is 1 when a command's document was written and 0 in every
// other case; the host application relies on that inversion.
#include <string>

#include "QamFormatter.h"
#include "QamUtil.h"
#include "dispatch.h"
#include "platform.h"
#include "xml_platform.h"

namespace {

// Without the XML platform the failure document is built by hand; the run exits 0.
int ReportPlatformFailure(const std::string& why) {
  try {
    QAM_RAISE(kQamInputError, I18NString::FromUtf8("Could not start the XML platform: " + why));
  } catch (...) {
    QamFormatterUtility::WriteToStdOut(QamFormatterUtility::GetExceptionThrownDoc());
  }
  platform::FlushAllStreams();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Before anything opens a file: a host that closed standard output would
  // otherwise see the next file opened (the trace's syslog socket) take its
  // place and receive the document.
  platform::FillClosedStandardDescriptors();
  platform::ReturnLargeBlocksWhenFreed();
  platform::UseBinaryStandardStreams();
  int exitStatus = 0;
  std::string why;
  if (!xml_platform::Start(&why)) return ReportPlatformFailure(why);
  try {
    platform::Utf8Arguments arguments(argc, argv);
    QamCmdLineArg commandLine;
    commandLine.ProcessCmdParams(arguments.count(), arguments.values());
    if (CommandRunner run = FindCommand(commandLine.GetCommandID())) {
      run(commandLine.GetInputParams());
      exitStatus = 1;
    }
  } catch (...) {
    // A failure while reporting the failure leaves the status at 0 with
    // whatever was printed.
    try {
      I18NString document;
      document = QamFormatterUtility::GetExceptionThrownDoc();
      QamFormatterUtility::WriteToStdOut(document);
    } catch (...) {
    }
  }
  platform::FlushAllStreams();
  xml_platform::Stop();
  return exitStatus;
}
