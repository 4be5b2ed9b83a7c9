// SPDX-License-Identifier: GPL-3.0-or-later
#include "MoveInWindow.h"

#include "Backup.h"
#include "BusyCursor.h"
#include "Database.h"
#include "FileHeader.h"
#include "Grid.h"
#include "GridColumns.h"
#include "ImportLedger.h"
#include "PresetEditor.h"
#include "StatementValues.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <limits>

using namespace MoveIn;

namespace {

// The largest file read: ten years of a household are a few megabytes.
constexpr qint64 MaxFileBytes = 64 * 1024 * 1024;
constexpr int EditorLines = 30;
// The largest balance, either way, a place can be given.
constexpr qint64 MaxBalance = 2147483647;

QString dayText(int yyyymmdd)
{
    return QStringLiteral("%1/%2/%3")
        .arg(yyyymmdd / 10000)
        .arg(yyyymmdd / 100 % 100, 2, 10, QChar(u'0'))
        .arg(yyyymmdd % 100, 2, 10, QChar(u'0'));
}

} // namespace

MoveInWindow::MoveInWindow(const AppContext &context, QWidget *parent)
    : TaskWindow(context, parent)
{
    setObjectName(QStringLiteral("F_iten"));
    setWindowTitle(QStringLiteral("他の家計簿から移行"));
    auto *title = makeHeading("Label1", QStringLiteral("他の家計簿から移行"), this);

    m_other = new QComboBox(this);
    m_other->setObjectName(QStringLiteral("cb_aite"));
    m_other->setMinimumContentsLength(12);
    auto *header = new FileHeader(
        {QStringLiteral("マネーフォワード ME の入出金履歴、Zaim の CSV、表計算の CSV を読みます。"
                        "いくつかの月のファイルをまとめて選択できます。表計算の CSV は「列の指定...」で"
                        "列を指定して下さい。移行実行まで家計簿には何も書き込みません。"),
            QStringLiteral("表計算の列"), QStringLiteral("列の指定..."),
            QStringLiteral("相手のない振替の保管場所")},
        m_other, this);
    m_fileLabel = header->fileLabel();
    m_preset = header->preset();

    m_masters = new Grid(MCount, 0, this);
    m_masters->setObjectName(QStringLiteral("SP_M"));
    FileHeader::setColumns(*m_masters,
        {{MKind, "種類", 8}, {MSource, "元の名前", 16}, {MName, "移行後の名前", 16}, {MState, "状態", 10},
            {MSum, "ファイルの合計", 11}, {MBalance, "今日の残高", 11}});
    for (int col : {int(MKind), int(MSource), int(MState)})
        m_masters->setTextColumn(col);
    m_masters->setTextColumn(MName, 0, false);
    // The sums and balances are written grouped like every amount; a balance typed in is held
    // to what a place's balance can be.
    m_masters->setNumericColumn(MSum, std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max());
    m_masters->setNumericColumn(MBalance, -MaxBalance, MaxBalance, false);

    m_grid = new Grid(ColCount, 0, this);
    m_grid->setObjectName(QStringLiteral("SP"));
    FileHeader::setColumns(*m_grid,
        {{ColTake, "移行", 4}, {ColDate, "日付", 10.5}, {ColPlace, "保管場所", 12}, {ColItem, "項目", 16},
            {ColAmount, "金額", 10}, {ColMemo, "内容", 26}, {ColState, "状態", 7}});
    m_grid->setNumericColumn(
        ColAmount, std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max());
    for (int col : {int(ColDate), int(ColPlace), int(ColItem), int(ColMemo), int(ColState)})
        m_grid->setTextColumn(col);
    m_grid->setButtonColumn(ColTake, QString());
    m_grid->setMinimumWidth(m_grid->fontMetrics().averageCharWidth() * 100);

    m_kekka = FileHeader::resultPane(this);

    m_ok = new QPushButton(QStringLiteral("移行実行"), this);
    m_ok->setObjectName(QStringLiteral("cmd_ok"));
    m_end = new QPushButton(QStringLiteral("閉じる"), this);
    m_end->setObjectName(QStringLiteral("cmd_end"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_ok);
    buttons->addStretch();
    buttons->addWidget(m_end);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(header);
    layout->addWidget(m_masters, 1);
    layout->addWidget(m_grid, 2);
    layout->addWidget(m_kekka);
    layout->addLayout(buttons);
    resize(960, 680);

    m_pickFiles = [this](const QString &filter) {
        return QFileDialog::getOpenFileNames(this, QStringLiteral("ヴェルモラ"), QString(), filter);
    };
    m_runEditor = [](PresetEditor &editor) { return editor.exec() == QDialog::Accepted; };

    connect(header->fileButton(), &QPushButton::clicked, this, &MoveInWindow::chooseFiles);
    connect(header->presetButton(), &QPushButton::clicked, this, &MoveInWindow::editPreset);
    connect(m_preset, &QComboBox::activated, this, &MoveInWindow::readAgain);
    connect(m_grid, &Grid::buttonClicked, this, [this](int col, int row, bool) { toggle(col, row); });
    connect(m_ok, &QPushButton::clicked, this, &MoveInWindow::execute);
    connect(m_end, &QPushButton::clicked, this, &QWidget::close);
}

void MoveInWindow::load()
{
    m_presets.clear();
    m_places.clear();
    withRead([&](Database &db) {
        for (const Preset &p : ImportLedger::userPresets(db))
            if (!p.card)
                m_presets << p;
        for (Cursor c = db.query(QStringLiteral("SELECT H_index FROM Hokan_T")); !c.eof(); c.next())
            m_places << c.text(0);
    });
    const QSignalBlocker block(m_preset);
    const QString chosen = m_preset->currentText();
    m_preset->clear();
    m_preset->addItem(QStringLiteral("（指定なし）"));
    for (const Preset &p : std::as_const(m_presets))
        m_preset->addItem(p.name);
    m_preset->setCurrentIndex(std::max(0, m_preset->findText(chosen)));
}

void MoveInWindow::chooseFiles()
{
    const QStringList paths = m_pickFiles(QStringLiteral("CSV (*.csv *.txt)"));
    if (!paths.isEmpty())
        openFiles(paths);
}

void MoveInWindow::openFiles(const QStringList &paths)
{
    QList<SourceFile> files;
    for (const QString &path : paths) {
        QFile f(path);
        if (f.size() > MaxFileBytes) {
            dialogs().info(QFileInfo(path).fileName() + QStringLiteral("は大きすぎるため読めません"));
            return;
        }
        if (!f.open(QIODevice::ReadOnly)) {
            dialogs().info(QFileInfo(path).fileName() + QStringLiteral("を開けません"));
            return;
        }
        files.append({QFileInfo(path).fileName(), f.readAll()});
    }
    m_files = files;
    readAgain();
}

void MoveInWindow::editPreset()
{
    if (m_files.isEmpty()) {
        dialogs().info(QStringLiteral("ファイルを選択して下さい"));
        return;
    }
    const QStringList lines
        = StatementValues::lines(StatementValues::decode(m_files.first().bytes).text).mid(0, EditorLines);
    PresetEditor editor(dialogs(), lines, m_presets, clock().today(), this);
    editor.setSaver([this](const Preset &p) {
        return withWrite(QStringLiteral("取込形式「") + p.name + QStringLiteral("」を保存"),
            [&](Database &db) { ImportLedger::saveUserPreset(db, p); });
    });
    if (!m_runEditor(editor) || editor.saved().name.isEmpty())
        return;
    load();
    m_preset->setCurrentIndex(std::max(0, m_preset->findText(editor.saved().name)));
    readAgain();
}

void MoveInWindow::readAgain()
{
    if (m_files.isEmpty())
        return;
    const BusyCursor busy;
    const int chosen = m_preset->currentIndex() - 1;
    const std::optional<Preset> sheet = chosen >= 0 && chosen < m_presets.size()
        ? std::optional<Preset>(m_presets.at(chosen))
        : std::nullopt;
    const Reading reading = read(m_files, clock().today(), sheet);
    QStringList names;
    for (const SourceFile &f : std::as_const(m_files))
        names << f.name;
    m_fileLabel->setText(names.join(QStringLiteral("、")));
    if (!reading.refusal.isEmpty()) {
        m_plan = Plan();
        showPlan();
        dialogs().info(reading.refusal);
        return;
    }
    withRead([&](Database &db) { m_plan = MoveIn::plan(db, reading); });
    showPlan();
}

void MoveInWindow::showPlan()
{
    const QSignalBlocker block(m_other);
    const QString other = m_other->currentText();
    m_other->clear();
    QStringList places = m_places;
    for (const PlaceEntry &e : std::as_const(m_plan.places))
        if (!places.contains(e.name))
            places << e.name;
    m_other->addItem(QString());
    m_other->addItems(places);
    m_other->setCurrentIndex(std::max(0, m_other->findText(other)));

    GridColumns masters(MCount);
    const auto state
        = [](bool exists) { return exists ? QStringLiteral("既存に対応") : QStringLiteral("新規"); };
    for (const PlaceEntry &e : std::as_const(m_plan.places))
        masters.appendRow({u"保管場所", e.source, e.name, state(e.exists), QString::number(e.fileSum),
            QString::number(e.balance)});
    for (const CategoryEntry &e : std::as_const(m_plan.categories))
        masters.appendRow({u"分類", e.source, e.name, state(e.exists), u"", u""});
    for (const ItemEntry &e : std::as_const(m_plan.items))
        masters.appendRow({e.income ? u"入金項目" : u"出金項目",
            e.sourceCategory + QStringLiteral("／") + e.source, e.name, state(e.exists), u"", u""});
    m_masters->replaceRows(std::move(masters));
    for (int r = 1; r <= int(m_plan.places.size()); ++r)
        m_masters->setCellLocked(MBalance, r, false);
    for (int r = int(m_plan.places.size()) + 1; r <= m_masters->maxRows(); ++r)
        m_masters->setCellLocked(MBalance, r, true);
    showLines();

    QStringList messages;
    if (m_plan.layout != Layout::Unknown)
        messages << layoutName(m_plan.layout) + QStringLiteral("：%1明細").arg(m_plan.rows.size());
    for (const MoveIn::BadLine &b : std::as_const(m_plan.bad))
        messages << m_files.value(b.file).name + u' ' + QString::number(b.lineNo) + QStringLiteral("行目：")
                + b.reason + QStringLiteral("　") + b.text;
    m_kekka->setPlainText(messages.join(u'\n'));
}

void MoveInWindow::showLines()
{
    GridColumns lines(ColCount);
    lines.reserve(int(m_plan.rows.size()));
    for (int i = 0; i < m_plan.rows.size(); ++i) {
        const Row &r = m_plan.rows.at(i);
        QString item;
        if (r.transfer)
            item = ImportLedger::transferTarget(
                r.amount < 0, r.otherPlace.isEmpty() ? QStringLiteral("？") : r.otherPlace);
        else if (const int at = m_plan.itemOf(r); at >= 0)
            item = m_plan.items.at(at).name;
        const QString state = m_plan.already.at(i) ? QStringLiteral("取込済")
            : r.counted                            ? QString()
                                                   : QStringLiteral("集計外");
        lines.appendRow({m_plan.take.at(i) ? u"○" : u"", dayText(r.date), r.place, item,
            QString::number(r.amount), r.memo, state});
    }
    m_grid->replaceRows(std::move(lines));
    for (int i = 0; i < m_plan.rows.size(); ++i)
        if (m_plan.take.at(i))
            m_grid->setButtonCaption(ColTake, i + 1, QStringLiteral("○"));
}

void MoveInWindow::toggle(int col, int row)
{
    const int i = row - 1;
    if (col != ColTake || i < 0 || i >= m_plan.rows.size() || m_plan.already.at(i))
        return;
    if (!takeMasters())
        return;
    m_plan.take[i] = !m_plan.take.at(i);
    const QString mark = m_plan.take.at(i) ? QStringLiteral("○") : QString();
    m_grid->setText(ColTake, row, mark);
    m_grid->setButtonCaption(ColTake, row, mark);
    m_plan.sumAgain();
    for (int r = 0; r < m_plan.places.size(); ++r) {
        m_masters->setText(MSum, r + 1, QString::number(m_plan.places.at(r).fileSum));
        m_masters->setText(MBalance, r + 1, QString::number(m_plan.places.at(r).balance));
    }
}

bool MoveInWindow::takeMasters()
{
    int row = 1;
    for (PlaceEntry &e : m_plan.places) {
        e.name = m_masters->text(MName, row).trimmed();
        const QString typed = m_masters->text(MBalance, row).trimmed();
        bool ok = false;
        const qint64 balance = typed.toLongLong(&ok);
        if (!ok || balance < -MaxBalance || balance > MaxBalance) {
            dialogs().info(QStringLiteral("保管場所「%1」の今日の残高に数値を入力して下さい").arg(e.source));
            return false;
        }
        e.balance = balance;
        ++row;
    }
    for (CategoryEntry &e : m_plan.categories)
        e.name = m_masters->text(MName, row++).trimmed();
    for (ItemEntry &e : m_plan.items)
        e.name = m_masters->text(MName, row++).trimmed();
    m_plan.otherPlace = m_other->currentText();
    return true;
}

void MoveInWindow::execute()
{
    if (m_plan.rows.isEmpty()) {
        dialogs().info(QStringLiteral("移行するファイルを選択して下さい"));
        return;
    }
    if (!takeMasters())
        return;
    const int count = int(std::count(m_plan.take.begin(), m_plan.take.end(), true));
    if (!dialogs().ask(QStringLiteral("%1明細を移行します。よろしいですか？").arg(count)))
        return;
    const BusyCursor busy;
    // One backup before the move-in: the whole of it can also be taken back from the history.
    const Backup::Result backup = Backup::take(dbPath(), clock().now(), true);
    if (backup.outcome == Backup::Outcome::Failed) {
        dialogs().info(QStringLiteral("移行の前のバックアップが取れないため、移行しません"));
        return;
    }
    QString refusal;
    std::optional<Summary> done;
    // A refusal writes nothing: the action then records no entry.
    const bool ok = withWrite(QStringLiteral("他の家計簿から移行（%1明細）").arg(count),
        [&](Database &db) { done = apply(db, m_plan, clock().today(), refusal); });
    if (!ok)
        return;
    if (!done) {
        dialogs().info(refusal);
        return;
    }
    dialogs().info(
        QStringLiteral("移行しました（入出金%1件、振替%2件、金額棚卸%3件、保管場所%4件、分類%5件、項目%6件）")
            .arg(done->postings)
            .arg(done->transfers)
            .arg(done->stocktakes)
            .arg(done->places)
            .arg(done->categories)
            .arg(done->items));
    load();
    readAgain();
}
