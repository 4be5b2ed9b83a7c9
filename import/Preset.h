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
//   variants           other headings a bank has given a column: {"入出金先内容": ["入出金内容"]}
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
    QMap<QString, QStringList> variants;
    bool builtIn = false;

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
