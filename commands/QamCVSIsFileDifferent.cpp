#include "QamCVSIsFileDifferent.h"

QamCVSIsFileDifferent::QamCVSIsFileDifferent(QamInputParams& params) : QamIsFileDifferent(params) {}

void QamCVSIsFileDifferent::ProceesOutPut() {}
