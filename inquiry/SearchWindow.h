// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PostingSearch.h"
#include "TaskWindow.h"

#include <optional>

class Grid;
class QCheckBox;
class QComboBox;
class QIODevice;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

// F_kensaku: one search over every posting, debit, transfer and stocktake. The list follows
// the conditions as they are typed, after a short pause.
class SearchWindow : public TaskWindow
{
    Q_OBJECT

public:
    explicit SearchWindow(const AppContext &context, QWidget *parent = nullptr);

    void load() override;

    // How long the list waits after the last keystroke before it searches again.
    static constexpr int PauseMs = 300;

    // The hits shown, in the grid's order.
    const QList<PostingSearch::Hit> &hits() const { return m_result.hits; }

    // Searches now with the conditions as they stand. With `report` a bad condition is shown
    // as the posting windows show it; without, it leaves the list as it was.
    bool refresh(bool report = true);

    // The CSV file of the hits: two heading lines, the column headings, one line per hit.
    bool writeCsv(QIODevice *out) const;

    // The 削除 button of a row: asks, then takes the posting out with its balances.
    void deleteHit(const PostingSearch::Hit &hit);
    // The 修正 button of a row: opens F_syusei on the posting.
    void changeHit(const PostingSearch::Hit &hit);

    // The table a hit's row lives in, for the change of postings.
    static QString tableOf(const PostingSearch::Hit &hit);

private:
    std::optional<PostingSearch::Conditions> conditions(bool report);
    void showResult(const PostingSearch::Result &result);
    void exportCsv();
    void buttonClicked(int col, int row);

    QLineEdit *m_word;
    QLineEdit *m_from;
    QLineEdit *m_to;
    QLineEdit *m_min;
    QLineEdit *m_max;
    QComboBox *m_hokan;
    QCheckBox *m_nyuukin;
    QCheckBox *m_syukkin;
    QCheckBox *m_zidou;
    QCheckBox *m_idou;
    QCheckBox *m_tanaorosi;
    QPushButton *m_csv;
    QPushButton *m_end;
    Grid *m_grid;
    QLabel *m_total;
    QTimer *m_pause;
    PostingSearch::Conditions m_shownConditions;
    PostingSearch::Result m_result;
};
