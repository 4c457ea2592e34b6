#include "SampleData.h"

#include "shell/Clock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace tovrin::leveling {

namespace {

const QString kSampleFolder = QStringLiteral("SampleData");

// A name beside base that is not taken yet: "SampleData-<time>", then "-1", "-2" ...
QString asideName(const QDir& parent)
{
    const QString stem = kSampleFolder + QLatin1Char('-') + localNow().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString name = stem;
    for (int n = 1; parent.exists(name); ++n)
        name = stem + QLatin1Char('-') + QString::number(n);
    return name;
}

bool writeFile(const QString& path, const FrameBytes& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) !=
        static_cast<qint64>(bytes.size()))
        return false;
    return file.commit();
}

} // namespace

SampleFolder prepareSampleFolder(const QString& base, int counter)
{
    SampleFolder s;
    QDir parent(base);
    if (counter == 0 && parent.exists(kSampleFolder)) {
        const QString aside = asideName(parent);
        if (!parent.rename(kSampleFolder, aside))
            return s;
        s.movedTo = parent.filePath(aside);
    }
    s.number = QStringLiteral("%1").arg(counter, 3, 10, QLatin1Char('0'));
    s.folder = parent.filePath(kSampleFolder + QLatin1Char('/') + s.number);
    s.ok = QDir().mkpath(s.folder);
    return s;
}

bool writeSampleFrames(const SampleFolder& sample, const FrameBytes& master, const FrameBytes& slave)
{
    if (!sample.ok)
        return false;
    const QDir dir(sample.folder);
    return writeFile(dir.filePath(QStringLiteral("L%1.bin").arg(sample.number)), master) &&
           writeFile(dir.filePath(QStringLiteral("R%1.bin").arg(sample.number)), slave);
}

QString samplePicturePath(const SampleFolder& sample)
{
    return QDir(sample.folder).filePath(sample.number + QStringLiteral(".png"));
}

} // namespace tovrin::leveling
