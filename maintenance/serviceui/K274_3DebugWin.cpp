#include "K274_3DebugWin.h"

#include "maintenance/service/FingerThreshold.h"

#include "shell/AppContext.h"
#include "widgets/Fonts.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <memory>
#include <utility>

namespace tovrin::maintenance {

K274_3DebugWin::K274_3DebugWin(QWidget* parent)
    : K274_3DebugWin(readFingerThreshold(), {}, parent)
{
}

K274_3DebugWin::K274_3DebugWin(const ThresholdReading& reading, TaskRunner runTask, QWidget* parent)
    : QDialog(parent)
    , m_runTask(std::move(runTask))
{
    setObjectName(QStringLiteral("K274_3DebugWin"));
    setWindowTitle(QStringLiteral("K274_3 Debug"));
    setFont(widgets::toQFont(shell::context().applicationFont()));

    m_statusLabel = new QLabel(this);
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_statusLabel->setAlignment(Qt::AlignCenter);
    m_statusLabel->setMinimumHeight(m_statusLabel->fontMetrics().lineSpacing() * 2);
    m_statusLabel->setStyleSheet(QStringLiteral("QLabel { color:rgb(0,38,102); background:rgb(244,247,252); "
                                                "border:1px solid rgb(193,203,220); padding:4px; }"));

    auto* group = new QGroupBox(shell::context().text(147), this);  // "Finger into threshold"
    auto* row = new QHBoxLayout(group);
    auto* buttons = new QButtonGroup(this);
    for (size_t i = 0; i < m_choices.size(); ++i) {
        auto* radio = new QRadioButton(QStringLiteral("0x%1").arg(kThresholdChoices[i], 2, 16, QLatin1Char('0')), group);
        radio->setObjectName(QStringLiteral("threshold%1").arg(i));
        buttons->addButton(radio, static_cast<int>(i));
        row->addWidget(radio);
        m_choices[i] = radio;
    }

    m_writeButton = new QPushButton(QStringLiteral("Write Flash"), this);
    m_writeButton->setObjectName(QStringLiteral("writeFlashButton"));
    m_writeButton->setAutoDefault(false);
    connect(m_writeButton, &QPushButton::clicked, this, &K274_3DebugWin::OKButSlot);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(m_writeButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_statusLabel);
    layout->addWidget(group);
    layout->addStretch(1);
    layout->addLayout(buttonRow);
    setFixedSize(450, 200);

    m_statusLabel->setText(reading.label());
    if (reading.choice)
        m_choices[static_cast<size_t>(*reading.choice)]->setChecked(true);
}

QString K274_3DebugWin::statusText() const { return m_statusLabel->text(); }

void K274_3DebugWin::OKButSlot()
{
    int chosen = -1;
    for (size_t i = 0; i < m_choices.size(); ++i)
        if (m_choices[i]->isChecked())
            chosen = static_cast<int>(i);
    if (chosen < 0) {
        m_statusLabel->setText(QStringLiteral("Please choose a threshold first!"));
        return;
    }
    const uint8_t threshold = kThresholdChoices[static_cast<size_t>(chosen)];
    if (!m_runTask) {
        m_statusLabel->setText(writeFingerThreshold(threshold).label);
        return;
    }
    m_writeButton->setEnabled(false);
    auto written = std::make_shared<ThresholdWrite>();
    m_runTask([written, threshold] { *written = writeFingerThreshold(threshold); },
              [self = QPointer<K274_3DebugWin>(this), written] {
                  if (!self)
                      return;  // closed meanwhile
                  self->m_statusLabel->setText(written->label);
                  self->m_writeButton->setEnabled(true);
              });
}

} // namespace tovrin::maintenance
