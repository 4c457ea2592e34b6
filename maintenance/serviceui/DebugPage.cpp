#include "DebugPage.h"

#include <QFileDialog>
#include <QTextEdit>

namespace tovrin::maintenance {

QString chooseFileWithDialog(QWidget* parent, FileDialogKind kind, const QString& caption, const QString& folder,
                             const QString& filter)
{
    return kind == FileDialogKind::Open ? QFileDialog::getOpenFileName(parent, caption, folder, filter)
                                        : QFileDialog::getSaveFileName(parent, caption, folder, filter);
}

void appendOutput(QTextEdit* output, const QStringList& lines)
{
    if (!output)
        return;
    for (QString line : lines) {
        while (line.endsWith(QLatin1Char('\n')))
            line.chop(1);
        output->append(line);
    }
}

} // namespace tovrin::maintenance
