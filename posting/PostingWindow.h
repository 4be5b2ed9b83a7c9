// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Grid.h"
#include "Ledger.h"
#include "TaskWindow.h"

#include <QString>
#include <vector>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// What tells the income, expense and automatic-debit windows apart. The three share one
// window: an item list with the latest posting of each item, an amount typed into a row
// and the row's button to post it.
struct PostingVocabulary
{
    QString windowName; // objectName of the window
    QString caption; // window caption and heading

    // The items: the list statement and the columns holding the item and its storage place.
    QString itemListSql;
    QString itemColumn;
    QString placeColumn;

    // The latest posting of an item: prefix + item + suffix, and the columns to show.
    QString latestSqlPrefix;
    QString latestSqlSuffix;
    QString latestDateColumn;
    QString latestAmountColumn;

    struct Column
    {
        QString heading;
        double width; // in characters
    };
    // Item, storage place, amount, latest date, latest amount, [memo], button.
    std::vector<Column> columns;
    bool hasMemo = true;
    bool latestAmountNumeric = true; // a numeric cell, or a text cell with the bare digits
    QString buttonCaption;

    // Confirmation: place + confirmJoin + item + confirmAmount + amount + confirmVerb + CR LF +
    // "よろしいですか？".
    QString confirmJoin;
    QString confirmAmount;
    QString confirmVerb;
    // The history's name for the action: place + confirmJoin + item + actionAmount + amount +
    // actionVerb ("財布へ給料 \500を入金").
    QString actionAmount;
    QString actionVerb;
    // Result: place + resultJoin + item + resultAmount + amount + resultVerb + CR LF
    //         + resultBefore + before + resultAfter + after + ")" + CR LF + "処理完了".
    QString resultJoin;
    QString resultAmount;
    QString resultVerb;
    QString resultBefore;
    QString resultAfter;

    // What one posting writes (the ledger knows the rows of each kind).
    Ledger::Kind kind = Ledger::Kind::Income;

    static PostingVocabulary income(); // F_nyuukin
    static PostingVocabulary expense(); // F_syukkin
    static PostingVocabulary debit(); // F_zidou
};

// F_nyuukin, F_syukkin and F_zidou.
class PostingWindow : public TaskWindow
{
    Q_OBJECT

public:
    PostingWindow(const AppContext &context, PostingVocabulary vocabulary, QWidget *parent = nullptr);

    // The three windows, as the main menu makes them.
    static PostingWindow *newIncome(const AppContext &context);
    static PostingWindow *newExpense(const AppContext &context);
    static PostingWindow *newDebit(const AppContext &context);

    // Fills the date (when empty) and the item list with each item's latest posting.
    void load() override;

    const PostingVocabulary &vocabulary() const { return m_vocab; }
    bool dateValid() const { return m_dateValid; }

private:
    void dayChanged(const QString &text);
    void post(int row);

    int amountCol() const { return 3; }
    int memoCol() const { return m_vocab.hasMemo ? 6 : 0; }
    int buttonCol() const { return m_vocab.hasMemo ? 7 : 6; }

    PostingVocabulary m_vocab;
    bool m_dateValid = false;

    QLabel *m_heading = nullptr;
    QLineEdit *m_day = nullptr;
    Grid *m_grid = nullptr;
    QPlainTextEdit *m_result = nullptr;
    QPushButton *m_end = nullptr;
};
