#include "QamCVSCheckOut.h"

QamCVSCheckOut::QamCVSCheckOut(QamInputParams& params) : QamCheckedOut(params) {}

void QamCVSCheckOut::ProceesOutPut() {}
