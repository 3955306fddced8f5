#include "dispatch.h"

#include "QamCVSCheckOut.h"
#include "QamCVSCreateFolder.h"
#include "QamCVSEnumChildren.h"
#include "QamCVSExist.h"
#include "QamCVSHistory.h"
#include "QamCVSIsFileDifferent.h"
#include "QamCVSProperties.h"

namespace {

// The command object and its document are automatic objects of this frame;
// they are destroyed (document first) when it returns or unwinds.
template <class Command>
void Run(QamInputParams& params) {
  Command command(params);
  command.ProceesOutPut();
  I18NString document = command.ConverToQamFormat();
  command.WriteToStdOut(document);
}

struct Entry {
  _CmdId id;
  CommandRunner run;
};

// Ids 2 and 6, and every id not listed, have no command.
const Entry kCommands[] = {
    {1, Run<QamCVSExist>},
    {3, Run<QamCVSCheckOut>},
    {4, Run<QamCVSHistory>},
    {5, Run<QamCVSEnumChildren>},
    {7, Run<QamCVSCreateFolder>},
    {8, Run<QamCVSProperties>},
    {9, Run<QamCVSIsFileDifferent>},
};

}  // namespace

CommandRunner FindCommand(_CmdId id) {
  for (const Entry& entry : kCommands) {
    if (entry.id == id) return entry.run;
  }
  return nullptr;
}
