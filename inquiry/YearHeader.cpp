// SPDX-License-Identifier: GPL-3.0-or-later
#include "YearHeader.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>

namespace YearHeader {

QRadioButton *option(const char *name, const char *caption, QWidget *parent)
{
    auto *b = new QRadioButton(QString::fromUtf8(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

QGroupBox *optionPair(const char *name, QRadioButton *a, QRadioButton *b, QWidget *parent)
{
    auto *box = new QGroupBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    auto *row = new QHBoxLayout(box);
    row->setContentsMargins(8, 2, 8, 2);
    a->setParent(box);
    b->setParent(box);
    row->addWidget(a);
    row->addWidget(b);
    auto *group = new QButtonGroup(box);
    group->addButton(a);
    group->addButton(b);
    return box;
}

void setUpYear(QLineEdit *year, QScrollBar *spin, int first, int last)
{
    year->setReadOnly(true);
    year->setAlignment(Qt::AlignCenter);
    year->setFixedWidth(year->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 16);
    spin->setRange(first, last);
    spin->setSingleStep(1);
    spin->setPageStep(1);
    spin->setInvertedAppearance(true);
    spin->setFixedHeight(year->sizeHint().height());
}

void addYearAndOptions(QHBoxLayout *row, QWidget *heading, QLineEdit *year, QScrollBar *spin,
    QGroupBox *sides, QGroupBox *levels)
{
    row->addWidget(heading);
    row->addSpacing(16);
    row->addWidget(year);
    row->addWidget(spin);
    row->addWidget(new QLabel(QStringLiteral("年"), heading->parentWidget()));
    row->addSpacing(12);
    row->addWidget(sides);
    row->addWidget(levels);
}

} // namespace YearHeader
