// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QComboBox>

// An editable combo box whose text is exactly what was typed or chosen. Qt's default
// completer would fill in the rest of the first entry that starts with the typed text
// (ignoring letter case), so "A" became "AB"; and Enter would add the typed text to the list.
// Here nothing completes and Enter only selects an entry that matches the text exactly.
QComboBox *newTypedCombo(const QString &objectName, int minimumChars, QWidget *parent);
