#include "project/settings.h"

#include "platform/numbers.h"
#include "platform/system.h"

namespace kelbo {

const FieldRule &ruleFor(NumericField field)
{
    static const FieldRule fps{QStringLiteral("30"), 1, 30, 2,
                               QStringLiteral("Le nombre d'images par seconde doit être supérieur à 0."),
                               QStringLiteral("Le nombre d'images par seconde ne peut dépasser 30.")};
    static const FieldRule size{QStringLiteral("320"), 96, 640, 3,
                                QStringLiteral("La taille doit être supérieure à 96 Pixels."),
                                QStringLiteral("La taille ne peut dépasser 640 Pixels.")};
    static const FieldRule height = [] {
        FieldRule rule = size;
        rule.defaultText = QStringLiteral("240");
        return rule;
    }();
    switch (field) {
    case NumericField::Fps: return fps;
    case NumericField::Width: return size;
    case NumericField::Height: return height;
    }
    return fps;
}

QSize largestFrameSize()
{
    return QSize(ruleFor(NumericField::Width).maximum, ruleFor(NumericField::Height).maximum);
}

const QStringList &captionAlignmentLabels()
{
    static const QStringList labels{
        QStringLiteral("Centre"),        QStringLiteral("Haut Centre"),
        QStringLiteral("Bas Centre"),    QStringLiteral("Gauche Centre"),
        QStringLiteral("Haut Gauche"),   QStringLiteral("Bas Gauche"),
        QStringLiteral("Droite Centre"), QStringLiteral("Haut Droite"),
        QStringLiteral("Bas Droite")};
    return labels;
}

QString perChangeText(NumericField field, const QString &text, const QLocale &locale)
{
    if (text.isEmpty() || isNumeric(text, locale))
        return text;
    return ruleFor(field).defaultText;
}

void applyRangeRule(NumericField field, TextField &text, Services &services, const QLocale &locale)
{
    const FieldRule &rule = ruleFor(field);
    if (!isNumeric(text.text(), locale))
        text.setText(rule.defaultText);

    // A text that stopped being a number in between (a change handler of the caller) counts
    // as neither too large nor too small.
    if (const auto value = toInt32Saturated(text.text(), locale); value && *value > rule.maximum) {
        services.message(rule.tooLargeMessage, app::title(), MsgIcon::Information);
        text.setText(QString::number(rule.maximum));
    }
    if (const auto value = toInt32Saturated(text.text(), locale); value && *value < rule.minimum) {
        services.message(rule.tooSmallMessage, app::title(), MsgIcon::Information);
        text.setText(QString::number(rule.minimum));
    }
}

void resetToDefaults(SettingsFields fields)
{
    fields.fps.setText(ruleFor(NumericField::Fps).defaultText);
    fields.width.setText(ruleFor(NumericField::Width).defaultText);
    fields.height.setText(ruleFor(NumericField::Height).defaultText);
}

} // namespace kelbo
