#pragma once
// Picture button of the skinned windows: a label that shows one of four skin
// pictures (normal, focus, pressed, disabled) with a caption painted over it
// in the colour of the look. Keyboard navigation belongs to the window; the
// button only offers the focus look.

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPixmap>
#include <QString>

#include <optional>

namespace tovrin::widgets {

class Button : public QLabel {
    Q_OBJECT
public:
    enum class Look { None, Normal, Focus, Press, Disabled };

    // Caption modes: in a band in the lower part (tiles of the main
    // windows), centred in the whole button, or no caption.
    static constexpr int CaptionBand = 0;
    static constexpr int CaptionCentred = 1;

    explicit Button(QWidget* parent = nullptr);
    ~Button() override;

    // Pictures. A null pixmap (a skin file that could not be loaded) counts
    // as no picture: that look is then never applied.
    void setNormalPixmap(const QPixmap& pixmap);   // applies the normal look at once
    void setFocusPixmap(const QPixmap& pixmap);    // the display does not change
    void setPressPixmap(const QPixmap& pixmap);
    void setDisabledPixmap(const QPixmap& pixmap);

    // Caption colours of the normal, focus, press and disabled look as
    // red, green, blue each; the display does not change.
    void setStateColors(int normalR, int normalG, int normalB, int focusR, int focusG, int focusB,
                        int pressR, int pressG, int pressB, int disabledR, int disabledG, int disabledB);

    // The button's own enabled flag (QWidget::setEnabled is not used by the
    // skinned windows). A disabled button never emits clicked().
    void setButtonEnabled(bool enabled);
    bool isButtonEnabled() const { return m_enabled; }

    // Focus look for keyboard navigation; a disabled button keeps its
    // disabled look whatever the argument.
    void setFocusLook(bool focus);

    void setCaption(const QString& caption);
    QString caption() const { return m_caption; }
    void setCaptionMode(int mode);
    int captionMode() const { return m_captionMode; }
    void setCaptionFont(const QFont& font);
    QFont captionFont() const { return m_captionFont; }

    bool isPressed() const { return m_pressed; }
    // The look last applied (None until a look with a picture was applied).
    Look currentLook() const { return m_look; }

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // Style sheet "color:rgb(r,g,b)" of the look's colour, then its picture;
    // nothing when the look has no picture.
    void applyLook(Look look);

    std::optional<QPixmap> m_normalPixmap;
    std::optional<QPixmap> m_focusPixmap;
    std::optional<QPixmap> m_pressPixmap;
    std::optional<QPixmap> m_disabledPixmap;
    QColor m_normalColor{0, 38, 102};
    QColor m_focusColor{0, 38, 102};
    QColor m_pressColor{255, 255, 255};
    QColor m_disabledColor{193, 193, 193};
    QFont m_captionFont;
    QString m_caption;
    int m_captionMode = CaptionBand;
    bool m_pressed = false;
    bool m_enabled = true;
    Look m_look = Look::None;
};

} // namespace tovrin::widgets
