// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PostingChange.h"
#include "TaskWindow.h"

#include <QHash>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// F_syusei: changes one posting, debit or transfer found by the search. The change is one
// action: the row rewritten and every balance it touches moved by the difference.
class ChangeWindow : public TaskWindow
{
    Q_OBJECT

public:
    ChangeWindow(const AppContext &context, const QString &table, qint64 rowid, QWidget *parent = nullptr);

    // Reads the row and the lists; false (after a notice) when the row is gone.
    void load() override;
    bool isLoaded() const { return m_row.has_value(); }

    // The 修正 button: checks the boxes, asks, writes. True when the change was written.
    bool change();

signals:
    void changed();

private:
    std::optional<PostingChange::Values> typedValues();

    QString m_table;
    qint64 m_rowid;
    std::optional<PostingChange::Row> m_row;
    // The place of each item, for an item chosen anew.
    QHash<QString, QString> m_itemPlaces;

    QLabel *m_kind;
    QLineEdit *m_day;
    QComboBox *m_item;
    QComboBox *m_place;
    QComboBox *m_place2;
    QLineEdit *m_money;
    QLineEdit *m_memo;
    QPushButton *m_ok;
    QPushButton *m_end;
};
