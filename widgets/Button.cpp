#include "Button.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

namespace tovrin::widgets {

namespace {
std::optional<QPixmap> stored(const QPixmap& pixmap)
{
    if (pixmap.isNull())
        return std::nullopt;
    return pixmap;
}
} // namespace

Button::Button(QWidget* parent)
    : QLabel(parent)
{
    setAttribute(Qt::WA_MouseTracking);
}

Button::~Button() = default;

void Button::setNormalPixmap(const QPixmap& pixmap)
{
    m_normalPixmap = stored(pixmap);
    applyLook(Look::Normal);
}

void Button::setFocusPixmap(const QPixmap& pixmap) { m_focusPixmap = stored(pixmap); }
void Button::setPressPixmap(const QPixmap& pixmap) { m_pressPixmap = stored(pixmap); }
void Button::setDisabledPixmap(const QPixmap& pixmap) { m_disabledPixmap = stored(pixmap); }

void Button::setStateColors(int normalR, int normalG, int normalB, int focusR, int focusG, int focusB,
                            int pressR, int pressG, int pressB, int disabledR, int disabledG, int disabledB)
{
    m_normalColor = QColor(normalR, normalG, normalB);
    m_focusColor = QColor(focusR, focusG, focusB);
    m_pressColor = QColor(pressR, pressG, pressB);
    m_disabledColor = QColor(disabledR, disabledG, disabledB);
}

void Button::setButtonEnabled(bool enabled)
{
    m_enabled = enabled;
    if (!enabled)
        applyLook(Look::Disabled);
    else if (m_pressed)
        applyLook(Look::Press);
    else
        applyLook(Look::Normal);
}

void Button::setFocusLook(bool focus)
{
    if (!m_enabled)
        applyLook(Look::Disabled);
    else if (!focus)
        applyLook(Look::Normal);
    else if (m_pressed)
        applyLook(Look::Press);
    else
        applyLook(Look::Focus);
}

void Button::setCaption(const QString& caption)
{
    m_caption = caption;
    update();
}

void Button::setCaptionMode(int mode)
{
    m_captionMode = mode;
    update();
}

void Button::setCaptionFont(const QFont& font)
{
    m_captionFont = font;
    update();
}

void Button::applyLook(Look look)
{
    const std::optional<QPixmap>* pixmap = nullptr;
    QColor color;
    switch (look) {
    case Look::Normal: pixmap = &m_normalPixmap; color = m_normalColor; break;
    case Look::Focus: pixmap = &m_focusPixmap; color = m_focusColor; break;
    case Look::Press: pixmap = &m_pressPixmap; color = m_pressColor; break;
    case Look::Disabled: pixmap = &m_disabledPixmap; color = m_disabledColor; break;
    case Look::None: return;
    }
    if (!pixmap->has_value())
        return;
    setStyleSheet(QStringLiteral("color:rgb(%1,%2,%3)").arg(color.red()).arg(color.green()).arg(color.blue()));
    setPixmap(**pixmap);
    m_look = look;
}

void Button::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    if (!m_enabled) {
        applyLook(Look::Disabled);
        return;
    }
    m_pressed = true;
    applyLook(Look::Press);
}

void Button::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    if (!m_enabled) {
        applyLook(Look::Disabled);
        return;
    }
    m_pressed = false;
    // A release on the left or top edge, or beyond them, is not a click; one
    // beyond the right or bottom edge still is.
    const QPoint at = event->position().toPoint();
    if (at.x() >= 1 && at.y() >= 1) {
        // A receiver may close or delete the window that holds this button.
        const QPointer<Button> self(this);
        emit clicked();
        if (!self)
            return;
    }
    if (m_enabled)
        applyLook(Look::Normal);
}

void Button::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    if (m_caption.isEmpty())
        return;
    QRect area;
    if (m_captionMode == CaptionBand) {
        // The band sits below the icon of a tile: from ⌊height / 1.45⌋, as
        // tall as the font's point size plus 16 pixels.
        const int pointSize = m_captionFont.pointSize() > 0 ? m_captionFont.pointSize() : QFontInfo(m_captionFont).pointSize();
        area = QRect(0, static_cast<int>(height() / 1.45), width(), pointSize + 16);
    } else if (m_captionMode == CaptionCentred) {
        area = rect();
    } else {
        return;
    }
    QPainter painter(this);
    painter.setFont(m_captionFont);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(area, Qt::AlignHCenter | Qt::AlignVCenter, m_caption);
}

} // namespace tovrin::widgets
