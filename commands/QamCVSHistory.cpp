#include "QamCVSHistory.h"

QamCVSHistory::QamCVSHistory(QamInputParams& params) : QamHistory(params) {}

void QamCVSHistory::ProceesOutPut() {}
