// SPDX-License-Identifier: GPL-3.0-or-later
#include "MainMenu.h"

#include "AppTitle.h"
#include "BasGeneral.h"
#include "LedgerChanges.h"
#include "LogWindow.h"
#include "TaskWindow.h"
#include "UndoWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

namespace {

struct TaskButton
{
    const char *name;
    const char *caption;
    QColor colour;
    const char *event;
    const char *window;
    int line = 0; // the row of buttons within the frame
};

QPushButton *makeButton(QWidget *parent, const QString &name, const QString &caption, const QColor &colour)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    // The pale colour only while the button can be pressed: a disabled menu looks grey.
    QPalette p = b->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::Button, colour);
        p.setColor(group, QPalette::ButtonText, Qt::black);
    }
    b->setPalette(p);
    b->setAutoFillBackground(true);
    b->setMinimumSize(150, 48);
    return b;
}

bool showInViewer(const QString &path)
{
#ifdef Q_OS_WIN
    return QProcess::startDetached(QStringLiteral("notepad.exe"), {path});
#else
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
#endif
}

} // namespace

MainMenu::MainMenu(const AppContext &context, QWidget *parent)
    : QMainWindow(parent)
    , m_context(context)
    , m_quit([] { QCoreApplication::exit(0); })
    , m_viewer(showInViewer)
{
    setObjectName(QStringLiteral("F_main"));
    setWindowTitle(appTitle());
    buildButtons();
    buildMenus();
    m_recheck = new QTimer(this);
    m_recheck->setSingleShot(true);
    m_recheck->setInterval(0);
    connect(m_recheck, &QTimer::timeout, this, &MainMenu::runCheck);
    connect(&LedgerChanges::instance(), &LedgerChanges::changed, this, [this](const QString &key) {
        if (key == LedgerChanges::key(m_context.dbPath()))
            m_recheck->start();
    });
}

void MainMenu::buildButtons()
{
    auto *central = new QWidget(this);
    auto *outer = new QVBoxLayout(central);
    outer->setContentsMargins(16, 12, 16, 16);
    outer->setSpacing(12);

    auto *top = new QHBoxLayout;
    auto *title = new QLabel(QStringLiteral("ヴェルモラ　メインメニュー"), central);
    title->setObjectName(QStringLiteral("Label1"));
    QFont titleFont = title->font();
    titleFont.setFamilies(
        {QStringLiteral("HG丸ｺﾞｼｯｸM-PRO"), QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAGothic")});
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.8);
    titleFont.setBold(true);
    title->setFont(titleFont);
    top->addWidget(title, 1);
    auto *end = makeButton(central, QStringLiteral("cmd_end"), QStringLiteral("終了"), Qt::white);
    end->setMinimumSize(90, 36);
    connect(end, &QPushButton::clicked, this, [this] { endWith(QStringLiteral("AP終了(ﾎﾞﾀﾝ)")); });
    top->addWidget(end, 0, Qt::AlignTop);
    outer->addLayout(top);
    m_warning = new QLabel(central);
    m_warning->setObjectName(QStringLiteral("lbl_mitosi"));
    QPalette warningPalette = m_warning->palette();
    warningPalette.setColor(QPalette::WindowText, Qt::red);
    m_warning->setPalette(warningPalette);
    m_warning->setWordWrap(true);
    m_warning->hide();
    outer->addWidget(m_warning);

    const QColor blue(128, 128, 255), pink(255, 192, 192), green(192, 255, 192), cream(255, 255, 192);
    const struct
    {
        const char *frame;
        const char *caption;
        std::vector<TaskButton> buttons;
    } groups[] = {
        {"Frame1", "収支入力メニュー",
            {{"cmd_nyuukin", "収入登録", blue, "収入登録画面起動", "F_nyuukin"},
                {"cmd_syukkin", "支出登録", pink, "支出登録画面起動", "F_syukkin"},
                {"cmd_zidou", "自動引落", pink, "自動引落処理画面起動", "F_zidou"}}},
        {"Frame2", "金額移動・棚卸メニュー",
            {{"cmd_idou", "金額移動", green, "金額移動画面起動", "F_idou"},
                {"cmd_tanaorosi", "金額棚卸", green, "金額棚卸画面起動", "F_tanaorosi"}}},
        {"Frame3", "照会メニュー",
            {{"cmd_list", "項目別詳細照会", cream, "項目別詳細照会画面起動", "F_list_S"},
                {"cmd_rireki", "棚卸・移動履歴照会", cream, "棚卸・移動履歴照会起動", "F_rireki_S"},
                {"cmd_all", "収支合計金額照会", cream, "収支合計金額照会", "F_all_S"},
                {"cmd_bunrui", "区分別集計照会", cream, "区分別集計照会起動", "F_bunrui_S", 1},
                {"cmd_meisai", "明細検索", cream, "明細検索画面起動", "F_kensaku", 1},
                {"cmd_yosan", "予算と実績", cream, "予算画面起動", "F_yosan", 2},
                {"cmd_mitosi", "残高の見通し", cream, "見通し画面起動", "F_mitosi", 2}}},
    };

    QWidget *previous = end;
    for (const auto &g : groups) {
        auto *box = new QGroupBox(QString::fromUtf8(g.caption), central);
        box->setObjectName(QString::fromLatin1(g.frame));
        auto *rows = new QGridLayout(box);
        rows->setSpacing(10);
        int lastLine = -1, place = 0, places = 0;
        for (const TaskButton &t : g.buttons) {
            auto *b = makeButton(box, QString::fromLatin1(t.name), QString::fromUtf8(t.caption), t.colour);
            const QString event = QString::fromUtf8(t.event);
            const QString window = QString::fromLatin1(t.window);
            connect(b, &QPushButton::clicked, this, [this, event, window] { open(event, window); });
            place = t.line == lastLine ? place + 1 : 0;
            lastLine = t.line;
            places = std::max(places, place + 1);
            rows->addWidget(b, t.line, place);
            setTabOrder(previous, b);
            previous = b;
        }
        rows->setColumnStretch(places, 1);
        outer->addWidget(box);
    }
    setCentralWidget(central);
    end->setFocus();
}

void MainMenu::buildMenus()
{
    auto addAction = [this](QMenu *menu, const char *name, const char *caption, std::function<void()> f) {
        QAction *a = menu->addAction(QString::fromUtf8(caption));
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, std::move(f));
        return a;
    };
    auto addSeparator = [](QMenu *menu, const char *name) {
        menu->addSeparator()->setObjectName(QString::fromLatin1(name));
    };

    QMenu *file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    file->setObjectName(QStringLiteral("file"));
    addAction(file, "log", "ログ表示(&L)", [this] {
        // The program's own viewer decodes the log; without it the desktop is asked to open the
        // file. Either way the line comes first, so that it stands at the top of what is shown.
        if (m_factories.contains(QStringLiteral("F_log"))) {
            open(QStringLiteral("ログ表示"), QStringLiteral("F_log"));
            return;
        }
        log(QStringLiteral("ログ表示"));
        if (!m_viewer(m_logPath))
            m_context.dialogs->info(LogWindow::unreadableMessage());
    });
    addAction(file, "logdel", "ログ削除(&D)",
        [this] { BasGeneral::clearLog(m_logPath, *m_context.dialogs, *m_context.clock); });
    addSeparator(file, "se");
    addAction(file, "csv", "CSV出力(&C)",
        [this] { open(QStringLiteral("CSV出力画面起動"), QStringLiteral("F_csv")); });
    addAction(file, "import", "明細の取込(&I)...",
        [this] { open(QStringLiteral("明細取込画面起動"), QStringLiteral("F_import")); });
    addAction(file, "restore", "バックアップから復元(&R)...",
        [this] { open(QStringLiteral("バックアップから復元"), QStringLiteral("F_restore")); });
    addSeparator(file, "se2");
    addAction(file, "En", "終了(&X)", [this] { endWith(QStringLiteral("AP終了(ﾒﾆｭｰ)")); });

    QMenu *edit = menuBar()->addMenu(QStringLiteral("編集(&E)"));
    edit->setObjectName(QStringLiteral("edit"));
    QAction *undo = addAction(edit, "undo", "元に戻す(&U)", [this] {
        if (m_task)
            return; // the task window's own work comes first
        log(QStringLiteral("元に戻す"));
        UndoWindow::undoNewest(m_context, objectName());
    });
    undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    addAction(edit, "history", "操作の履歴(&H)...",
        [this] { open(QStringLiteral("操作の履歴画面起動"), QStringLiteral("F_undo")); });

    QMenu *masta = menuBar()->addMenu(QStringLiteral("マスタメンテナンス(&M)"));
    masta->setObjectName(QStringLiteral("masta"));
    addAction(masta, "syu", "収入マスタ(&S)",
        [this] { open(QStringLiteral("収入マスタメンテ起動"), QStringLiteral("F_nyuM")); });
    addAction(masta, "si", "支出マスタ(&Y)",
        [this] { open(QStringLiteral("支出マスタメンテ起動"), QStringLiteral("F_syuM")); });
    addAction(masta, "nyu", "入出金区分マスタ(&N)",
        [this] { open(QStringLiteral("入出金区分マスタメンテ起動"), QStringLiteral("F_kubunM")); });
    addAction(masta, "ho", "保管場所マスタ(&H)",
        [this] { open(QStringLiteral("保管場所マスタメンテ起動"), QStringLiteral("F_hokanM")); });
    addAction(masta, "card", "カード(&C)",
        [this] { open(QStringLiteral("カード設定画面起動"), QStringLiteral("F_card")); });

    QMenu *help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    help->setObjectName(QStringLiteral("help"));
    addAction(help, "VER", "バージョン情報(&V)",
        [this] { open(QStringLiteral("バージョン情報起動"), QStringLiteral("F_ver")); });
}

void MainMenu::setTaskFactory(const QString &windowName, TaskFactory factory)
{
    m_factories.insert(windowName, std::move(factory));
}

void MainMenu::load()
{
    m_logPath = m_context.logPath();
    log(QStringLiteral("AP起動"));
    runCheck();
}

void MainMenu::runCheck()
{
    if (!m_check)
        return;
    const QString text = m_check(m_context);
    m_warning->setText(text);
    m_warning->setVisible(!text.isEmpty());
}

void MainMenu::log(const QString &event)
{
    BasGeneral::writeLog(m_logPath, event, *m_context.dialogs, *m_context.clock);
}

void MainMenu::open(const QString &event, const QString &windowName)
{
    if (m_task)
        return; // one task window at a time
    log(event);
    const auto factory = m_factories.value(windowName);
    if (!factory)
        return;
    // The button that opened the task (for a menu entry, the one that last had the focus)
    // takes the focus back when the task closes; disabling the menu takes it away.
    m_returnFocus = focusWidget();
    TaskWindow *w = factory(m_context);
    m_task = w;
    connect(w, &TaskWindow::closed, this, &MainMenu::taskClosed);
    // The load runs before the window appears, so that a failure's message never stands over
    // an empty window. The load may have failed and closed the window already.
    w->load();
    if (!m_task)
        return;
    setEnabled(false);
    w->show();
}

void MainMenu::taskClosed()
{
    m_task = nullptr;
    // What the task did may have made or settled a shortfall.
    runCheck();
    setEnabled(true);
    activateWindow();
    raise();
    if (m_returnFocus)
        m_returnFocus->setFocus();
    else
        setFocus();
}

void MainMenu::endWith(const QString &event)
{
    m_ending = true;
    log(event);
    m_quit();
}

void MainMenu::closeEvent(QCloseEvent *event)
{
    if (m_ending) {
        event->accept();
        return;
    }
    if (m_task) {
        // The close box is out of reach while a task window is open.
        event->ignore();
        return;
    }
    m_ending = true;
    log(QStringLiteral("AP終了(×)"));
    event->accept();
    m_quit();
}
