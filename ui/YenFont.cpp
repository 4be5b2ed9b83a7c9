// SPDX-License-Identifier: GPL-3.0-or-later
#include "YenFont.h"

#include <QApplication>
#include <QFontDatabase>

static void initAssets()
{
    Q_INIT_RESOURCE(assets);
}

namespace YenFont {

QString family()
{
    return QStringLiteral("Velmo Yen");
}

QFont withYen(const QFont &font)
{
    QStringList families = font.families();
    if (families.isEmpty())
        families << font.family();
    families.removeAll(family());
    families.prepend(family());
    QFont f(font);
    f.setFamilies(families);
    return f;
}

bool install()
{
    initAssets();
    static const int id = QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/velmo-yen.otf"));
    if (id < 0)
        return false;
    // The platform theme may give some classes a font of their own; those that differ from the
    // application font keep theirs, with the yen font put first.
    static const char *const classes[] = {"QMenu", "QMenuBar", "QMenuItem", "QMessageBox", "QLabel",
        "QTipLabel", "QStatusBar", "QMdiSubWindowTitleBar", "QDockWidgetTitle", "QPushButton", "QCheckBox",
        "QRadioButton", "QToolButton", "QAbstractItemView", "QListView", "QHeaderView", "QListBox",
        "QComboMenuItem", "QComboLineEdit", "QSmallFont", "QMiniFont"};
    const QFont application = QApplication::font();
    QList<std::pair<const char *, QFont>> own;
    for (const char *name : classes)
        if (const QFont f = QApplication::font(name); f != application)
            own.append({name, f});
    QApplication::setFont(withYen(application));
    for (const auto &[name, f] : own)
        QApplication::setFont(withYen(f), name);
    return true;
}

} // namespace YenFont
