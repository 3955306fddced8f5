#include "QamCVSProperties.h"

QamCVSProperties::QamCVSProperties(QamInputParams& params) : QamProperties(params) {}

void QamCVSProperties::ProceesOutPut() {}
