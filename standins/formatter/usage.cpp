#include "usage.h"

#ifndef QAMCVS_VERSION
#define QAMCVS_VERSION "0.0.0"
#endif

const char* QamUsageText() {
  return "Usage: qamcvs ID [NAME=VALUE]...\n"
         "       qamcvs --help | --version\n"
         "\n"
         "Answers one question about a CVS repository and prints one XML document\n"
         "on standard output. Exit status 1 means a command's document was written;\n"
         "0 means anything else (a failure document, no command for the id, --help).\n"
         "\n"
         "Commands (ID: meaning; parameters read):\n"
         "  1  path existence: is the root usable, does the folder or file exist;\n"
         "     PathToRep, PathInRep\n"
         "  3  checked-out status: is the file RCS-locked, and by whom;\n"
         "     OutputFile (the tool's log or header text), Encoding\n"
         "  4  revision history, oldest first, from cvs log or rlog text;\n"
         "     OutputFile, Encoding\n"
         "  5  child enumeration: sub-folders, and files with Children_Type=DIRECTORY;\n"
         "     PathToRep, PathInRep, Children_Type\n"
         "  7  folder creation in the repository;\n"
         "     PathToRep, PathInRep, FolderName\n"
         "  8  properties: is the path a folder;\n"
         "     PathToRep, PathInRep\n"
         "  9  file difference: did the comparison say \"identical\" or \"differ\";\n"
         "     OutputFile, Encoding\n"
         "Any other integer id has no command: no output, exit status 0.\n"
         "\n"
         "Parameters:\n"
         "  PathToRep=DIR       the repository root directory\n"
         "  PathInRep=PATH      the path inside the repository (empty: the root)\n"
         "  FolderName=NAME     the folder to create (id 7)\n"
         "  Children_Type=TYPE  DIRECTORY lists files as well as sub-folders (id 5)\n"
         "  OutputFile=FILE     the file holding the tool's text; - reads standard input\n"
         "  Encoding=NAME       the encoding of that text (an ICU converter name);\n"
         "                      without it, each line is read as UTF-8 when it is\n"
         "                      valid UTF-8, and as Windows-1252 otherwise\n"
         "\n"
         "Examples:\n"
         "  cvs log file.c | qamcvs 4 OutputFile=-\n"
         "  qamcvs 5 PathToRep=/srv/cvs PathInRep=proj Children_Type=DIRECTORY\n"
         "\n"
         "See qamcvs(1) for the documents.\n";
}

const char* QamVersionText() { return "qamcvs " QAMCVS_VERSION "\n"; }
