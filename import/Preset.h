// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "StatementValues.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// How one bank writes its statement file. Built-in presets are JSON files of the program
// (":/presets/*.json"); presets the user maps are kept in the ledger in the same JSON.
//
//   name, version      shown in the window; the version of the bank's layout
//   headings           one or more heading lines as their fields (trailing empty fields ignored)
//   separator          "," (default) or "\t"
//   date               the heading of the date column, or three (year, month, day)
//   dateForm           how the date column is written: "auto" (default: any form), "y/m/d",
//                      "yyyymmdd", "era" or "m/d"; a date in another form is a bad line
//   description        one or more headings, joined with a blank
//   out, in            withdrawal and deposit columns; or signed: one column, negative is out
//   balance, id        optional: the balance after the line, the bank's own row id
//   outAbsolute        take the absolute value of the withdrawal column (written negative)
//   newestFirst        the file lists its newest line first
//   account            the first field of a line before the heading that holds the account
//                      number in its second field (the storage place is remembered per account)
//   category, item,    a spreadsheet moved in: optional columns of each line's category, item
//   place              and storage place
//   variants           other headings a bank has given a column: {"入出金先内容": ["入出金内容"]}
//
// A card's statement ("kind": "card") lists purchases and refunds of one bill:
//   charge             the amount column: a purchase positive, a refund or cancellation negative
//   refund             a column of refunds written positive
//   cancel, cancelMark a column whose mark ("取消") makes the row's purchase a cancellation
//   patterns           headings matched by a regular expression (a month number inside the
//                      name): {"N月支払金額": "(\\d{1,2})月支払金額"}; a heading line of `headings`
//                      may name such a column, and the file's field then only has to match
//   billMonth          a pattern column whose first captured number is the month the bill is paid
//   section, columns   a file without a heading: each line matching the expression `section`
//                      opens a section of data lines whose fields are `columns`, by position
//   joinInto           a line with more fields than the heading (a merchant name holding
//                      commas): the extra fields are joined back into this column
//   skip, end          expressions: data lines to pass over (subtotals, holders' names); a line
//                      that ends the data (the totals and notes after it)
//   continuation       a row with an empty date belongs to the row above (an ETC route, a member
//                      discount): its text is added to that row's, its amount to that amount
//   multiline          a quoted field may hold a line break
//   monthDates         a date of year and month only ("2026/05", a yearly fee) is the 1st
//   payment            where the bill's payment date comes from: "file" or "card" (the card's
//                      own closing and payment days)
//   paymentDate, total labels of the lines before the heading holding the payment date and the
//                      bill's total in the next field: "今回のお支払日"
//   paymentColumn      a column holding each row's payment date
//   billColumn         the rows' payment column: its sum is the bill when no total is stated
//
// A file's heading line is recognised by the columns the preset uses (each by its heading or a
// variant of it), wherever they stand; columns the preset does not use are ignored. The balance
// is the one column that may be missing.
struct Preset
{
    QString name;
    int version = 1;
    QList<QStringList> headings;
    QChar separator = u',';
    QStringList date;
    StatementValues::DateForm dateForm = StatementValues::DateForm::Auto;
    QStringList description;
    QString out;
    QString in;
    QString signedAmount;
    QStringList balance; // alternatives: the first the heading has
    QString id;
    bool outAbsolute = false;
    bool newestFirst = false;
    QString account;
    QString category;
    QString item;
    QString place;
    QMap<QString, QStringList> variants;
    bool builtIn = false;

    bool card = false;
    QString charge;
    QString refund;
    QString cancel;
    QString cancelMark;
    QMap<QString, QString> patterns;
    QString billMonth;
    QString section;
    QStringList columns;
    QString joinInto;
    QStringList skip;
    QStringList end;
    bool continuation = false;
    bool multiline = false;
    bool monthDates = false;
    bool paymentFromCard = false;
    QString paymentDateLabel;
    QString totalLabel;
    QString paymentColumn;
    QString billColumn;

    // Whether a file's heading field is the preset's column `name`: the same text, or one its
    // pattern matches.
    bool headingMatches(const QString &field, const QString &name) const;

    // A column's heading followed by its variants, in the order they are tried.
    QStringList headingsOf(const QString &column) const;

    // nullopt-like: an empty name. errorText says what is missing.
    static Preset fromJson(const QByteArray &json, QString *errorText = nullptr);
    QByteArray toJson() const;

    // Every built-in preset, in the order they are tried.
    static QList<Preset> builtIns();

    // The date forms by their JSON names, Auto first.
    static QStringList dateFormNames();
};
