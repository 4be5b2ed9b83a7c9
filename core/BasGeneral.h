// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

class Clock;
class Dialogs;

// The routines the windows share: input checks, yen formatting, and the operation log.
namespace BasGeneral {

// True when every character is one of the half-width digits "0".."9" (the empty text
// passes). Otherwise shows "数値を入力して下さい" once and returns false.
bool isDigitsOnly(const QString &text, Dialogs &dialogs);

// True when the text has exactly `length` characters; otherwise shows `message`.
bool hasLength(const QString &text, qint16 length, const QString &message, Dialogs &dialogs);

// "\" followed by the amount with its digits grouped by threes: 1234567 gives \1,234,567.
// A negative amount keeps its sign before the digits: -1500 gives \-1,500.
QString formatYen(qint64 amount);

// An amount as a label in a graph or a window writes it for a household to read: the digits
// grouped by threes after "\" (drawn as the yen sign), a negative amount with the minus sign
// before it all: -55000 gives −\55,000. Messages whose form is fixed keep formatYen's.
QString amountLabel(qint64 amount);

// The message of a date box that does not hold eight characters.
QString dateLengthMessage(const QString &label);

// The date-and-time text of the log and of the CSV heading lines: 2003/09/17 9:05:07.
QString dateTimeText(const Clock &clock);

// Puts "<date and time>,<event>" at the top of the log. The log must exist; a missing,
// read-only or unwritable log shows "ログ書込み失敗" and the caller carries on.
// The file is replaced atomically, so an interrupted write never loses it.
void writeLog(const QString &logPath, const QString &event, Dialogs &dialogs, const Clock &clock);

// Asks "ログを消去します。よろしいですか？"; on Yes the log (created if missing) holds only
// "<date and time>,ログが消去されました" and "ログ消去完了" is shown. False on No or failure.
bool clearLog(const QString &logPath, Dialogs &dialogs, const Clock &clock);

} // namespace BasGeneral
