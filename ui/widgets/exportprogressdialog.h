#pragma once
// The progress window of an export: where it stands, how long it has taken and will take,
// the size written and projected, and "Arrêter". It is modal over the program's windows while
// frames are written, but never blocks: the export updates it between two frames and lets
// its events run, so the windows repaint and input to any other window is refused.

#include "export/progresstext.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace kelbo {

class ExportProgressDialog final : public QDialog {
    Q_OBJECT
public:
    explicit ExportProgressDialog(QWidget *parent = nullptr);

    void showProgress(const ExportProgress &progress);
    // True once "Arrêter" has been pressed (or the window closed).
    bool stopRequested() const { return m_stop; }

    QLabel *lblFrames = nullptr;
    QLabel *lblTime = nullptr;
    QLabel *lblSize = nullptr;
    QProgressBar *bar = nullptr;
    QPushButton *cmdStop = nullptr;

protected:
    void reject() override;

private:
    bool m_stop = false;
};

} // namespace kelbo
