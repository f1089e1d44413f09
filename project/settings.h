#pragma once
// The settings of a project and the two rules that keep its numeric fields valid while the
// user edits them: the per-change rule (a text that is not a number becomes the default at
// once) and the range rule (run when a field loses the focus: default, then maximum, then
// minimum, with a message for each bound crossed).

#include "project/fields.h"
#include "platform/services.h"

#include <QLocale>
#include <QSize>
#include <QString>
#include <QStringList>

#include <array>

namespace kelbo {

enum class NumericField { Fps, Width, Height };

struct FieldRule {
    QString defaultText;
    int minimum;
    int maximum;
    int typingLimit;
    QString tooSmallMessage;
    QString tooLargeMessage;
};

const FieldRule &ruleFor(NumericField field);

// The largest frame the width and height rules allow.
QSize largestFrameSize();

// The labels of the nine caption positions, index 0 ("Centre") to 8 ("Bas Droite").
const QStringList &captionAlignmentLabels();

// Per-change rule: the replacement text, or the text itself when it stays (empty or numeric).
QString perChangeText(NumericField field, const QString &text, const QLocale &locale = QLocale());

// Range rule on a field that has just lost the focus. Each step reads the field again.
// Messages go through `services` (title "Kelbo", information icon); the text is replaced only
// after the message has been closed.
void applyRangeRule(NumericField field, TextField &text, Services &services,
                    const QLocale &locale = QLocale());

// The three numeric fields of a project, in file order.
struct SettingsFields {
    TextField &fps;
    TextField &width;
    TextField &height;
};

// Sets "30", "320", "240", in that order. The caption and its position are not touched.
void resetToDefaults(SettingsFields fields);

} // namespace kelbo
