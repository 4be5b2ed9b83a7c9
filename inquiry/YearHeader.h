// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QGroupBox;
class QHBoxLayout;
class QLineEdit;
class QRadioButton;
class QScrollBar;
class QWidget;

// The head of the windows that show one year by side and level (the category report and the
// budgets): the year in a read-only box with its spinner, and the pairs of options.
namespace YearHeader {

QRadioButton *option(const char *name, const char *caption, QWidget *parent);

// Two options in a frame of their own, one of them checked at a time.
QGroupBox *optionPair(const char *name, QRadioButton *a, QRadioButton *b, QWidget *parent);

// The year is chosen with the spinner only. Its arrows step as a scroll bar does: the top one
// to the year before, the bottom one to the year after.
void setUpYear(QLineEdit *year, QScrollBar *spin, int first, int last);

// heading, year box, spinner, "年", then the two frames of options.
void addYearAndOptions(QHBoxLayout *row, QWidget *heading, QLineEdit *year, QScrollBar *spin,
    QGroupBox *sides, QGroupBox *levels);

} // namespace YearHeader
