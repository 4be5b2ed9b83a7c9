// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>
#include <initializer_list>

class Grid;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// The rows above the grid of a window that reads files: the file button with the names of the
// files read, a line saying what to do, and the choice of a layout (with its button to write
// one) beside the choice of a storage place, which the window makes and passes in.
class FileHeader : public QWidget
{
    Q_OBJECT

public:
    struct Texts
    {
        QString hint; // what to do first
        QString presetLabel; // before the layout's list
        QString presetButton; // the button that writes a layout
        QString placeLabel; // before the place's list
    };
    FileHeader(const Texts &texts, QComboBox *place, QWidget *parent);

    QPushButton *fileButton() const { return m_fileButton; }
    QLabel *fileLabel() const { return m_fileLabel; }
    QLabel *hint() const { return m_hint; }
    QComboBox *preset() const { return m_preset; }
    QPushButton *presetButton() const { return m_presetButton; }

    // A grid column's heading and width in characters.
    struct Column
    {
        int col;
        const char *heading;
        double width;
    };
    static void setColumns(Grid &grid, std::initializer_list<Column> columns);
    // The read-only pane below the grid (`txt_kekka`) where the window reports what it read and did.
    static QPlainTextEdit *resultPane(QWidget *parent);

private:
    QPushButton *m_fileButton = nullptr;
    QLabel *m_fileLabel = nullptr;
    QLabel *m_hint = nullptr;
    QComboBox *m_preset = nullptr;
    QPushButton *m_presetButton = nullptr;
};
