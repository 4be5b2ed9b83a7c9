// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Everything in which the income item window and the expense item window differ: their
// names, texts, tables and columns. The window logic itself is one (ItemMaster).
struct ItemVocabulary
{
    QString windowName; // F_nyuM
    QString caption; // window caption and heading
    QString nameHeading; // heading of column 1 of both grids

    QString itemTable; // the item master
    QString indexColumn; // item name
    QString kubunColumn; // category name
    QString hokanColumn; // storage-place name
    QString memoColumn; // remark
    QString postingTable; // the postings, whose item-name column is indexColumn too

    QString duplicateOnRegister;
    QString nameMissing;
    QString renameQuestionTail; // follows "[old]を[new"

    static const ItemVocabulary &income();
    static const ItemVocabulary &expense();
};
