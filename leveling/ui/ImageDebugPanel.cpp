#include "ImageDebugPanel.h"

#include "widgets/WindowKit.h"

#include "shell/AppContext.h"
#include "shell/Settings.h"
#include "widgets/Button.h"
#include "widgets/Fonts.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace tovrin::leveling {

namespace {

const QString kHexPattern = QStringLiteral("[A-Fa-fXx_0-9]+");
const QString kDecimalPattern = QStringLiteral("[0-9]+");
const QString kTextStyle = QStringLiteral("color:rgb(0,38,102);");

QLineEdit* edit(QWidget* parent, const QString& pattern, const QString& text)
{
    auto* e = new QLineEdit(text, parent);
    e->setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), e));
    const int room = e->fontMetrics().horizontalAdvance(QStringLiteral("0x0000_")) + 12;
    e->setMinimumWidth(room);
    e->setMaximumWidth(room * 3 / 2);
    return e;
}

QCheckBox* box(QWidget* parent, const QString& text)
{
    auto* b = new QCheckBox(text, parent);
    b->setStyleSheet(kTextStyle);
    return b;
}

QLabel* label(QWidget* parent, const QString& text)
{
    auto* l = new QLabel(text, parent);
    l->setStyleSheet(kTextStyle);
    return l;
}

widgets::Button* button(QWidget* parent, const QString& caption, const char* name)
{
    widgets::Button* b = widgets::makeCaptionButton(parent, QStringLiteral("button"), caption, name);
    b->setFixedSize(b->size().isEmpty() ? QSize(120, 34) : QSize(b->width() * 3 / 4, b->height() * 3 / 4));
    return b;
}

QGroupBox* group(QWidget* parent, const QString& title)
{
    auto* g = new QGroupBox(title, parent);
    g->setStyleSheet(QStringLiteral("QGroupBox{color:rgb(0,38,102);font-weight:bold;border:1px solid rgb(160,185,215);"
                                    "border-radius:6px;margin-top:14px;padding:2px;background:rgba(255,255,255,150);}"
                                    "QGroupBox::title{subcontrol-origin:margin;left:10px;padding:0 4px;}"));
    return g;
}

int hexValue(const QLineEdit* e)
{
    const auto v = byteFromHexText(e->text());
    return v ? *v : 0;
}

} // namespace

ImageDebugPanel::ImageDebugPanel(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("imageDebugPanel"));
    const shell::AppContext& ctx = shell::context();
    QFont small = widgets::toQFont(ctx.applicationFont());
    if (small.pointSize() > 8)
        small.setPointSize(small.pointSize() - 1);
    setFont(small);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);

    // The leveling settings record: thresholds, automatic functions, flash.
    QGroupBox* record = group(this, QString());
    auto* rg = new QGridLayout(record);
    namespace s = shell::settings;
    auto iniHex = [](const shell::HexSetting& k) {
        return shell::readText(QString::fromLatin1(k.key), QString::fromLatin1(k.fallback));
    };
    fingerInto = edit(record, kHexPattern, iniHex(s::pointValueBegin));
    fingerOut = edit(record, kHexPattern, iniHex(s::pointValueEnd));
    exposureThreshold = edit(record, kHexPattern, iniHex(s::expValue));
    cogradient = edit(record, kHexPattern, iniHex(s::vsyncDiff));
    rg->addWidget(label(record, ctx.text(147)), 0, 0);
    rg->addWidget(fingerInto, 0, 1);
    rg->addWidget(label(record, ctx.text(148)), 1, 0);
    rg->addWidget(fingerOut, 1, 1);
    rg->addWidget(label(record, ctx.text(149)), 2, 0);
    rg->addWidget(exposureThreshold, 2, 1);
    rg->addWidget(label(record, ctx.text(150)), 3, 0);
    rg->addWidget(cogradient, 3, 1);
    autoUpdateBk = box(record, QStringLiteral("AutoUpdateBK"));
    autoImageEval = box(record, QStringLiteral("AutoImageEval"));
    autoStartLine = box(record, QStringLiteral("AutoStartLine"));
    autoUpdateBk->setChecked(s::autoUpdateBk.read() != 0);
    autoImageEval->setChecked(s::autoImageEval.read() != 0);
    autoStartLine->setChecked(s::autoStartLine.read() != 0);
    flashSlave = box(record, QStringLiteral("Slave"));
    rg->addWidget(autoUpdateBk, 4, 0);
    rg->addWidget(autoImageEval, 4, 1);
    rg->addWidget(autoStartLine, 5, 0);
    rg->addWidget(flashSlave, 5, 1);
    flashRead = button(record, QStringLiteral("FlashRead"), "flashReadButton");
    flashWrite = button(record, QStringLiteral("FlashWrite"), "flashWriteButton");
    rg->addWidget(flashRead, 6, 0, Qt::AlignLeft);
    rg->addWidget(flashWrite, 6, 1, Qt::AlignLeft);
    row->addWidget(record, 3);

    // Single registers.
    QGroupBox* regs = group(this, ctx.text(131));
    auto* gg = new QGridLayout(regs);
    regAddress = edit(regs, kHexPattern, QStringLiteral("0x35"));
    regValue = edit(regs, kHexPattern, QStringLiteral("0x00"));
    gg->addWidget(label(regs, QStringLiteral("Reg Addr(HEX)")), 0, 0);
    gg->addWidget(regAddress, 0, 1);
    gg->addWidget(label(regs, QStringLiteral("Value")), 1, 0);
    gg->addWidget(regValue, 1, 1);
    sensor = box(regs, QStringLiteral("Sensor"));
    regSlave = box(regs, QStringLiteral("Slave"));
    gg->addWidget(sensor, 2, 0);
    gg->addWidget(regSlave, 2, 1);
    read = button(regs, QStringLiteral("Read"), "regReadButton");
    write = button(regs, QStringLiteral("Write"), "regWriteButton");
    gg->addWidget(read, 3, 0);
    gg->addWidget(write, 3, 1);
    row->addWidget(regs, 2);

    // Background, preview, samples, FPGA.
    QGroupBox* view = group(this, QString());
    auto* vg = new QGridLayout(view);
    showMasterBackground = box(view, ctx.text(145));
    showSlaveBackground = box(view, ctx.text(146));
    vg->addWidget(showMasterBackground, 0, 0, 1, 2);
    vg->addWidget(showSlaveBackground, 1, 0, 1, 2);
    whiteZone = box(view, QStringLiteral("White Zone"));
    blackZone = box(view, QStringLiteral("Black Zone"));
    bkSlave = box(view, QStringLiteral("Slave"));
    vg->addWidget(whiteZone, 2, 0);
    vg->addWidget(blackZone, 2, 1);
    vg->addWidget(bkSlave, 2, 2);
    closePreview = box(view, QStringLiteral("Close Preview"));
    onlyLastLine = box(view, QStringLiteral("Only Last Line"));
    vg->addWidget(closePreview, 3, 0, 1, 3);
    vg->addWidget(onlyLastLine, 4, 0, 1, 3);
    updateBK = button(view, QStringLiteral("UpdateBK"), "updateBkButton");
    saveData = button(view, QStringLiteral("SaveData"), "saveDataButton");
    resetFpga = button(view, QStringLiteral("ResetFpga"), "resetFpgaButton");
    vg->addWidget(updateBK, 5, 0);
    vg->addWidget(saveData, 5, 1);
    vg->addWidget(resetFpga, 5, 2);
    row->addWidget(view, 3);

    // Config Column.
    QGroupBox* columns = group(this, QStringLiteral("Config Column"));
    auto* cg = new QGridLayout(columns);
    leftStart = edit(columns, kDecimalPattern, QString());
    leftEnd = edit(columns, kDecimalPattern, QString());
    rightStart = edit(columns, kDecimalPattern, QString());
    rightEnd = edit(columns, kDecimalPattern, QString());
    cg->addWidget(label(columns, QStringLiteral("Left Start~End")), 0, 0, 1, 2);
    cg->addWidget(leftStart, 1, 0);
    cg->addWidget(leftEnd, 1, 1);
    cg->addWidget(label(columns, QStringLiteral("Right Start~End")), 2, 0, 1, 2);
    cg->addWidget(rightStart, 3, 0);
    cg->addWidget(rightEnd, 3, 1);
    writeColumn = button(columns, QStringLiteral("Write"), "writeColumnButton");
    cg->addWidget(writeColumn, 4, 0, 1, 2, Qt::AlignLeft);
    row->addWidget(columns, 2);
}

PanelSettings ImageDebugPanel::settings() const
{
    PanelSettings p;
    p.exposureThreshold = exposureThreshold->text();
    p.fingerInto = fingerInto->text();
    p.fingerOut = fingerOut->text();
    p.cogradient = cogradient->text();
    p.autoUpdateBk = autoUpdateBk->isChecked();
    p.autoImageEval = autoImageEval->isChecked();
    p.autoStartLine = autoStartLine->isChecked();
    return p;
}

void ImageDebugPanel::showSettings(const PanelSettings& p)
{
    fingerInto->setText(p.fingerInto);
    fingerOut->setText(p.fingerOut);
    exposureThreshold->setText(p.exposureThreshold);
    cogradient->setText(p.cogradient);
    autoUpdateBk->setChecked(p.autoUpdateBk);
    autoImageEval->setChecked(p.autoImageEval);
    autoStartLine->setChecked(p.autoStartLine);
}

int ImageDebugPanel::fingerIntoValue() const { return hexValue(fingerInto); }
int ImageDebugPanel::fingerOutValue() const { return hexValue(fingerOut); }

} // namespace tovrin::leveling
