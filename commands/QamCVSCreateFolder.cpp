#include "QamCVSCreateFolder.h"

QamCVSCreateFolder::QamCVSCreateFolder(QamInputParams& /*params*/) {}

void QamCVSCreateFolder::ProceesOutPut() {}

I18NString QamCVSCreateFolder::ConverToQamFormat() { return I18NString(); }
