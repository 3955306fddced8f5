#include "QamCVSExist.h"

QamCVSExist::QamCVSExist(QamInputParams& params) : QamExist(params) {}

void QamCVSExist::ProceesOutPut() {}
