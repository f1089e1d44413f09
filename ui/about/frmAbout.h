#pragma once
// The About box: title, version, a details message, the system-information button and the
// links of the distributor (ui/about/aboutinfo.h). Shown modally over the main window through
// Services::showModal; it keeps no state of its own.

#include "platform/registry.h"
#include "platform/services.h"

#include <QDialog>

#include <array>

class QFrame;
class QLabel;
class QPushButton;

namespace kelbo {

class frmAbout : public QDialog {
    Q_OBJECT
public:
    // `registry` is where the system-information program is looked for.
    frmAbout(Services &services, reg::Registry &registry, QWidget *parent = nullptr);

    // --- Controls; positions in pixels are the layout's twips divided by 15. Each keeps its
    // layout name as objectName (Image1, Label2, lblDisclaimer: the e-mail link, Label3,
    // Image2, Command1: "Détails...").
    QLabel *imgIcon = nullptr;
    QLabel *lblTitle = nullptr;
    QLabel *lblVersion = nullptr;
    QLabel *lblDescription = nullptr;
    QLabel *lblNotice = nullptr;
    QLabel *lblEmail = nullptr;
    QLabel *lblWebSite = nullptr;
    QLabel *imgDonate = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdDetails = nullptr;
    QPushButton *cmdSysInfo = nullptr;
    std::array<QFrame *, 2> Line1{}; // the etched rule: a grey line over a white one

    // The details message: lines separated by a carriage return alone.
    static QString detailsText();

    // --- Handlers
    void Form_Load();
    void cmdOK_Click();
    void Command1_Click();
    void cmdSysInfo_Click();
    void Label3_Click();
    void Image2_Click();
    void lblDisclaimer_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildLayout();
    void StartSysInfo();

    Services &m_services;
    reg::Registry &m_registry;
};

} // namespace kelbo
