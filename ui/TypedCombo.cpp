// SPDX-License-Identifier: GPL-3.0-or-later
#include "TypedCombo.h"

QComboBox *newTypedCombo(const QString &objectName, int minimumChars, QWidget *parent)
{
    auto *combo = new QComboBox(parent);
    combo->setObjectName(objectName);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setCompleter(nullptr);
    combo->setMinimumContentsLength(minimumChars);
    return combo;
}
