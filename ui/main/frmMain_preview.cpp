#include "ui/main/frmMain.h"

#include "frame/caption.h"
#include "frame/fitpicture.h"
#include "platform/system.h"
#include "project/imagelist.h"
#include "project/playback.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

namespace kelbo {

void frmMain::connectPreview()
{
    connect(slPre, &QScrollBar::valueChanged, this, &frmMain::slPre_Change);
    connect(cmdFirst, &QPushButton::clicked, this, &frmMain::cmdFirst_Click);
    connect(cmdBack, &QPushButton::clicked, this, &frmMain::cmdBack_Click);
    connect(cmdNext, &QPushButton::clicked, this, &frmMain::cmdNext_Click);
    connect(cmdLast, &QPushButton::clicked, this, &frmMain::cmdLast_Click);
    connect(cmdPlay, &QPushButton::clicked, this, &frmMain::cmdPlay_Click);
    connect(cmdStop, &QPushButton::clicked, this, &frmMain::cmdStop_Click);
}

void frmMain::slPre_Change()
{
    const int position = slPre->value();
    // After a Clear no entry stands at the position: an empty path, which exists nowhere.
    const QString path = m_files->text(position);
    if (!FileExists(path))
        return;
    Surface &pre = picPre->surface();
    if (m_exportedFrame) // the frame the export has just written: no second decode
        StretchImage(*m_exportedFrame, pre);
    else if (!FitPicture(path, picTemp->surface(), pre, m_fit))
        return;
    pre.refresh();
    pre.commitPicture();
    DrawCaption(pre, txtCap->toPlainText(), cmbAlign->currentIndex());
    pre.refresh();
    lblCount->setText(QStringLiteral("Images : ") + QString::number(slPre->maximum()));
    m_files->select(position);
}

bool frmMain::showPosition(int position)
{
    if (position < 1 || position > m_files->count() || position > kMaxImageEntries)
        return false;
    if (position > slPre->maximum())
        updateSliderMaximum();
    slPre->setValue(position);
    return true;
}

bool frmMain::showExportedFrame(int position, const QImage &frame)
{
    m_exportedFrame = &frame;
    const bool shown = showPosition(position);
    m_exportedFrame = nullptr;
    return shown;
}

void frmMain::cmdFirst_Click()
{
    if (m_files->count() > 0)
        showPosition(1);
}

void frmMain::cmdBack_Click()
{
    const int position = slPre->value() - 1;
    if (position < 1 || m_files->count() == 0)
        return;
    showPosition(position);
}

void frmMain::cmdNext_Click()
{
    const int position = slPre->value() + 1;
    if (position > m_files->count() || m_files->count() == 0)
        return;
    showPosition(position);
}

void frmMain::cmdLast_Click()
{
    if (m_files->count() > 0)
        showPosition(std::min(m_files->count(), kMaxImageEntries));
}

void frmMain::cmdPlay_Click()
{
    PlayAnimation();
}

void frmMain::cmdStop_Click()
{
    mStop = true;
}

void frmMain::PlayAnimation()
{
    mStop = false;
    const int count = m_files->count();
    // The delay of the last valid rate stays while the rate box holds no valid number (it is
    // being edited); before any, the default rate's.
    float delay = frameDelay(ruleFor(NumericField::Fps).defaultText).value_or(0.01f);
    for (int frame = 1; frame <= count; ++frame) {
        waitHooks.pumpEvents();
        if (mStop)
            return;
        // The list may have shrunk meanwhile: playback ends at its last entry.
        if (!showPosition(frame))
            return;
        if (const std::optional<float> rate = frameDelay(txtFPS->text()))
            delay = *rate;
        WaitSeconds(delay);
    }
}

void frmMain::WaitSeconds(float &seconds)
{
    waitWhileRunning(seconds, mStop, waitHooks);
}

} // namespace kelbo
