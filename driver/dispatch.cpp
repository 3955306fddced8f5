#include "dispatch.h"

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
    {0, nullptr},
};

}  // namespace

CommandRunner FindCommand(_CmdId id) {
  for (const Entry& entry : kCommands) {
    if (entry.id == id) return entry.run;
  }
  return nullptr;
}
