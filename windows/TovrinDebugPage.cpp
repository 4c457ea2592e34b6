#include "TovrinDebugPage.h"

#include "PreviewPage.h"
#include "widgets/Fonts.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTextEdit>
#include <QVBoxLayout>

#include <algorithm>

namespace tovrin::windows {

namespace {
// Message ids of the page's captions.
namespace msg {
constexpr int Set = 1, Leveling = 2, Versions = 3, Calibrate = 4, Update = 5, Shortcuts = 6, KeyTest = 7, Test = 8;
constexpr int Exit = 11, ParameterReset = 101, EraseFlash = 120, ReadFlash = 121, WriteFlash = 122;
constexpr int FpgaDownload = 124, Script = 125, Download = 126, RunScript = 127, Preview = 128;
constexpr int CompressImage = 129, Clear = 130, StepDebug = 131, Write = 132, Read = 133;
} // namespace msg
constexpr int kButtonsPerRow = 8;
} // namespace

DebugPage::DebugPage(QWidget* window, Captions& captions)
    : QWidget(window)
    , m_captions(captions)
{
    setObjectName(QStringLiteral("debugPage"));
    setFont(widgets::toQFont(shell::context().applicationFont()));
    QPalette pagePalette = palette();
    pagePalette.setColor(QPalette::WindowText, QColor(0, 38, 102));
    setPalette(pagePalette);

    struct Row {
        ButtonId id;
        int caption;
        const char* name;
        std::optional<Entry> entry;
    };
    const Row rows[] = {
        {ButtonId::Leveling, msg::Leveling, "levelingButton", Entry::Leveling},
        {ButtonId::Calibrate, msg::Calibrate, "calibrateButton", Entry::Calibration},
        {ButtonId::Set, msg::Set, "setButton", {}},
        {ButtonId::Versions, msg::Versions, "aboutButton", {}},
        {ButtonId::Shortcuts, msg::Shortcuts, "shortcutsButton", Entry::KeyCalibration},
        {ButtonId::KeyTest, msg::KeyTest, "keyTestButton", Entry::KeyTest},
        {ButtonId::Test, msg::Test, "testButton", {}},
        {ButtonId::Reset, msg::ParameterReset, "resetButton", {}},
        {ButtonId::EraseFlash, msg::EraseFlash, "eraseFlashButton", Entry::EraseFlash},
        {ButtonId::ReadFlash, msg::ReadFlash, "readFlashButton", Entry::ReadFlash},
        {ButtonId::WriteFlash, msg::WriteFlash, "writeFlashButton", Entry::WriteFlash},
        {ButtonId::Update, msg::Update, "updateButton", {}},
    };
    auto* grid = new QGridLayout;
    int index = 0;
    for (const Row& r : rows) {
        grid->addWidget(makeButton(r.id, r.caption, r.name, r.entry), index / kButtonsPerRow, index % kButtonsPerRow);
        ++index;
    }
    QPushButton* finger = makeButton(ButtonId::FingerInto, -1, "fingerIntoButton", Entry::FingerInto);
    finger->setText(QStringLiteral("K274_3 Debug"));
    grid->addWidget(finger, index / kButtonsPerRow, index % kButtonsPerRow);
    ++index;
    QPushButton* info = makeButton(ButtonId::DeviceInfo, -1, "deviceInfoButton", Entry::DeviceInfo);
    info->setText(QStringLiteral("Device Info"));
    grid->addWidget(info, index / kButtonsPerRow, index % kButtonsPerRow);
    ++index;
    QPushButton* quit = makeButton(ButtonId::Quit, msg::Exit, "quitPushButton");
    m_deviceButtons.erase(std::remove(m_deviceButtons.begin(), m_deviceButtons.end(), quit), m_deviceButtons.end());
    grid->addWidget(quit, index / kButtonsPerRow, index % kButtonsPerRow);

    // File rows: FPGA code and register script.
    auto* files = new QGridLayout;
    auto fileRow = [&](int row, int labelId, QLineEdit*& edit, const char* editName, ButtonId browse,
                       const char* browseName, Entry browseEntry, ButtonId action, int actionId, const char* actionName,
                       Entry actionEntry) {
        auto* label = new QLabel(this);
        m_captions.add(label, labelId);
        edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(editName));
        QPushButton* browseButton = makeButton(browse, -1, browseName, browseEntry);
        m_deviceButtons.erase(std::remove(m_deviceButtons.begin(), m_deviceButtons.end(), browseButton),
                              m_deviceButtons.end());
        browseButton->setText(QStringLiteral("..."));
        browseButton->setFixedWidth(browseButton->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
        browseButton->setEnabled(entryAvailable(browseEntry));
        files->addWidget(label, row, 0);
        files->addWidget(edit, row, 1);
        files->addWidget(browseButton, row, 2);
        files->addWidget(makeButton(action, actionId, actionName, actionEntry), row, 3);
    };
    fileRow(0, msg::FpgaDownload, m_fpgaPath, "fpgaPathEdit", ButtonId::FpgaBrowse, "fpgaBrowseButton",
            Entry::FpgaBrowse, ButtonId::Download, msg::Download, "downloadButton", Entry::FpgaDownload);
    fileRow(1, msg::Script, m_scriptPath, "scriptPathEdit", ButtonId::ScriptBrowse, "scriptBrowseButton",
            Entry::ScriptBrowse, ButtonId::RunScript, msg::RunScript, "runScriptButton", Entry::ScriptRun);
    files->setColumnStretch(1, 1);

    // Register step debugging.
    auto* stepGroup = new QGroupBox(this);
    stepGroup->setObjectName(QStringLiteral("stepDebugGroup"));
    m_captions.add(stepGroup, msg::StepDebug);
    auto* step = new QHBoxLayout(stepGroup);
    const auto* hex = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[A-Fa-fXx_0-9]+")), this);
    m_regAddr = new QLineEdit(stepGroup);
    m_regAddr->setObjectName(QStringLiteral("regAddrEdit"));
    m_regAddr->setValidator(hex);
    m_regValue = new QLineEdit(stepGroup);
    m_regValue->setObjectName(QStringLiteral("regValueEdit"));
    m_regValue->setValidator(hex);
    m_sensor = new QCheckBox(QStringLiteral("Sensor"), stepGroup);
    m_sensor->setObjectName(QStringLiteral("sensorBox"));
    m_slave = new QCheckBox(QStringLiteral("Slave"), stepGroup);
    m_slave->setObjectName(QStringLiteral("slaveBox"));
    step->addWidget(new QLabel(QStringLiteral("Reg Addr(HEX)"), stepGroup));
    step->addWidget(m_regAddr, 2);
    step->addWidget(new QLabel(QStringLiteral("Value"), stepGroup));
    step->addWidget(m_regValue, 1);
    step->addWidget(m_sensor);
    step->addWidget(m_slave);
    step->addWidget(makeButton(ButtonId::Write, msg::Write, "writeButton", Entry::RegisterWrite));
    step->addWidget(makeButton(ButtonId::Read, msg::Read, "readButton", Entry::RegisterRead));

    // The Preview page beside its switch and button; the output box below.
    m_preview = new PreviewPage(this);
    m_compress = new QCheckBox(this);
    m_compress->setObjectName(QStringLiteral("compressBox"));
    m_captions.add(m_compress, msg::CompressImage);
    QPushButton* preview = makeButton(ButtonId::Preview, msg::Preview, "previewButton");
    m_output = new QTextEdit(this);
    m_output->setObjectName(QStringLiteral("outputBox"));
    m_output->setReadOnly(true);
    QPushButton* clear = makeButton(ButtonId::Clear, msg::Clear, "clearButton");
    m_deviceButtons.erase(std::remove(m_deviceButtons.begin(), m_deviceButtons.end(), clear), m_deviceButtons.end());
    auto* side = new QVBoxLayout;
    side->addWidget(m_compress);
    side->addWidget(preview);
    side->addStretch(1);
    side->addWidget(clear);
    auto* middle = new QHBoxLayout;
    auto* viewAndText = new QVBoxLayout;
    viewAndText->addWidget(m_preview, 3);
    viewAndText->addWidget(m_output, 2);
    middle->addLayout(viewAndText, 1);
    middle->addLayout(side);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(grid);
    layout->addLayout(files);
    layout->addWidget(stepGroup);
    layout->addLayout(middle, 1);
}

QPushButton* DebugPage::makeButton(ButtonId id, int captionId, const char* objectName, std::optional<Entry> entry)
{
    auto* button = new QPushButton(this);
    button->setObjectName(QString::fromLatin1(objectName));
    // Return in a line edit of the page must not press a button.
    button->setAutoDefault(false);
    button->setDefault(false);
    if (captionId >= 0)
        m_captions.add(button, captionId);
    if (entry) {
        m_entries[button] = *entry;
        if (!entryAvailable(*entry))
            button->setToolTip(QStringLiteral("%1: not yet available").arg(QLatin1String(entryName(*entry))));
    }
    m_buttons[id] = button;
    m_deviceButtons.push_back(button);
    return button;
}

void DebugPage::setDeviceButtonsEnabled(bool enabled, bool onlyUpdate)
{
    for (QPushButton* b : m_deviceButtons) {
        bool on = onlyUpdate ? b == m_buttons.at(ButtonId::Update) : enabled;
        if (auto it = m_entries.find(b); it != m_entries.end())
            on = on && entryAvailable(it->second);
        if (b == m_buttons.at(ButtonId::Preview))
            on = on && m_preview->available();
        b->setEnabled(on);
    }
}

void DebugPage::placeIn(QWidget* window, int bandHeight, QLabel* status, QProgressBar* progress)
{
    // The page may need more room than the background offers: then the
    // window grows and the background is stretched to it.
    const int margin = std::max(8, window->width() / 50);
    const int footer = bandHeight * 9 / 10;
    const QSize need = sizeHint();
    const int w = std::max(window->width(), need.width() + 2 * margin);
    const int h = std::max(window->height(), bandHeight + need.height() + footer + 2 * margin + bandHeight / 3);
    window->resize(w, h);
    setGeometry(margin, bandHeight + margin, w - 2 * margin, h - bandHeight - footer - 2 * margin - bandHeight / 3);
    status->setGeometry(w * 3 / 100, h - footer + 2, w * 94 / 100, footer - 4);
    status->setFont(widgets::toQFont(shell::context().applicationFont()));
    progress->setGeometry(margin, h - footer - bandHeight / 3 - 2, w - 2 * margin, bandHeight / 4);
}

} // namespace tovrin::windows
