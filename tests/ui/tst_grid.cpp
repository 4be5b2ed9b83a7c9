// SPDX-License-Identifier: GPL-3.0-or-later
#include "Grid.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QValidator>

namespace {

const QColor yellow(255, 255, 128);

QModelIndex cell(const Grid &g, int col, int row)
{
    return g.model()->index(row - 1, col - 1);
}

QPoint centre(const Grid &g, int col, int row)
{
    return g.visualRect(cell(g, col, row)).center();
}

void setCurrentCell(Grid &g, int col, int row)
{
    g.setCurrentIndex(cell(g, col, row));
}

template <typename Editor> Editor *openEditor(Grid &g, int col, int row)
{
    setCurrentCell(g, col, row);
    g.edit(cell(g, col, row));
    return g.viewport()->findChild<Editor *>();
}

} // namespace

class TestGrid : public QObject
{
    Q_OBJECT

private slots:
    void rowCountKeepsHeadingsAndDropsRows();
    void choiceCellsHoldPositions();
    void choiceEditorWritesThePosition();
    void wholeNumberEditorKeepsToTheRange_data();
    void wholeNumberEditorKeepsToTheRange();
    void typingIntoACellEditsItAndEnterCommits();
    void numericCellsReadPlainDigits();
    void buttonClicksReportColumnAndRow();
    void onlyEditableCellsAreYellowAndLockedOnesReadOnly();
    void perCellSettingsOverrideTheColumn();
    void clearingKeepsKindsAndLists();
    void modelStaysConsistentThroughEveryChange();
    void blocksReplaceOrOverwriteRows();
    void columnTextsSurviveEditsOfEveryLength();
};

void TestGrid::rowCountKeepsHeadingsAndDropsRows()
{
    Grid g(3, 5);
    QCOMPARE(g.maxCols(), 3);
    QCOMPARE(g.maxRows(), 5);
    QVERIFY(g.verticalHeader()->isHidden());
    g.setHeading(1, QStringLiteral("項目"));
    g.setText(2, 0, QStringLiteral("金額")); // row 0 is the heading row
    g.setChoiceColumn(3, QStringLiteral("a\tb\t"));
    for (int r = 1; r <= 5; ++r)
        g.setText(1, r, QString::number(r));

    g.setMaxRows(2);
    QCOMPARE(g.maxRows(), 2);
    QCOMPARE(g.text(1, 2), QStringLiteral("2"));
    QCOMPARE(g.text(1, 3), QString()); // beyond the grid

    // Rows added again are blank, of their column's kind.
    g.setMaxRows(5);
    QCOMPARE(g.text(1, 3), QString());
    QCOMPARE(g.cellKind(3, 5), Grid::Kind::Choice);
    QCOMPARE(g.choiceEntries(3, 5).size(), 2);

    g.setMaxRows(0);
    QCOMPARE(g.maxRows(), 0);
    QCOMPARE(g.heading(1), QStringLiteral("項目"));
    QCOMPARE(g.text(2, 0), QStringLiteral("金額"));
    QVERIFY(!g.horizontalHeader()->isHidden());
    g.setText(1, 1, QStringLiteral("x")); // no row to write into: ignored
    QCOMPARE(g.maxRows(), 0);

    g.setMaxRows(-3);
    QCOMPARE(g.maxRows(), 0);
}

void TestGrid::choiceCellsHoldPositions()
{
    Grid g(1, 2);
    g.setChoiceColumn(1, QStringLiteral("現金\t銀行\t"));
    QCOMPARE(g.choiceEntries(1, 1), QStringList({QStringLiteral("現金"), QStringLiteral("銀行")}));

    QCOMPARE(g.text(1, 1), QString());
    g.setText(1, 1, QStringLiteral("1"));
    QCOMPARE(g.text(1, 1), QStringLiteral("1"));
    g.setText(1, 1, QString());
    QCOMPARE(g.text(1, 1), QString());

    // Positions outside the list are no choice.
    for (const char *bad : {"2", "-1", "x"}) {
        g.setText(1, 2, QString::fromLatin1(bad));
        QCOMPARE(g.text(1, 2), QString());
    }
    // A value written before its list becomes a choice once the list has the entry.
    g.setColumnChoiceList(1, QStringLiteral("a\tb\tc\t"));
    g.setText(1, 2, QStringLiteral("2"));
    QCOMPARE(g.text(1, 2), QStringLiteral("2"));

    // A list without a final TAB still has its last entry; empty entries count.
    g.setColumnChoiceList(1, QStringLiteral("a\t\tc"));
    QCOMPARE(g.choiceEntries(1, 1), QStringList({"a", "", "c"}));
    g.setColumnChoiceList(1, QString());
    QVERIFY(g.choiceEntries(1, 1).isEmpty());
}

void TestGrid::choiceEditorWritesThePosition()
{
    Grid g(1, 1);
    g.setChoiceColumn(1, QStringLiteral("現金\t銀行\t"));
    g.show();
    auto *combo = openEditor<QComboBox>(g, 1, 1);
    QVERIFY(combo);
    QCOMPARE(combo->count(), 2);
    QCOMPARE(combo->currentIndex(), -1);
    combo->setCurrentIndex(1);
    emit combo->activated(1);
    QTRY_VERIFY(!g.viewport()->findChild<QComboBox *>());
    QCOMPARE(g.text(1, 1), QStringLiteral("1"));
}

void TestGrid::wholeNumberEditorKeepsToTheRange_data()
{
    QTest::addColumn<qint64>("min");
    QTest::addColumn<qint64>("max");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("state");
    const qint64 amount = 99999999;
    QTest::newRow("top") << -amount << amount << "99999999" << int(QValidator::Acceptable);
    QTest::newRow("bottom") << -amount << amount << "-99999999" << int(QValidator::Acceptable);
    QTest::newRow("above") << -amount << amount << "100000000" << int(QValidator::Invalid);
    QTest::newRow("below") << -amount << amount << "-100000000" << int(QValidator::Invalid);
    // What may still become a number goes into the cell as typed; the window refuses it.
    QTest::newRow("minus sign") << -amount << amount << "-" << int(QValidator::Acceptable);
    QTest::newRow("minus, none below 0") << qint64(0) << amount << "-" << int(QValidator::Invalid);
    QTest::newRow("empty") << -amount << amount << "" << int(QValidator::Acceptable);
    QTest::newRow("letters") << -amount << amount << "12a" << int(QValidator::Invalid);
    QTest::newRow("decimals") << -amount << amount << "1.5" << int(QValidator::Invalid);
    QTest::newRow("may grow into range") << qint64(10) << qint64(99) << "5" << int(QValidator::Acceptable);
    QTest::newRow("full-width digits") << -amount << amount << "１２３" << int(QValidator::Acceptable);
    QTest::newRow("beyond 64 bits") << std::numeric_limits<qint64>::min()
                                    << std::numeric_limits<qint64>::max() << "99999999999999999999"
                                    << int(QValidator::Invalid);
}

void TestGrid::wholeNumberEditorKeepsToTheRange()
{
    QFETCH(qint64, min);
    QFETCH(qint64, max);
    QFETCH(QString, typed);
    QFETCH(int, state);
    Grid g(1, 1);
    g.setIntegerColumn(1, min, max);
    g.show();
    auto *e = openEditor<QLineEdit>(g, 1, 1);
    QVERIFY(e && e->validator());
    int pos = 0;
    QCOMPARE(int(e->validator()->validate(typed, pos)), state);
}

void TestGrid::typingIntoACellEditsItAndEnterCommits()
{
    Grid g(2, 2);
    g.setIntegerColumn(1, -99, 99);
    g.setTextColumn(2, 5, false);
    g.show();
    QVERIFY(QTest::qWaitForWindowExposed(&g));

    // Out-of-range keystrokes are refused; Enter stores the plain number.
    setCurrentCell(g, 1, 1);
    QTest::keyClick(&g, Qt::Key_Minus);
    auto *e = g.viewport()->findChild<QLineEdit *>();
    QVERIFY(e);
    QTest::keyClicks(e, QStringLiteral("1005"));
    QCOMPARE(e->text(), QStringLiteral("-10"));
    QTest::keyClick(e, Qt::Key_Return);
    QTRY_COMPARE(g.text(1, 1), QStringLiteral("-10"));

    // A lone minus sign replaces the value as typed, so that the window can refuse it as no
    // number rather than act on the 7 the cell no longer shows.
    setCurrentCell(g, 1, 2);
    g.setText(1, 2, QStringLiteral("7"));
    QTest::keyClick(&g, Qt::Key_Minus);
    e = g.viewport()->findChild<QLineEdit *>();
    QVERIFY(e);
    QTest::keyClick(e, Qt::Key_Return);
    QTRY_VERIFY(!g.viewport()->findChild<QLineEdit *>());
    QCOMPARE(g.text(1, 2), QStringLiteral("-"));

    // Text cells take at most their maximum length.
    setCurrentCell(g, 2, 1);
    QTest::keyClick(&g, Qt::Key_A);
    e = g.viewport()->findChild<QLineEdit *>();
    QVERIFY(e);
    QTest::keyClicks(e, QStringLiteral("bcdefg"));
    QTest::keyClick(e, Qt::Key_Enter);
    QTRY_COMPARE(g.text(2, 1), QStringLiteral("abcde"));

    // Delete empties an editable cell.
    setCurrentCell(g, 2, 1);
    QTest::keyClick(&g, Qt::Key_Delete);
    QCOMPARE(g.text(2, 1), QString());
}

void TestGrid::numericCellsReadPlainDigits()
{
    Grid g(1, 1);
    const qint64 big = 9999999999;
    g.setNumericColumn(1, -big, big, false);
    for (const auto &[in, out] : std::initializer_list<std::pair<const char *, const char *>> {
             {"1234567", "1234567"},
             {"-9999999999", "-9999999999"},
             {"0012", "12"},
             {"1234.6", "1235"},
             {"", ""},
         }) {
        g.setText(1, 1, QString::fromLatin1(in));
        QCOMPARE(g.text(1, 1), QString::fromLatin1(out));
    }

    // What the user types is stored as plain digits too, however it is shown.
    g.show();
    auto *e = openEditor<QLineEdit>(g, 1, 1);
    QVERIFY(e);
    e->setText(QStringLiteral("1234567"));
    QTest::keyClick(e, Qt::Key_Return);
    QTRY_COMPARE(g.text(1, 1), QStringLiteral("1234567"));
}

void TestGrid::buttonClicksReportColumnAndRow()
{
    Grid g(3, 4);
    g.setButtonColumn(2, QStringLiteral("更新"));
    g.setButtonColumn(3, QStringLiteral("削除"));
    g.show();
    QVERIFY(QTest::qWaitForWindowExposed(&g));
    QSignalSpy spy(&g, &Grid::buttonClicked);

    QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, centre(g, 3, 2));
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0), QVariantList({3, 2, true}));
    QVERIFY(!g.viewport()->findChild<QLineEdit *>()); // no editor on a button

    // Press on one button and release on another: no click.
    QTest::mousePress(g.viewport(), Qt::LeftButton, {}, centre(g, 2, 1));
    QTest::mouseRelease(g.viewport(), Qt::LeftButton, {}, centre(g, 2, 3));
    QCOMPARE(spy.size(), 1);

    // A click on a cell that is no button is no button click.
    QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, centre(g, 1, 1));
    QCOMPARE(spy.size(), 1);

    setCurrentCell(g, 2, 4);
    QTest::keyClick(&g, Qt::Key_Space);
    QCOMPARE(spy.size(), 2);
    QCOMPARE(spy.at(1), QVariantList({2, 4, true}));
    QTest::keyClick(&g, Qt::Key_Return);
    QCOMPARE(spy.size(), 3);
    QCOMPARE(spy.at(2), QVariantList({2, 4, true}));

    g.setButtonCaption(2, 4, QStringLiteral("登録"));
    g.clickButton(1, 1); // not a button
    g.clickButton(2, 9); // no such row
    QCOMPARE(spy.size(), 3);
}

void TestGrid::onlyEditableCellsAreYellowAndLockedOnesReadOnly()
{
    Grid g(7, 1);
    g.setTextColumn(1); // locked by default
    g.setTextColumn(2, 60, false);
    g.setIntegerColumn(3, -99999999, 99999999);
    g.setNumericColumn(4, -99999999, 99999999); // locked by default
    g.setButtonColumn(5, QStringLiteral("処理実行"));
    g.setChoiceColumn(6, QStringLiteral("a\tb\t"));
    g.setChoiceColumn(7, QStringLiteral("a\tb\t"), true);
    const QColor base = g.palette().color(QPalette::Base);
    const QList<bool> editable {false, true, true, false, false, true, false};
    for (int c = 1; c <= 7; ++c) {
        QCOMPARE(g.cellBackground(c, 1), editable.at(c - 1) ? yellow : base);
        QCOMPARE(g.isCellLocked(c, 1), !editable.at(c - 1));
    }

    g.show();
    for (int c : {1, 4, 5, 7}) {
        setCurrentCell(g, c, 1);
        g.edit(cell(g, c, 1));
        QTest::keyClick(&g, Qt::Key_1);
        QVERIFY(!g.viewport()->findChild<QLineEdit *>());
        QVERIFY(!g.viewport()->findChild<QComboBox *>());
    }
    QCOMPARE(g.text(1, 1), QString());
}

void TestGrid::perCellSettingsOverrideTheColumn()
{
    Grid g(2, 3);
    g.setTextColumn(1, 0, false);
    g.setCellLocked(1, 2, true);
    QCOMPARE(g.cellBackground(1, 1), yellow);
    QCOMPARE(g.cellBackground(1, 2), g.palette().color(QPalette::Base));

    g.setCellKind(2, 3, Grid::Kind::Choice);
    g.setCellLocked(2, 3, false);
    g.setCellChoiceList(2, 3, QStringLiteral("x\ty\tz\t"));
    QCOMPARE(g.cellKind(2, 3), Grid::Kind::Choice);
    QCOMPARE(g.cellKind(2, 2), Grid::Kind::Text);
    QCOMPARE(g.choiceEntries(2, 3).size(), 3);
    g.setText(2, 3, QStringLiteral("2"));
    QCOMPARE(g.text(2, 3), QStringLiteral("2"));
    QCOMPARE(g.cellBackground(2, 3), yellow);

    // Setting the column again applies to every row, overrides included.
    g.setTextColumn(2);
    QCOMPARE(g.cellKind(2, 3), Grid::Kind::Text);
    QVERIFY(g.isCellLocked(2, 3));

    g.setCellTextColor(1, 3, Qt::red);
    QCOMPARE(g.cellTextColor(1, 3), QColor(Qt::red));
    QCOMPARE(g.cellTextColor(1, 1), g.palette().color(QPalette::Text));
}

void TestGrid::clearingKeepsKindsAndLists()
{
    Grid g(2, 2);
    g.setChoiceColumn(1, QStringLiteral("a\tb\t"));
    g.setCellChoiceList(1, 2, QStringLiteral("p\tq\tr\t"));
    g.setText(1, 2, QStringLiteral("2"));
    g.setText(2, 1, QStringLiteral("memo"));
    g.clearCells();
    QCOMPARE(g.text(1, 2), QString());
    QCOMPARE(g.text(2, 1), QString());
    QCOMPARE(g.maxRows(), 2);
    QCOMPARE(g.choiceEntries(1, 2).size(), 3);
    g.setText(1, 2, QStringLiteral("2"));
    QCOMPARE(g.text(1, 2), QStringLiteral("2"));
}

void TestGrid::modelStaysConsistentThroughEveryChange()
{
    Grid g(3, 2);
    QAbstractItemModelTester tester(g.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    g.setNumericColumn(2, -99, 99);
    g.setChoiceColumn(3, QStringLiteral("a\tb\t"));
    g.setText(1, 1, QStringLiteral("x"));
    g.setHeading(1, QStringLiteral("項目"));
    g.setRowHeadings({QStringLiteral("収入"), QStringLiteral("支出")});
    g.setMaxRows(5);
    g.setCellKind(1, 5, Grid::Kind::Button);
    g.setCellTextColor(2, 4, Qt::red);
    g.setMaxRows(1);
    QCOMPARE(g.text(1, 1), QStringLiteral("x"));
    GridColumns rows(3);
    for (int r = 0; r < 1000; ++r)
        rows.appendRow({QString::number(r), QString::number(-r), QStringLiteral("1")});
    g.replaceRows(rows);
    QCOMPARE(g.maxRows(), 1000);
    g.writeRows(999, rows);
    g.clearCells();
    g.setMaxRows(0);
    g.replaceRows(GridColumns(3));
    QCOMPARE(g.maxRows(), 0);
    QCOMPARE(g.model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("項目"));
}

void TestGrid::blocksReplaceOrOverwriteRows()
{
    Grid g(3, 4);
    g.setNumericColumn(2, -9999999999, 9999999999);
    g.setChoiceColumn(3, QStringLiteral("a\tb\t"), false);
    g.setCellLocked(3, 1, true);
    g.setCellTextColor(1, 2, Qt::blue);
    g.setText(1, 4, QStringLiteral("old"));

    // Numbers are normalised as setText does; columns the block lacks are empty, and a
    // shorter column reads empty beyond its end.
    GridColumns block(2);
    block.appendRow({QStringLiteral("日付"), QStringLiteral("0012")});
    block.appendRow({QStringLiteral("金庫"), QStringLiteral("1234.6")});
    block.append(1, QStringLiteral("-7"));
    g.replaceRows(block);
    QCOMPARE(g.maxRows(), 3);
    QCOMPARE(g.text(2, 1), QStringLiteral("12"));
    QCOMPARE(g.text(2, 2), QStringLiteral("1235"));
    QCOMPARE(g.text(2, 3), QStringLiteral("-7"));
    QCOMPARE(g.text(1, 3), QString());
    QCOMPARE(g.text(3, 1), QString());
    QCOMPARE(g.text(1, 4), QString()); // the old rows are gone
    // Per-cell settings went with the old rows; the columns' stayed.
    QVERIFY(!g.isCellLocked(3, 1));
    QCOMPARE(g.cellTextColor(1, 2), g.palette().color(QPalette::Text));
    QCOMPARE(g.cellKind(3, 2), Grid::Kind::Choice);

    // Overwriting keeps the rows, their settings and what lies beyond the block.
    g.setCellTextColor(1, 3, Qt::red);
    GridColumns two(3);
    two.appendRow({QStringLiteral("p"), QStringLiteral("5.5"), QStringLiteral("1")});
    two.appendRow({QStringLiteral("q"), QStringLiteral("x"), QStringLiteral("0")});
    g.writeRows(3, two); // row 4 does not exist: left out
    QCOMPARE(g.maxRows(), 3);
    QCOMPARE(g.text(1, 2), QStringLiteral("金庫"));
    QCOMPARE(g.text(1, 3), QStringLiteral("p"));
    QCOMPARE(g.text(2, 3), QStringLiteral("6"));
    QCOMPARE(g.text(3, 3), QStringLiteral("1"));
    QCOMPARE(g.cellTextColor(1, 3), QColor(Qt::red));
}

void TestGrid::columnTextsSurviveEditsOfEveryLength()
{
    GridColumns c(2);
    QStringList expected;
    for (int r = 0; r < 3000; ++r) {
        c.appendRow({QString::number(r), QStringLiteral("備考")});
        expected << QString::number(r);
    }
    // Longer, shorter and empty texts over and over, enough to make the column pack itself.
    for (int round = 0; round < 4; ++round) {
        for (int r = 0; r < 3000; r += 3) {
            const QString t
                = round % 2 ? QString() : QString(r % 50, QLatin1Char('x')) + QString::number(round);
            c.setText(0, r, t);
            expected[r] = t;
        }
    }
    c.setText(1, 5000, QStringLiteral("末尾")); // beyond the end: the column grows
    QCOMPARE(c.rowCount(), 5001);
    c.setRowCount(2999);
    QCOMPARE(c.rowCount(), 2999);
    for (int r = 0; r < 2999; ++r)
        QCOMPARE(c.string(0, r), expected.at(r));
    QCOMPARE(c.string(1, 2998), QStringLiteral("備考"));
    QCOMPARE(c.string(1, 2999), QString());
    c.clearTexts();
    QCOMPARE(c.rowCount(), 2999);
    QCOMPARE(c.string(0, 1), QString());
}

QTEST_MAIN(TestGrid)
#include "tst_grid.moc"
