#include "QamCVSEnumChildren.h"

QamCVSEnumChildren::QamCVSEnumChildren(QamInputParams& params) : QamEnumChildren(params) {}

void QamCVSEnumChildren::ProceesOutPut() {}
