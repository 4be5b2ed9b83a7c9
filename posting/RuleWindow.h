// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ImportRules.h"
#include "TaskWindow.h"

#include <QStringList>

class Grid;
class QComboBox;

// F_rule: the rules of a storage place's imports, learnt and written: a row per rule with its
// text, how it is compared (一致 / 前方一致 / 含む), the item or transfer it gives and the
// last import it gave a line to; 更新 and 削除 on each, and a last row to register one.
class RuleWindow : public TaskWindow
{
    Q_OBJECT

public:
    explicit RuleWindow(const AppContext &context, QWidget *parent = nullptr);

    void load() override;
    // Shows the rules of this place (the import window's place when opened from it).
    void setPlace(const QString &place);

    enum Col { ColPattern = 1, ColMatch, ColItem, ColUsed, ColSave, ColDelete, ColCount = ColDelete };

    // The entry of the item list for an item or transfer of a rule of `kind`.
    static QString itemEntry(const QString &kind, const QString &item);

private:
    void fill();
    void save(int row);
    void deleteRow(int row);

    QComboBox *m_hokan = nullptr;
    Grid *m_grid = nullptr;
    QStringList m_places;
    // The item list: its entries, and the kind and item or transfer each stands for.
    QStringList m_entries;
    QList<std::pair<QString, QString>> m_items, m_targets; // the masters' items; and transfers

    QList<ImportRules::Rule> m_rules; // rows 1..size(); the row after them registers one
};
