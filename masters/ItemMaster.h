// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ItemVocabulary.h"
#include "TaskWindow.h"

#include <QStringList>

class Grid;

// F_nyuM and F_syuM: registers income or expense items with a category and a storage
// place, changes them, renames them into their postings and deletes them. Which of the two
// windows it is, and every text and table it uses, comes from the vocabulary.
class ItemMaster : public TaskWindow
{
    Q_OBJECT

public:
    ItemMaster(const AppContext &context, const ItemVocabulary &vocabulary, QWidget *parent = nullptr);

    void load() override;

private:
    void registerItem();
    void updateRow(int row);
    void deleteRow(int row);

    // The name chosen in a choice cell; `stored` when the cell holds no valid choice.
    static QString chosenName(
        const Grid *grid, int col, int row, const QStringList &names, const QString &stored);

    const ItemVocabulary m_v;
    Grid *m_sp1;
    Grid *m_sp2;
    // The entries of the category and storage-place choice lists, in list order.
    QStringList m_categories;
    QStringList m_places;
    // Per SP2 row, as at the last load: the item name (the row's identity) and the stored
    // category and storage place (kept when the row's choice cell shows no entry).
    QStringList m_rowNames;
    QStringList m_rowKubun;
    QStringList m_rowHokan;
};
