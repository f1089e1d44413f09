// The settings rules on plain text fields, under a French and under the C locale.
#include "project/settings.h"
#include "scriptedservices.h"

#include <QTest>

using namespace kelbo;
using kelbo::test::ScriptedServices;

namespace {

// A text box whose change notification runs the per-change rule, as the window's do; it
// remembers every text it was given.
class RuledField final : public TextField {
public:
    RuledField(NumericField field, QString text, QLocale locale)
        : m_field(field), m_text(std::move(text)), m_locale(std::move(locale)) {}
    QString text() const override { return m_text; }
    void setText(const QString &text) override
    {
        m_text = text;
        history << text;
        const QString corrected = perChangeText(m_field, m_text, m_locale);
        if (corrected != m_text)
            setText(corrected);
    }
    QStringList history;

private:
    NumericField m_field;
    QString m_text;
    QLocale m_locale;
};

const QString kFpsLarge = QStringLiteral("Le nombre d'images par seconde ne peut dépasser 30.");
const QString kFpsSmall = QStringLiteral("Le nombre d'images par seconde doit être supérieur à 0.");
const QString kSizeLarge = QStringLiteral("La taille ne peut dépasser 640 Pixels.");
const QString kSizeSmall = QStringLiteral("La taille doit être supérieure à 96 Pixels.");

} // namespace

Q_DECLARE_METATYPE(kelbo::NumericField)

class TestSettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void perChange_data();
    void perChange();
    void rangeRule_data();
    void rangeRule();
    void messageBoxes();
    void textReplacedAfterMessage();
    void resetOrder();
    void labels();
};

void TestSettings::perChange_data()
{
    QTest::addColumn<NumericField>("field");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("result");
    const QString fr = QStringLiteral("fr_FR"), c = QStringLiteral("C");
    QTest::newRow("empty stays empty") << NumericField::Width << fr << "" << "";
    QTest::newRow("number stays") << NumericField::Width << fr << "96," << "96,";
    QTest::newRow("fps letters") << NumericField::Fps << fr << "a" << "30";
    QTest::newRow("width letters") << NumericField::Width << fr << "1x" << "320";
    QTest::newRow("height letters") << NumericField::Height << fr << "-" << "240";
    QTest::newRow("out of range stays") << NumericField::Fps << fr << "50" << "50";
    QTest::newRow("point under fr") << NumericField::Fps << fr << "2.5" << "30";
    QTest::newRow("point under C") << NumericField::Fps << c << "2.5" << "2.5";
    QTest::newRow("comma under C") << NumericField::Fps << c << "2,5" << "30";
}

void TestSettings::perChange()
{
    QFETCH(NumericField, field);
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(QString, result);
    QCOMPARE(perChangeText(field, text, QLocale(locale)), result);
}

void TestSettings::rangeRule_data()
{
    QTest::addColumn<NumericField>("field");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("result");
    const QString fr = QStringLiteral("fr_FR"), c = QStringLiteral("C");
    const QStringList none;
    QTest::newRow("fps empty") << NumericField::Fps << fr << "" << none << "30";
    QTest::newRow("width empty") << NumericField::Width << fr << "" << none << "320";
    QTest::newRow("height empty") << NumericField::Height << fr << "" << none << "240";
    QTest::newRow("fps 0") << NumericField::Fps << fr << "0" << QStringList{kFpsSmall} << "1";
    QTest::newRow("fps 31") << NumericField::Fps << fr << "31" << QStringList{kFpsLarge} << "30";
    QTest::newRow("fps 30") << NumericField::Fps << fr << "30" << none << "30";
    QTest::newRow("fps 1") << NumericField::Fps << fr << "1" << none << "1";
    QTest::newRow("fps ,5 fr") << NumericField::Fps << fr << ",5" << QStringList{kFpsSmall} << "1";
    QTest::newRow("fps 1,5 fr rounds to 2") << NumericField::Fps << fr << "1,5" << none << "1,5";
    QTest::newRow("fps 30,5 fr rounds to 30") << NumericField::Fps << fr << "30,5" << none << "30,5";
    QTest::newRow("fps 0,5 C-locale comma") << NumericField::Fps << c << ",5" << none << "30";
    QTest::newRow("fps .5 C") << NumericField::Fps << c << ".5" << QStringList{kFpsSmall} << "1";
    QTest::newRow("fps -1") << NumericField::Fps << fr << "-1" << QStringList{kFpsSmall} << "1";
    QTest::newRow("width 999") << NumericField::Width << fr << "999" << QStringList{kSizeLarge} << "640";
    QTest::newRow("width 95") << NumericField::Width << fr << "95" << QStringList{kSizeSmall} << "96";
    QTest::newRow("width 96") << NumericField::Width << fr << "96" << none << "96";
    QTest::newRow("width 640") << NumericField::Width << fr << "640" << none << "640";
    QTest::newRow("width 96, kept") << NumericField::Width << fr << "96," << none << "96,";
    QTest::newRow("width 1e3 fr") << NumericField::Width << fr << "1e3" << QStringList{kSizeLarge} << "640";
    QTest::newRow("width 9,5 fr") << NumericField::Width << fr << "9,5" << QStringList{kSizeSmall} << "96";
    QTest::newRow("width 9.5 C") << NumericField::Width << c << "9.5" << QStringList{kSizeSmall} << "96";
    QTest::newRow("width 9e9 beyond 32 bits") << NumericField::Width << fr << "9e9" << QStringList{kSizeLarge} << "640";
    QTest::newRow("width -9e9 beyond 32 bits") << NumericField::Width << fr << "-9e9" << QStringList{kSizeSmall} << "96";
    QTest::newRow("height 641") << NumericField::Height << fr << "641" << QStringList{kSizeLarge} << "640";
    QTest::newRow("height 95,5 rounds to 96") << NumericField::Height << fr << "95,5" << none << "95,5";
    QTest::newRow("height 96,5 rounds to 96") << NumericField::Height << fr << "96,5" << none << "96,5";
    QTest::newRow("height 94,5 rounds to 94") << NumericField::Height << fr << "94,5" << QStringList{kSizeSmall} << "96";
}

void TestSettings::rangeRule()
{
    QFETCH(NumericField, field);
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(QStringList, messages);
    QFETCH(QString, result);
    RuledField box(field, text, QLocale(locale));
    ScriptedServices services;
    applyRangeRule(field, box, services, QLocale(locale));
    QCOMPARE(services.messageTexts(), messages);
    QCOMPARE(box.text(), result);
}

void TestSettings::messageBoxes()
{
    RuledField box(NumericField::Width, QStringLiteral("700"), QLocale::c());
    ScriptedServices services;
    applyRangeRule(NumericField::Width, box, services, QLocale::c());
    QCOMPARE(services.messages.size(), 1);
    const MessageRequest &m = services.messages.first();
    QCOMPARE(m.title, QStringLiteral("Kelbo"));
    QCOMPARE(m.icon, MsgIcon::Information);
    QCOMPARE(m.buttons, MsgButtons::Ok);
}

void TestSettings::textReplacedAfterMessage()
{
    // The field still holds the typed text while the message is shown.
    class Watching final : public DecliningServices {
    public:
        explicit Watching(TextField &f) : field(f) {}
        MsgResult messageBox(const MessageRequest &) override
        {
            seen << field.text();
            return MsgResult::Ok;
        }
        TextField &field;
        QStringList seen;
    };
    RuledField box(NumericField::Fps, QStringLiteral("0"), QLocale::c());
    Watching services(box);
    applyRangeRule(NumericField::Fps, box, services, QLocale::c());
    QCOMPARE(services.seen, QStringList{QStringLiteral("0")});
    QCOMPARE(box.text(), QStringLiteral("1"));
}

void TestSettings::resetOrder()
{
    QStringList order;
    class Recording final : public TextField {
    public:
        Recording(QString n, QStringList &o) : name(std::move(n)), order(o) {}
        QString text() const override { return value; }
        void setText(const QString &t) override { value = t; order << name + QLatin1Char('=') + t; }
        QString name, value;
        QStringList &order;
    };
    Recording fps(QStringLiteral("fps"), order), width(QStringLiteral("width"), order),
        height(QStringLiteral("height"), order);
    resetToDefaults({fps, width, height});
    QCOMPARE(order, (QStringList{QStringLiteral("fps=30"), QStringLiteral("width=320"),
                                 QStringLiteral("height=240")}));
}

void TestSettings::labels()
{
    QCOMPARE(captionAlignmentLabels(),
             (QStringList{QStringLiteral("Centre"), QStringLiteral("Haut Centre"),
                          QStringLiteral("Bas Centre"), QStringLiteral("Gauche Centre"),
                          QStringLiteral("Haut Gauche"), QStringLiteral("Bas Gauche"),
                          QStringLiteral("Droite Centre"), QStringLiteral("Haut Droite"),
                          QStringLiteral("Bas Droite")}));
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
