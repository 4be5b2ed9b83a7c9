// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TaskWindow.h"

#include <QStringList>

class Grid;

// F_card: the storage places that are credit cards, with their closing and payment days, the
// place each bill is paid from and the limit. One grid: a row per card with 更新 and 削除, and a
// last row to register a place as a card with 登録.
class CardMaster : public TaskWindow
{
    Q_OBJECT

public:
    explicit CardMaster(const AppContext &context, QWidget *parent = nullptr);

    void load() override;

    enum Col {
        ColPlace = 1,
        ColClosing,
        ColPayment,
        ColPayFrom,
        ColLimit,
        ColSave,
        ColDelete,
        ColCount = ColDelete
    };

private:
    void save(int row);
    void deleteRow(int row);

    Grid *m_grid;
    QStringList m_places;
    int m_cards = 0; // rows 1..m_cards are cards, the row after them registers one
};
