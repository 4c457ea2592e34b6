#include "MyMessageBox.h"

#include "Button.h"
#include "Fonts.h"
#include "shell/AppContext.h"
#include "shell/Settings.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPixmap>

#include <algorithm>
#include <atomic>

namespace tovrin::widgets {

namespace {

std::atomic<int> g_answer{0};
std::atomic<int> g_answered{0};

// GUI thread only, like the boxes themselves.
std::optional<int> g_autoAnswer;
QList<MyMessageBox::Shown> g_shown;
constexpr qsizetype kShownKept = 32;

// Message ids of the default labels.
constexpr int kTextOk = 116;
constexpr int kTextCancel = 13;
constexpr int kTextReElection = 40;

// Size of a box whose background picture is missing, so that it stays
// visible and can be answered.
constexpr QSize kFallbackBoxSize(480, 270);

} // namespace

int MyMessageBox::answer() { return g_answer.load(); }
void MyMessageBox::setAnswer(int answer) { g_answer.store(answer); }
bool MyMessageBox::answered() { return g_answered.load() != 0; }
void MyMessageBox::setAnswered(bool answered) { g_answered.store(answered ? 1 : 0); }
void MyMessageBox::setAutoAnswer(std::optional<int> answer) { g_autoAnswer = answer; }
QList<MyMessageBox::Shown> MyMessageBox::shownBoxes() { return g_shown; }
void MyMessageBox::clearShownBoxes() { g_shown.clear(); }

MyMessageBox::MyMessageBox(QWidget* parent, QString title, QString message, int centred, int buttons,
                           QString text1, QString text2, QString text3)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    const shell::AppContext& ctx = shell::AppContext::instance();
    const QString folder = ctx.skinPath() + QStringLiteral("messageBox/");
    m_buttonCount = std::clamp(buttons, 1, 3);

    setMouseTracking(true);
    installEventFilter(this);

    // The box takes its size from the background picture.
    const QPixmap background(folder + QStringLiteral("messageBox.png"));
    const QSize boxSize = background.isNull() ? kFallbackBoxSize : background.size();
    m_width = boxSize.width();
    m_height = boxSize.height();
    const int W = m_width;
    const int H = m_height;
    if (!background.isNull()) {
        QPalette pal = palette();
        pal.setBrush(QPalette::Window, QBrush(background));
        setPalette(pal);
    }
    setAutoFillBackground(true);

    const QFont buttonFont = toQFont(ctx.buttonFont());
    QFont titleFont = toQFont(ctx.titleFont());
    if (buttonFont.pointSize() > 0)
        titleFont.setPointSize(buttonFont.pointSize());

    // Quit button, top right.
    const int quitX = static_cast<int>(W / 1.154);
    m_quitButton = new Button(this);
    const QPixmap quit1(folder + QStringLiteral("quit1.png"));
    m_quitButton->setNormalPixmap(quit1);
    m_quitButton->setFocusPixmap(quit1);
    m_quitButton->setDisabledPixmap(quit1);
    m_quitButton->setPressPixmap(QPixmap(folder + QStringLiteral("quit2.png")));
    m_quitButton->setGeometry(quitX, static_cast<int>(H / 41.83), static_cast<int>(W / 8.52), static_cast<int>(H / 9.65));
    connect(m_quitButton, &Button::clicked, this, &MyMessageBox::QuitButSlot);

    // Texts may come from the language file or from a device: never rich text.
    m_titleLabel = new QLabel(this);
    m_titleLabel->setTextFormat(Qt::PlainText);
    m_titleLabel->setText(title);
    m_titleLabel->setFont(titleFont);
    m_titleLabel->setStyleSheet(QStringLiteral("color:rgb(255,255,255)"));
    const int titleX = static_cast<int>(W / 60.9);
    m_titleLabel->setGeometry(titleX, static_cast<int>(H / 41.83), std::min(250, quitX - titleX), static_cast<int>(H / 10.4));

    m_messageLabel = new QLabel(this);
    m_messageLabel->setTextFormat(Qt::PlainText);
    m_messageLabel->setText(message);
    m_messageLabel->setFont(buttonFont);
    m_messageLabel->setStyleSheet(QStringLiteral("color:rgb(0,38,102)"));
    m_messageLabel->setWordWrap(true);
    const int messageY = static_cast<int>(H / 7.61);
    const int messageH = static_cast<int>(H / 1.578);
    if (centred == 1) {
        m_messageLabel->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        m_messageLabel->setGeometry(0, messageY, W, messageH);
    } else {
        // Left-aligned text starts at W/5 and is W/1.2 wide; that would run
        // past the right edge, so the width stops a margin short of it.
        const int x = static_cast<int>(W / 5);
        const int width = std::min(static_cast<int>(W / 1.2), W - x - static_cast<int>(W / 20));
        m_messageLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        m_messageLabel->setGeometry(x, messageY, width, messageH);
    }

    // Answer buttons.
    QFont answerFont = buttonFont;
    if (m_buttonCount == 3 && shell::settings::Language.read() == 2 && buttonFont.pointSize() > 3)
        answerFont.setPointSize(buttonFont.pointSize() - 3);
    const QPixmap normal(folder + QStringLiteral("button_Normal.png"));
    const QPixmap press(folder + QStringLiteral("button_Press.png"));
    const QPixmap focus(folder + QStringLiteral("button_Focus.png"));
    // Without its picture a button keeps a usable size for its caption.
    const QSize buttonSize = normal.isNull() ? QSize(W / 4, H / 8) : normal.size();
    const int buttonY = static_cast<int>(H / 1.23);
    auto makeButton = [&](int x, void (MyMessageBox::*slot)()) {
        auto* b = new Button(this);
        b->setCaptionMode(Button::CaptionCentred);
        b->setCaptionFont(answerFont);
        b->setStyleSheet(QStringLiteral("color:rgb(0,38,102)"));
        b->setNormalPixmap(normal);
        b->setPressPixmap(press);
        b->setFocusPixmap(focus);
        b->setGeometry(x, buttonY, buttonSize.width(), buttonSize.height());
        b->hide();
        b->setFocusLook(false);
        connect(b, &Button::clicked, this, slot);
        return b;
    };
    m_chooseButton = makeButton(static_cast<int>(W / 13.5), &MyMessageBox::ChooseButtonSlot);
    m_okButton = makeButton(static_cast<int>(W / 2.6), &MyMessageBox::OKButtonSlot);
    m_cancelButton = makeButton(buttonSize.width() + static_cast<int>(W / 2.52), &MyMessageBox::CancelButtonSlot);

    const auto label = [&ctx](const QString& given, int id) { return given.isNull() ? ctx.text(id) : given; };
    switch (m_buttonCount) {
    case 1:
        m_cancelButton->setCaption(ctx.text(kTextOk));
        break;
    case 2:
        m_okButton->setCaption(label(text1, kTextOk));
        m_cancelButton->setCaption(label(text2, kTextCancel));
        break;
    default:
        m_chooseButton->setCaption(label(text1, kTextReElection));
        m_okButton->setCaption(label(text2, kTextOk));
        m_cancelButton->setCaption(label(text3, kTextCancel));
        break;
    }
    Shown shown{title, message, m_buttonCount, {}};
    for (int i = 1; i <= m_buttonCount; ++i) {
        answerButton(i)->show();
        shown.labels << answerButton(i)->caption();
    }
    g_shown.append(shown);
    if (g_shown.size() > kShownKept)
        g_shown.removeFirst();

    m_focusIndex = 1;
    answerButton(1)->setFocusLook(true);
    resize(W, H);

    if (g_autoAnswer) {
        finish(*g_autoAnswer);
        return;
    }
    exec();
}

MyMessageBox::~MyMessageBox() = default;

Button* MyMessageBox::answerButton(int index) const
{
    // Visible buttons from left to right: choose, OK, cancel; the smaller
    // sets drop them from the left.
    const int first = 4 - m_buttonCount; // 1 = choose, 2 = OK, 3 = cancel
    const int slot = first + index - 1;
    if (index < 1 || index > m_buttonCount)
        return nullptr;
    return slot == 1 ? m_chooseButton : slot == 2 ? m_okButton : m_cancelButton;
}

void MyMessageBox::finish(int answer)
{
    setAnswer(answer);
    setAnswered(true);
    close();
}

void MyMessageBox::QuitButSlot() { finish(AnswerCancel); }
void MyMessageBox::CancelButtonSlot() { finish(AnswerCancel); }
void MyMessageBox::OKButtonSlot() { finish(AnswerOk); }
void MyMessageBox::ChooseButtonSlot() { finish(AnswerChoose); }

void MyMessageBox::moveFocusLook()
{
    for (int i = 1; i <= m_buttonCount; ++i)
        answerButton(i)->setFocusLook(i == m_focusIndex);
}

void MyMessageBox::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        finish(AnswerCancel);
        break;
    case Qt::Key_Tab:
        if (m_buttonCount > 1)
            m_focusIndex = m_focusIndex % m_buttonCount + 1;
        moveFocusLook();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        // The rightmost button always cancels, the one left of it is OK and
        // the first of three is "choose".
        const int fromRight = m_buttonCount - m_focusIndex;
        finish(fromRight == 0 ? AnswerCancel : fromRight == 1 ? AnswerOk : AnswerChoose);
        break;
    }
    default:
        break;
    }
    event->accept();
}

bool MyMessageBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != this)
        return QDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress:
        // Handled here so that Tab never reaches QWidget's focus chain.
        keyPressEvent(static_cast<QKeyEvent*>(event));
        return true;
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const int y = mouse->position().toPoint().y();
        if (mouse->button() == Qt::LeftButton && y >= 0 && y <= static_cast<int>(m_height / 8.85))
            m_dragOffset = mouse->globalPosition().toPoint() - frameGeometry().topLeft();
        mouse->accept();
        return true;
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (m_dragOffset != QPoint(-1, -1))
            move(mouse->globalPosition().toPoint() - m_dragOffset);
        mouse->accept();
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton)
            m_dragOffset = QPoint(-1, -1);
        mouse->accept();
        return true;
    }
    default:
        return QDialog::eventFilter(watched, event);
    }
}

} // namespace tovrin::widgets
