// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Preset.h"
#include "StatementValues.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// One line of a statement, as the import writes it.
struct StatementLine
{
    int lineNo = 0; // 1-based, in the file
    int date = 0; // yyyymmdd
    QString description; // as in the file
    qint32 amount = 0; // deposits positive, withdrawals negative; never 0
    std::optional<qint32> balance; // after the line, when the file has one
    QString rowId; // the bank's own id, when the layout has one
    // What recognises the line in a later download: the bank's id, or date, amount,
    // normalised description and the line's number among identical ones of its day.
    QString key;
};

struct BadLine
{
    int lineNo = 0;
    QString text;
    QString reason;
};

struct Statement
{
    bool matched = false; // the preset's heading was found
    int headingLine = 0; // 1-based
    QString account; // from the lines before the heading, when the preset names it
    QList<StatementLine> lines; // oldest first, the file's order within a day
    QList<BadLine> bad;
    // The lines the layout passes over: section and subtotal lines, the lines after the data,
    // rows joined to the row above and the further lines of a field holding a line break.
    QList<int> passed;
    QStringList notes; // said to the user (years taken from elsewhere)
    // A card statement's bill: its lines are purchases (negative) and refunds (positive).
    bool card = false;
    std::optional<int> paymentDate; // yyyymmdd, as the file states it
    std::optional<qint64> billTotal; // as stated, else the sum of the rows' payment column
    int billMonth = 0; // the month a heading names as the payment's, 0 when none does
    // The balance before the first line, when the file carries balances.
    std::optional<qint32> balanceBefore() const;
};

namespace StatementParser {

// The 0-based index of the first line that is one of the preset's headings.
std::optional<int> findHeading(const Preset &preset, const QStringList &lines);
// The first preset whose heading a line of the file matches.
std::optional<int> detect(const QList<Preset> &presets, const QStringList &lines);
// Reads the lines after the heading. Years missing from a date come from the nearest line
// that has one, else from today (a day after today is taken as last year's).
Statement parse(const Preset &preset, const QStringList &lines, const QDate &today);

} // namespace StatementParser
