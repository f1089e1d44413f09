#include "ui/about/frmAbout.h"

#include "platform/system.h"
#include "ui/widgets/appicon.h"
#include "ui/about/aboutinfo.h"
#include "ui/about/sysinfo.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

#include <utility>

namespace kelbo {

namespace {

// The layout is given in twips; 15 twips make one pixel.
QRect twips(int left, int top, int width, int height)
{
    return {left / 15, top / 15, width / 15, height / 15};
}

// Comic Sans MS and MS Sans Serif are replaced by Comic Neue and Liberation Sans.
QFont comicFont(bool bold = false)
{
    QFont font(QStringLiteral("Comic Neue"));
    font.setPointSizeF(8.25);
    font.setBold(bold);
    return font;
}

QFont sansFont(bool bold = false)
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSizeF(8.25);
    font.setBold(bold);
    return font;
}

QLabel *label(QWidget *parent, const QString &text, const QRect &geometry)
{
    auto *l = new QLabel(text, parent);
    l->setGeometry(geometry);
    l->setFont(comicFont());
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setTextFormat(Qt::PlainText);
    return l;
}

// A label that reads like a link: blue text and a hand pointer.
void makeLink(QLabel *label, const QString &tip)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    label->setPalette(palette);
    label->setCursor(Qt::PointingHandCursor);
    label->setToolTip(tip);
}

QPushButton *button(QWidget *parent, const QString &caption, const QRect &geometry,
                    const QFont &font)
{
    auto *b = new QPushButton(caption, parent);
    b->setGeometry(geometry);
    b->setFont(font);
    return b;
}

QFrame *line(QWidget *parent, const QRect &geometry, const QColor &color)
{
    auto *f = new QFrame(parent);
    f->setGeometry(geometry);
    f->setFrameShape(QFrame::NoFrame);
    f->setAutoFillBackground(true);
    QPalette palette = f->palette();
    palette.setColor(QPalette::Window, color);
    f->setPalette(palette);
    return f;
}

} // namespace

frmAbout::frmAbout(Services &services, reg::Registry &registry, QWidget *parent)
    : QDialog(parent), m_services(services), m_registry(registry)
{
    setObjectName(QStringLiteral("frmAbout"));
    // Fixed dialog border: title and close box only.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(382, 224);
    setSizeGripEnabled(false);
    buildLayout();
    Form_Load();
}

void frmAbout::buildLayout()
{
    imgIcon = new QLabel(this);
    imgIcon->setGeometry(twips(120, 240, 720, 720));
    imgIcon->setScaledContents(true); // the 32 x 32 icon stretched to the box
    imgIcon->setPixmap(appIcon().pixmap(32, 32));

    lblTitle = label(this, QString(), twips(1080, 120, 3885, 240));
    lblTitle->setFont(comicFont(true));
    lblVersion = label(this, QString(), twips(1050, 480, 3885, 225));
    // The dots of "1.2.0" almost vanish in Comic Neue at this size.
    lblVersion->setFont(sansFont());
    lblDescription = label(this, about::description(), twips(1080, 840, 3885, 330));
    lblDescription->setWordWrap(true);

    // The etched rule between the notices and the links.
    Line1[0] = line(this, QRect(8, 82, 366, 1), QColor(128, 128, 128));
    Line1[1] = line(this, QRect(8, 83, 366, 1), QColor(255, 255, 255));

    lblEmail = label(this, QStringLiteral("E-Mail : ") + about::email(),
                          twips(600, 1320, 2625, 225));
    makeLink(lblEmail, QStringLiteral("Envoyer un courriel"));
    lblWebSite = label(this, QStringLiteral("URL : ") + about::webSiteText(),
                   twips(1080, 1680, 2115, 225));
    makeLink(lblWebSite, about::visitTip());
    lblNotice = label(this, about::notice(), twips(600, 2040, 2775, 255));

    imgDonate = new QLabel(this);
    imgDonate->setGeometry(twips(1320, 2520, 1500, 660));
    imgDonate->setPixmap(about::donationPicture());
    imgDonate->setCursor(Qt::PointingHandCursor);
    imgDonate->setToolTip(about::donateTip());

    cmdOK = button(this, QStringLiteral("OK"), twips(3960, 1440, 1500, 585), sansFont(true));
    cmdOK->setDefault(true);
    cmdDetails = button(this, QStringLiteral("Détails..."), twips(3960, 2280, 1455, 375),
                      comicFont());
    cmdSysInfo = button(this, QStringLiteral("&Système Info..."), twips(3960, 2760, 1485, 345),
                        comicFont());
    cmdSysInfo->setToolTip(QStringLiteral("Informations système"));

    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(cmdDetails, &QPushButton::clicked, this, &frmAbout::Command1_Click);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
    for (QLabel *clickable : {lblEmail, lblWebSite, imgDonate})
        clickable->installEventFilter(this);
    cmdOK->setFocus();

    // The controls keep the names of the layout, by which they are found.
    const std::pair<QWidget *, const char *> names[] = {
        {imgIcon, "Image1"},       {lblTitle, "lblTitle"},     {lblVersion, "lblVersion"},
        {lblDescription, "lblDescription"}, {lblNotice, "Label2"}, {lblEmail, "lblDisclaimer"},
        {lblWebSite, "Label3"},    {imgDonate, "Image2"},      {cmdOK, "cmdOK"},
        {cmdDetails, "Command1"},  {cmdSysInfo, "cmdSysInfo"}};
    for (const auto &[widget, name] : names)
        widget->setObjectName(QLatin1String(name));
}

void frmAbout::Form_Load()
{
    setWindowTitle(QStringLiteral("A propos ") + app::title());
    lblVersion->setText(QStringLiteral("Version %1.%2.%3")
                            .arg(app::major())
                            .arg(app::minor())
                            .arg(app::revision()));
    lblTitle->setText(app::title());
}

QString frmAbout::detailsText()
{
    const QChar cr(13);
    return app::title() + QStringLiteral(" version ") + app::versionText()
        + QStringLiteral(" - Création d'animations au format AVI") + cr
        + cr
        + about::maker() + cr
        + QStringLiteral("E-Mail : ") + about::email() + cr
        + QStringLiteral("URL : ") + about::webSiteUrl() + cr
        + cr
        + about::licenceNotice();
}

void frmAbout::cmdOK_Click()
{
    done(QDialog::Accepted);
}

void frmAbout::Command1_Click()
{
    m_services.message(detailsText(), QStringLiteral("A propos"), MsgIcon::Information);
}

void frmAbout::cmdSysInfo_Click()
{
    StartSysInfo();
}

void frmAbout::StartSysInfo()
{
    startSystemInformation(m_registry, m_services);
}

// The links' failures are ignored: nothing is shown.
void frmAbout::Label3_Click()
{
    (void)m_services.openUrl(about::webSiteUrl());
}

void frmAbout::Image2_Click()
{
    (void)m_services.openUrl(about::donationUrl());
}

void frmAbout::lblDisclaimer_Click()
{
    (void)m_services.openUrl(QStringLiteral("mailto:") + about::email());
}

bool frmAbout::eventFilter(QObject *watched, QEvent *event)
{
    // A click is a left-button release over the control that was pressed.
    if (event->type() == QEvent::MouseButtonRelease) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        auto *widget = qobject_cast<QWidget *>(watched);
        if (mouse->button() == Qt::LeftButton && widget != nullptr
            && widget->rect().contains(mouse->position().toPoint())) {
            if (watched == lblWebSite)
                Label3_Click();
            else if (watched == imgDonate)
                Image2_Click();
            else if (watched == lblEmail)
                lblDisclaimer_Click();
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmAbout::keyPressEvent(QKeyEvent *event)
{
    // "OK" is also the cancel button: Escape presses it.
    if (event->matches(QKeySequence::Cancel)) {
        cmdOK->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace kelbo
