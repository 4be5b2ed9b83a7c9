// SPDX-License-Identifier: GPL-3.0-or-later
#include "AboutWindow.h"

#include "AppTitle.h"

#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QVBoxLayout>

// The icon lives in velmo_ui's resources; a static library needs them registered by hand.
static void initAssets()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(assets);
        return true;
    }();
    Q_UNUSED(done);
}

namespace SystemInfo {

std::optional<QString> locateInRegistry(
    const RegistryReader &read, const std::function<bool(const QString &)> &fileExists)
{
    if (auto path = read(QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"), QStringLiteral("PATH")))
        return path;
    const auto folder
        = read(QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"), QStringLiteral("MSINFO"));
    if (!folder)
        return std::nullopt;
    const QString path = *folder + QStringLiteral("\\MSINFO32.EXE");
    if (!fileExists(path))
        return std::nullopt;
    return path;
}

QStringList candidatePrograms()
{
    return {QStringLiteral("hardinfo2"), QStringLiteral("hardinfo"), QStringLiteral("kinfocenter"),
        QStringLiteral("gnome-system-monitor"), QStringLiteral("lshw-gtk")};
}

std::optional<QString> locateInFolders(const QStringList &folders)
{
    if (folders.isEmpty())
        return std::nullopt; // findExecutable would search the default PATH instead
    for (const QString &name : candidatePrograms()) {
        const QString path = QStandardPaths::findExecutable(name, folders);
        if (!path.isEmpty())
            return path;
    }
    return std::nullopt;
}

std::optional<QString> locate()
{
#ifdef Q_OS_WIN
    const RegistryReader read = [](const QString &key, const QString &value) -> std::optional<QString> {
        QSettings hive(QStringLiteral("HKEY_LOCAL_MACHINE\\") + key, QSettings::NativeFormat);
        const QVariant v = hive.value(value);
        if (!v.isValid())
            return std::nullopt;
        QString text = v.toString();
        while (text.endsWith(QChar(0)))
            text.chop(1);
        return text;
    };
    return locateInRegistry(read, [](const QString &path) { return QFileInfo(path).isFile(); });
#else
    return locateInFolders(qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts));
#endif
}

bool startDetached(const QString &program)
{
    return !program.isEmpty() && QProcess::startDetached(program, {});
}

} // namespace SystemInfo

AboutWindow::AboutWindow(
    const AppContext &context, SystemInfoLocator locate, ProgramStarter start, QWidget *parent)
    : TaskWindow(context, parent)
    , m_locate(std::move(locate))
    , m_start(std::move(start))
{
    initAssets();
    setObjectName(QStringLiteral("F_ver"));

    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("picIcon"));
    icon->setPixmap(QPixmap(QStringLiteral(":/velmo.png")));
    icon->setAlignment(Qt::AlignTop | Qt::AlignLeft);

    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont = m_title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    m_title->setFont(titleFont);

    m_version = new QLabel(this);
    m_version->setObjectName(QStringLiteral("lblVersion"));

    auto *credit = new QLabel(QStringLiteral("Copyright (C) ヴェルモラ開発チーム"), this);
    credit->setObjectName(QStringLiteral("Label1"));

    // A sunken horizontal frame is the etched pair of lines, grey over white.
    auto *line = new QFrame(this);
    line->setObjectName(QStringLiteral("Line1"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    auto *sysInfo = new QPushButton(QStringLiteral("ｼｽﾃﾑ情報(&S)..."), this);
    sysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    const int buttonWidth = qMax(ok->sizeHint().width(), sysInfo->sizeHint().width()) + 16;
    ok->setFixedWidth(buttonWidth);
    sysInfo->setFixedWidth(buttonWidth);
    connect(ok, &QPushButton::clicked, this, &QWidget::close);
    connect(sysInfo, &QPushButton::clicked, this, &AboutWindow::startSystemInfo);

    auto *texts = new QVBoxLayout;
    texts->setSpacing(8);
    texts->addWidget(m_title);
    texts->addWidget(m_version);
    texts->addSpacing(8);
    texts->addWidget(credit);
    texts->addStretch(1);

    auto *top = new QHBoxLayout;
    top->setSpacing(16);
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(texts, 1);

    auto *buttons = new QVBoxLayout;
    buttons->setSpacing(8);
    buttons->addWidget(ok);
    buttons->addWidget(sysInfo);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addLayout(buttons);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(16, 16, 16, 12);
    outer->setSpacing(12);
    outer->addLayout(top, 1);
    outer->addWidget(line);
    outer->addLayout(bottom);

    ok->setFocus();
}

QString AboutWindow::versionText()
{
    return QStringLiteral("ﾊﾞｰｼﾞｮﾝ %1.%2.%3")
        .arg(VELMO_VERSION_MAJOR)
        .arg(VELMO_VERSION_MINOR)
        .arg(VELMO_VERSION_PATCH);
}

void AboutWindow::load()
{
    setWindowTitle(appTitle() + QStringLiteral("のﾊﾞｰｼﾞｮﾝ情報"));
    m_version->setText(versionText());
    m_title->setText(appTitle());
    setFixedSize(sizeHint().expandedTo(QSize(440, 0)));
}

void AboutWindow::startSystemInfo()
{
    const std::optional<QString> program = m_locate ? m_locate() : std::nullopt;
    if (program && m_start && m_start(*program))
        return;
    dialogs().info(QStringLiteral("現時点ではｼｽﾃﾑ情報を使用できません"));
}

void AboutWindow::keyPressEvent(QKeyEvent *event)
{
    // Enter presses the button that has the focus (OK otherwise); Escape closes, as OK does.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        if (event->isAutoRepeat())
            return; // a held key presses once
        auto *focused = qobject_cast<QPushButton *>(focusWidget());
        (focused ? focused : findChild<QPushButton *>(QStringLiteral("cmdOK")))->click();
        return;
    }
    case Qt::Key_Escape:
        close();
        return;
    default:
        TaskWindow::keyPressEvent(event);
    }
}
