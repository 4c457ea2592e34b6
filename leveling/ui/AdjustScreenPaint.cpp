// AdjustScreenWin: frames into pictures, the window's background and the
// debug view's plots of the last lines.
#include "AdjustScreenWin.h"

#include "ImageDebugPanel.h"

#include "leveling/core/LevelingState.h"
#include "shell/AppContext.h"
#include "widgets/Fonts.h"

#include <QCheckBox>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace tovrin::leveling {

namespace {

constexpr int kLastLine = 10 * 640;  // the last line of an 11-line frame

// A column scale under a picture: ticks every 40 columns, numbers every 160.
void drawColumnScale(QPainter& p, const QRect& image)
{
    if (image.width() < 100)
        return;
    p.save();
    p.setPen(QPen(QColor(90, 120, 160), 1));
    QFont f = p.font();
    f.setPointSizeF(std::max(6.0, f.pointSizeF() * 0.75));
    p.setFont(f);
    for (int c = 0; c <= 640; c += 40) {
        const int x = image.left() + c * (image.width() - 1) / 640;
        const bool major = c % 160 == 0;
        p.drawLine(x, image.bottom() + 1, x, image.bottom() + (major ? 6 : 3));
        if (major)
            p.drawText(QRect(x - 30, image.bottom() + 6, 60, p.fontMetrics().height()), Qt::AlignHCenter,
                       QString::number(std::min(c, 639)));
    }
    p.restore();
}

} // namespace

QImage AdjustScreenWin::toImage(const RenderedFrame& frame) const
{
    QImage img(frame.width, frame.height, QImage::Format_RGB32);
    for (int y = 0; y < frame.height; ++y)
        std::copy_n(frame.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(frame.width), frame.width,
                    reinterpret_cast<uint32_t*>(img.scanLine(y)));
    return img;
}

void AdjustScreenWin::showNewFrame()
{
    FrameBytes master{}, slave{};
    if (!m_framesOk || !m_frames.take(master, slave))
        return;  // nothing new: nothing is redrawn
    g_PreviewSucFlag = 0;
    RenderedFrame left, right;
    if (m_panel) {
        // Debug view: the background or the current picture of each unit.
        m_lastMaster = m_panel->showMasterBackground->isChecked() ? backgroundPicture(master) : currentPicture(master);
        m_lastSlave = m_panel->showSlaveBackground->isChecked() ? backgroundPicture(slave) : currentPicture(slave);
        if (!g_PreviewRun.load()) {
            update();
            return;
        }
        const UnitLeveling um = unitLeveling(kMaster), us = unitLeveling(kSlave);
        renderDebugFrame(m_lastMaster, um.startColumn, um.endColumn, left);
        renderDebugFrame(m_lastSlave, us.startColumn, us.endColumn, right);
    } else {
        m_lastMaster = master;
        m_lastSlave = slave;
        renderFrame(master, m_config.lineNum, m_config.extended, left);
        renderFrame(slave, m_config.lineNum, m_config.extended, right);
        if (!m_config.extended) {
            paintZoneBars(unitLeveling(kMaster).zones, unitLeveling(kMaster).startColumn, left);
            paintZoneBars(unitLeveling(kSlave).zones, unitLeveling(kSlave).startColumn, right);
            g_OptimumLineFlag = 0;
        }
    }
    storeLastFrames(m_lastMaster, m_lastSlave);
    // Half the window each, the aspect ratio kept.
    const QSize area(width() / 2, height() / 2);
    const QSize leftBox = m_leftImage->size().boundedTo(area);
    const QSize rightBox = m_rightImage->size().boundedTo(area);
    m_leftImage->setPixmap(QPixmap::fromImage(toImage(left).scaled(leftBox, Qt::KeepAspectRatio, Qt::FastTransformation)));
    m_rightImage->setPixmap(
        QPixmap::fromImage(toImage(right).scaled(rightBox, Qt::KeepAspectRatio, Qt::FastTransformation)));
    update();
}

void AdjustScreenWin::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    QPainter p(this);
    const QRectF all(0, 0, width(), height());
    QLinearGradient body(all.topLeft(), all.bottomLeft());
    body.setColorAt(0, QColor(248, 251, 255));
    body.setColorAt(1, QColor(222, 233, 247));
    p.fillRect(all, body);
    const int band = m_panel ? height() / 60 : height() / 22;
    QLinearGradient top(QPointF(0, 0), QPointF(0, band));
    top.setColorAt(0, QColor(0, 66, 150));
    top.setColorAt(1, QColor(0, 38, 102));
    p.fillRect(QRectF(0, 0, width(), band), top);
    p.fillRect(QRectF(0, band, width(), std::max(2, band / 16)), QColor(177, 233, 251));
    if (!m_panel) {
        // The window's title in its band, beside the tool's mark.
        const QPixmap mark(shell::context().skinPath() + QStringLiteral("1.png"));
        int x = band / 3;
        if (!mark.isNull()) {
            const QPixmap scaled = mark.scaledToHeight(band * 4 / 5, Qt::SmoothTransformation);
            p.drawPixmap(x, (band - scaled.height()) / 2, scaled);
            x += scaled.width() + band / 4;
        }
        QFont title = widgets::toQFont(shell::context().titleFont());
        title.setPixelSize(std::max(10, band * 9 / 20));
        p.setFont(title);
        p.setPen(Qt::white);
        p.drawText(QRect(x, 0, width() / 2, band), Qt::AlignVCenter | Qt::AlignLeft, shell::context().text(2));
        p.setFont(font());
        // A card behind each unit.
        p.setRenderHint(QPainter::Antialiasing);
        for (const QRect& card : m_cardRect) {
            p.setPen(QPen(QColor(190, 208, 232), 1));
            p.setBrush(QColor(255, 255, 255, 215));
            p.drawRoundedRect(QRectF(card).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
        }
        p.setRenderHint(QPainter::Antialiasing, false);
        paintProfiles(p);
    }
    drawColumnScale(p, m_leftImage->geometry());
    drawColumnScale(p, m_rightImage->geometry());
    if (m_panel)
        paintPlots(p);
}

void AdjustScreenWin::paintProfiles(QPainter& p)
{
    // The band along the columns: for each column the brightest of the
    // frame's lines, with the columns leveling found marked green.
    const FrameBytes* frames[2] = {&m_lastMaster, &m_lastSlave};
    const int lines = m_config.lineNum;
    for (int u = 0; u < 2; ++u) {
        const QRect r = m_profileRect[u];
        if (r.isEmpty())
            continue;
        p.fillRect(r, QColor(12, 16, 24));
        p.setPen(QPen(QColor(45, 60, 80), 1, Qt::DotLine));
        for (int level : {64, 128, 192})
            p.drawLine(r.left(), r.bottom() - level * (r.height() - 1) / 255, r.right(), r.bottom() - level * (r.height() - 1) / 255);
        const UnitLeveling info = unitLeveling(u);
        p.setPen(QPen(QColor(0, 200, 90), 1, Qt::DashLine));
        for (int c : {int(info.startColumn), int(info.endColumn)}) {
            if (c >= 0 && c < 640) {
                const int x = r.left() + c * (r.width() - 1) / 639;
                p.drawLine(x, r.top(), x, r.bottom());
            }
        }
        QPolygonF curve;
        for (int c = 0; c < 640; ++c) {
            int best = 0;
            for (int l = 0; l < lines; ++l) {
                const uint8_t b = (*frames[u])[static_cast<size_t>(l * 640 + c)];
                const bool picture = m_config.extended && l < lines - 1;
                best = std::max(best, picture ? (b & 0x0F) * 16 : int(b));
            }
            curve << QPointF(r.left() + c * (r.width() - 1) / 639.0, r.bottom() - best * (r.height() - 1) / 255.0);
        }
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(255, 214, 90), 1.5));
        p.drawPolyline(curve);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(QColor(120, 150, 190), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(0, 0, -1, -1));
    }
}

void AdjustScreenWin::paintPlots(QPainter& p)
{
    const double w = width();
    const double h = height();
    const double x0 = w / 4;
    const double x1 = 3 * w / 4;
    const int into = m_panel->fingerIntoValue();
    const int out = m_panel->fingerOutValue();
    const FrameBytes* frames[2] = {&m_lastMaster, &m_lastSlave};
    const double bases[2] = {h / 7.2, h / 2.12};
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    for (int u = 0; u < 2; ++u) {
        const double y0 = bases[u];
        p.fillRect(QRectF(x0, y0 - 127, x1 - x0, 127), QColor(255, 255, 255, 200));
        // The thresholds, dashed black: finger into, finger out, and the line at 56.
        p.setPen(QPen(Qt::black, 1, Qt::DashLine));
        for (double y : {y0 - (128 - into) / 2.0, y0 - (128 + out) / 2.0, y0 - 56})
            p.drawLine(QPointF(x0, y), QPointF(x1, y));
        // The frame of the plot and the last line, solid red.
        p.setPen(QPen(Qt::red, 2));
        p.drawLine(QPointF(x0, y0), QPointF(x1, y0));
        p.drawLine(QPointF(x0, y0 - 127), QPointF(x1, y0 - 127));
        QPainterPath line;
        for (int i = 0; i < 640; ++i) {
            const QPointF pt(x0 + i * (w / 2) / 640.0, y0 - (*frames[u])[static_cast<size_t>(kLastLine + i)] / 2.0);
            if (i == 0)
                line.moveTo(pt);
            else
                line.lineTo(pt);
        }
        p.drawPath(line);
    }
    p.restore();
}

} // namespace tovrin::leveling
