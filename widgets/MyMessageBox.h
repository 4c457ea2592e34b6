#pragma once
// Frameless skinned message box with one to three answer buttons. It is shown
// modally by its constructor and returns only when closed; the caller reads
// the answer from the process-wide answer value afterwards:
//
//     MyMessageBox::setAnswer(0);
//     MyMessageBox box(this, context().text(117), context().text(12), 1, 2);
//     if (MyMessageBox::answer() == 1) ...
//
// Pictures come from the "messageBox/" folder of the skin: "messageBox.png"
// (the box takes its size from it), "quit1.png"/"quit2.png" and
// "button_Normal.png"/"button_Press.png"/"button_Focus.png".

#include <QDialog>
#include <QList>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <optional>

class QLabel;

namespace tovrin::widgets {

class Button;

class MyMessageBox : public QDialog {
    Q_OBJECT
public:
    // Answers left in the process-wide answer value.
    static constexpr int AnswerCancel = 0;
    static constexpr int AnswerOk = 1;
    static constexpr int AnswerChoose = 2;

    // centred 1 centres the message, any other value aligns it left.
    // buttons 1: one button (label always message 116 "OK", answer 0);
    // 2: OK, Cancel; 3: Re-election, OK, Cancel (values outside 1-3 are taken
    // as the nearest of them). text1..text3 label the visible buttons from
    // left to right; a null string keeps the default label.
    MyMessageBox(QWidget* parent, QString title, QString message, int centred, int buttons,
                 QString text1 = QString(), QString text2 = QString(), QString text3 = QString());
    ~MyMessageBox() override;

    // The answer of the last box (0 cancel, 1 OK, 2 choose) and whether a
    // button or key closed it; a box closed by the window manager changes
    // neither. Callers set the answer to 0 before they build a box.
    static int answer();
    static void setAnswer(int answer);
    static bool answered();
    static void setAnswered(bool answered);

    // For tests of windows that ask questions: while an automatic answer is
    // set, a box is built as usual but not shown; it stores the answer and
    // sets the answered flag as if a button had been pressed, and its
    // constructor returns at once.
    static void setAutoAnswer(std::optional<int> answer);

    // What the recent boxes showed (the last 32), oldest first.
    struct Shown {
        QString title;
        QString message;
        int buttons = 0;
        QStringList labels; // visible answer buttons, left to right
    };
    static QList<Shown> shownBoxes();
    static void clearShownBoxes();

    // Inspection for tests and for windows that wrap the box.
    int buttonCount() const { return m_buttonCount; }
    int focusIndex() const { return m_focusIndex; }
    Button* answerButton(int index) const; // 1-based, left to right; nullptr outside
    Button* quitButton() const { return m_quitButton; }
    QLabel* titleLabel() const { return m_titleLabel; }
    QLabel* messageLabel() const { return m_messageLabel; }
    int backgroundWidth() const { return m_width; }
    int backgroundHeight() const { return m_height; }

public slots:
    void QuitButSlot();
    void CancelButtonSlot();
    void OKButtonSlot();
    void ChooseButtonSlot();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void finish(int answer);
    void moveFocusLook();

    Button* m_quitButton = nullptr;
    Button* m_chooseButton = nullptr;
    Button* m_okButton = nullptr;
    Button* m_cancelButton = nullptr;
    QLabel* m_titleLabel = nullptr;
    QLabel* m_messageLabel = nullptr;
    int m_width = 0;
    int m_height = 0;
    int m_focusIndex = 1;
    int m_buttonCount = 1;
    QPoint m_dragOffset{-1, -1};
};

} // namespace tovrin::widgets
