// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Preset.h"

#include <QDate>
#include <QDialog>
#include <QStringList>
#include <functional>

class Dialogs;
class Grid;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

// F_preset: makes a user preset from the first lines of a file by choosing its heading line,
// the column of each role and the date form, with a preview of the lines as the import would
// read them. cmd_ok checks the mapping and hands the preset to the saver; the dialog is
// accepted once it is saved.
class PresetEditor : public QDialog
{
    Q_OBJECT

public:
    // `lines`: the first lines of the file; `presets`: those the program has (names of
    // built-in presets are refused, those of the user's are replaced after asking).
    PresetEditor(Dialogs &dialogs, const QStringList &lines, const QList<Preset> &presets, const QDate &today,
        QWidget *parent = nullptr);

    // Writes the preset; false when it could not (the saver has said why).
    using Saver = std::function<bool(const Preset &)>;
    void setSaver(Saver saver) { m_save = std::move(saver); }

    // The preset as the controls map it now.
    Preset mapped() const;
    // The preset saved by cmd_ok.
    const Preset &saved() const { return m_saved; }

    // Preview grid columns.
    enum Col { ColLine = 1, ColDate, ColText, ColAmount, ColBalance, ColResult, ColCount = ColResult };

private:
    void headingChosen();
    void preview();
    // What stands in the way of saving the mapping ("" when nothing).
    QString problem() const;
    void save();
    int column(const QComboBox *role) const;
    QStringList headingFields() const;
    QChar separator() const;

    Dialogs &m_dialogs;
    QStringList m_lines;
    QList<Preset> m_presets;
    QDate m_today;
    Saver m_save;
    Preset m_saved;

    QLineEdit *m_name = nullptr;
    QComboBox *m_heading = nullptr;
    QComboBox *m_date = nullptr;
    QComboBox *m_text = nullptr;
    QComboBox *m_out = nullptr;
    QComboBox *m_in = nullptr;
    QComboBox *m_signed = nullptr;
    QComboBox *m_balance = nullptr;
    QComboBox *m_id = nullptr;
    QComboBox *m_category = nullptr;
    QComboBox *m_item = nullptr;
    QComboBox *m_place = nullptr;
    QComboBox *m_dateForm = nullptr;
    QCheckBox *m_newest = nullptr;
    QCheckBox *m_card = nullptr;
    Grid *m_grid = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_end = nullptr;
};
