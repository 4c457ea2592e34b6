#include "SpreadsheetRow.h"

#include <algorithm>

namespace tovrin::deviceinfo {

QString frameSummaryText(const QByteArray& frame)
{
    if (frame.size() != kFrameBytes)
        return {};
    QStringList lines;
    for (int l = 0; l < kFrameLines; ++l) {
        const auto* p = reinterpret_cast<const uint8_t*>(frame.constData()) + l * kFramePixels;
        int sum = 0;
        const auto [lo, hi] = std::minmax_element(p, p + kFramePixels);
        for (int i = 0; i < kFramePixels; ++i)
            sum += p[i];
        lines << QStringLiteral("%1:%2/%3/%4").arg(l).arg(*lo).arg((sum + kFramePixels / 2) / kFramePixels).arg(*hi);
    }
    return lines.join(QLatin1Char(' '));
}

QString frameDataText(const QByteArray& frame)
{
    if (frame.size() != kFrameBytes)
        return {};
    return QString::fromLatin1(frame.toBase64());
}

QStringList spreadsheetRow(const DeviceInfo& written, uint32_t previousId, const UnitImage& image)
{
    QStringList row = displayTexts(written);
    row << QStringLiteral("0x%1").arg(previousId, 8, 16, QLatin1Char('0'));
    if (image.exposureWord) {
        row << QStringLiteral("0x%1").arg(*image.exposureWord & 0xFFu, 2, 16, QLatin1Char('0'))
            << QStringLiteral("0x%1").arg(*image.exposureWord >> 8, 2, 16, QLatin1Char('0'));
    } else {
        row << QString() << QString();
    }
    row << frameSummaryText(image.frame) << frameDataText(image.frame);
    return row;
}

} // namespace tovrin::deviceinfo
