// The dispatch table: command id to command class.
#ifndef QAMCVS_DRIVER_DISPATCH_H_
#define QAMCVS_DRIVER_DISPATCH_H_

#include "QamFormatter.h"

/// Runs one command: constructs it from the parameters, processes, renders
/// and prints its document, then destroys it. Raises whatever it raises.
using CommandRunner = void (*)(QamInputParams& params);

/// The runner for id, or null when the id has no command.
CommandRunner FindCommand(_CmdId id);

#endif  // QAMCVS_DRIVER_DISPATCH_H_
