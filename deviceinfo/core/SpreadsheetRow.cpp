#include "SpreadsheetRow.h"

#include <algorithm>

namespace tovrin::deviceinfo {

UnitImage makeUnitImage(std::span<const uint8_t> frame, uint8_t exposureHigh, uint8_t exposureLow)
{
    UnitImage image;
    if (frame.size() == static_cast<size_t>(kFrameBytes))
        image.frame = QByteArray(reinterpret_cast<const char*>(frame.data()), kFrameBytes);
    if (exposureHigh != 0xFF || exposureLow != 0xFF)
        image.exposureWord = static_cast<uint16_t>(exposureHigh << 8 | exposureLow);
    return image;
}

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

QString frameProfileText(const QByteArray& frame)
{
    if (frame.size() != kFrameBytes)
        return {};
    const auto* pixels = reinterpret_cast<const uint8_t*>(frame.constData());
    int brightest = 0;
    long best = -1;
    for (int l = 0; l < kFrameLines; ++l) {
        long sum = 0;
        for (int i = 0; i < kFramePixels; ++i)
            sum += pixels[l * kFramePixels + i];
        if (sum > best) {
            best = sum;
            brightest = l;
        }
    }
    QString text = QStringLiteral("L%1:").arg(brightest);
    const uint8_t* line = pixels + brightest * kFramePixels;
    constexpr int width = kFramePixels / kProfileBins;
    for (int b = 0; b < kProfileBins; ++b)
        text += QStringLiteral("%1").arg(*std::max_element(line + b * width, line + (b + 1) * width), 2, 16, QLatin1Char('0'));
    return text;
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
    row << frameSummaryText(image.frame) << frameProfileText(image.frame);
    return row;
}

} // namespace tovrin::deviceinfo
