// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class Clock;
class Dialogs;
class QIODevice;

// The CSV files of the yearly totals and the list export: code page 932 without a byte-order
// mark, CR LF after every line, fields joined by "," and never quoted. Other programs read
// these files by column position, so a comma inside a value is written as it is.
namespace Csv {

// The save dialog's filter and the file suffix rule: a path that does not end in ".csv"
// or ".CSV" gets ".csv" appended (abc -> abc.csv, abc.CSV stays, abc.Csv -> abc.Csv.csv).
QString filter();
QString withCsvSuffix(const QString &path);

// The second heading line: label, ",", then the date-and-time text of now.
QString createdLine(const QString &label, const Clock &clock);

// Replaces the file at path with what `produce` writes, atomically: the text goes to a
// temporary file beside it and takes the old file's place only when all of it was written.
// On any failure (including an exception out of `produce`) an existing file at path stays
// exactly as it was. True when the new file is in place.
bool save(const QString &path, const std::function<bool(QIODevice *)> &produce);

// The whole export of a window's file: the save dialog in `folder` proposing `proposedName`,
// the suffix rule, save(), then "<path>に保存しました" or "CSV出力に失敗しました". Nothing
// happens when the dialog is cancelled.
void saveAs(Dialogs &dialogs, const QString &folder, const QString &proposedName,
    const std::function<bool(QIODevice *)> &produce);

// Collects lines and writes them, encoded, to a device in large blocks.
class Writer
{
public:
    explicit Writer(QIODevice *device);
    ~Writer();
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    // A field of the current line, written unchanged.
    void field(const QString &text);
    // Ends the current line with CR LF (an empty line when no field was given).
    void endLine();
    // A whole line: the fields joined by ",", then CR LF.
    void line(const QStringList &fields);

    // Writes what is still buffered. False when the device refused any of the bytes.
    bool finish();

private:
    void flush();

    QIODevice *m_device;
    QString m_pending;
    bool m_lineStarted = false;
    bool m_ok = true;
};

} // namespace Csv
