#pragma once
// The texts the debug page's output box shows for the reports of the FPGA
// download and the script runner (the same texts tovrin-cli prints). Each
// report gives one or two lines.

#include "FlashJob.h"
#include "ServiceReport.h"

#include <QStringList>

namespace tovrin::maintenance {

QStringList fpgaTexts(const ServiceReport& report);
QStringList scriptTexts(const ServiceReport& report);

// Flash erase, dump and fill: the output line of a failure (none for
// progress and success, which the page shows in its status line).
QStringList flashJobTexts(FlashJobKind kind, const ServiceReport& report);
QString flashImageProblem(const QString& path, const FlashImageFile& image);

} // namespace tovrin::maintenance
