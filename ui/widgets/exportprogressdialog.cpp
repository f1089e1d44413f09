#include "ui/widgets/exportprogressdialog.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace kelbo {

ExportProgressDialog::ExportProgressDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ExportProgress"));
    setWindowTitle(QStringLiteral("Enregistrement de la vidéo"));
    setWindowModality(Qt::ApplicationModal);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    auto *layout = new QVBoxLayout(this);
    lblFrames = new QLabel(this);
    bar = new QProgressBar(this);
    lblTime = new QLabel(this);
    lblSize = new QLabel(this);
    cmdStop = new QPushButton(QStringLiteral("Arrêter"), this);
    cmdStop->setToolTip(QStringLiteral("Arrêter après l'image en cours : la vidéo garde les images déjà écrites"));
    for (QWidget *w : {static_cast<QWidget *>(lblFrames), static_cast<QWidget *>(bar),
                       static_cast<QWidget *>(lblTime), static_cast<QWidget *>(lblSize)})
        layout->addWidget(w);
    layout->addWidget(cmdStop, 0, Qt::AlignRight);
    setMinimumWidth(340);
    connect(cmdStop, &QPushButton::clicked, this, [this] {
        m_stop = true;
        cmdStop->setEnabled(false);
        cmdStop->setText(QStringLiteral("Arrêt…"));
    });
    showProgress({});
}

void ExportProgressDialog::showProgress(const ExportProgress &progress)
{
    const ProgressTexts texts = progressTexts(progress);
    lblFrames->setText(texts.frames);
    lblTime->setText(texts.time);
    lblSize->setText(texts.size);
    bar->setRange(0, std::max(1, progress.count));
    bar->setValue(progress.written);
}

void ExportProgressDialog::reject()
{
    // Escape or the close box ask for the same stop as the button; the window stays until
    // the export has finished the current frame.
    cmdStop->click();
}

} // namespace kelbo
