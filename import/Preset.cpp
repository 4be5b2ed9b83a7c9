// SPDX-License-Identifier: GPL-3.0-or-later
#include "Preset.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

static void initPresetResource()
{
    Q_INIT_RESOURCE(presets);
}

namespace {

QStringList strings(const QJsonValue &v)
{
    QStringList out;
    if (v.isString())
        out << v.toString();
    for (const QJsonValue &e : v.toArray())
        out << e.toString();
    return out;
}

QJsonValue oneOrMany(const QStringList &list)
{
    if (list.size() == 1)
        return list.first();
    return QJsonArray::fromStringList(list);
}

} // namespace

QStringList Preset::dateFormNames()
{
    // In the order of StatementValues::DateForm.
    return {QStringLiteral("auto"), QStringLiteral("y/m/d"), QStringLiteral("yyyymmdd"),
        QStringLiteral("era"), QStringLiteral("m/d"), QStringLiteral("yymmdd")};
}

Preset Preset::fromJson(const QByteArray &json, QString *errorText)
{
    const auto fail = [&](const QString &why) {
        if (errorText)
            *errorText = why;
        return Preset();
    };
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (!doc.isObject())
        return fail(parseError.errorString());
    const QJsonObject o = doc.object();
    Preset p;
    p.name = o.value(u"name").toString();
    p.version = o.value(u"version").toInt(1);
    const QJsonValue headings = o.value(u"headings");
    for (const QJsonValue &h : headings.toArray())
        p.headings << strings(h);
    const QString sep = o.value(u"separator").toString(QStringLiteral(","));
    p.separator = sep.isEmpty() ? u',' : sep.at(0);
    p.date = strings(o.value(u"date"));
    const int form = int(dateFormNames().indexOf(o.value(u"dateForm").toString(QStringLiteral("auto"))));
    if (form < 0)
        return fail(QStringLiteral("日付の形式がわかりません"));
    p.dateForm = StatementValues::DateForm(form);
    p.description = strings(o.value(u"description"));
    p.out = o.value(u"out").toString();
    p.in = o.value(u"in").toString();
    p.signedAmount = o.value(u"signed").toString();
    p.balance = strings(o.value(u"balance"));
    p.id = o.value(u"id").toString();
    p.outAbsolute = o.value(u"outAbsolute").toBool();
    p.newestFirst = o.value(u"newestFirst").toBool();
    p.account = o.value(u"account").toString();
    p.category = o.value(u"category").toString();
    p.item = o.value(u"item").toString();
    p.place = o.value(u"place").toString();
    const QJsonObject variants = o.value(u"variants").toObject();
    for (auto it = variants.begin(); it != variants.end(); ++it)
        p.variants.insert(it.key(), strings(it.value()));
    p.card = o.value(u"kind").toString() == u"card";
    p.charge = o.value(u"charge").toString();
    p.refund = o.value(u"refund").toString();
    p.cancel = o.value(u"cancel").toString();
    p.cancelMark = o.value(u"cancelMark").toString();
    const QJsonObject patterns = o.value(u"patterns").toObject();
    for (auto it = patterns.begin(); it != patterns.end(); ++it) {
        const QRegularExpression re(it.value().toString());
        if (!re.isValid() || it.value().toString().isEmpty())
            return fail(QStringLiteral("見出しのパターンが正しくありません：") + it.key());
        p.patterns.insert(it.key(), it.value().toString());
    }
    p.billMonth = o.value(u"billMonth").toString();
    p.section = o.value(u"section").toString();
    p.columns = strings(o.value(u"columns"));
    p.joinInto = o.value(u"joinInto").toString();
    p.skip = strings(o.value(u"skip"));
    p.end = strings(o.value(u"end"));
    for (const QString &e : p.skip + p.end + QStringList {p.section})
        if (!QRegularExpression(e).isValid())
            return fail(QStringLiteral("行のパターンが正しくありません：") + e);
    p.continuation = o.value(u"continuation").toBool();
    p.multiline = o.value(u"multiline").toBool();
    p.monthDates = o.value(u"monthDates").toBool();
    p.paymentFromCard = o.value(u"payment").toString() == u"card";
    p.paymentDateLabel = o.value(u"paymentDate").toString();
    p.totalLabel = o.value(u"total").toString();
    p.paymentColumn = o.value(u"paymentColumn").toString();
    p.billColumn = o.value(u"billColumn").toString();
    if (!p.section.isEmpty() && p.headings.isEmpty() && !p.columns.isEmpty())
        p.headings << p.columns;
    if (p.name.isEmpty())
        return fail(QStringLiteral("名前がありません"));
    if (p.headings.isEmpty() || p.headings.first().isEmpty())
        return fail(QStringLiteral("見出し行がありません"));
    if (p.date.size() != 1 && p.date.size() != 3)
        return fail(QStringLiteral("日付の列がありません"));
    if (p.card ? p.charge.isEmpty() : p.signedAmount.isEmpty() && (p.out.isEmpty() || p.in.isEmpty()))
        return fail(QStringLiteral("金額の列がありません"));
    if (p.description.isEmpty())
        return fail(QStringLiteral("内容の列がありません"));
    return p;
}

QByteArray Preset::toJson() const
{
    QJsonObject o;
    o.insert(u"name", name);
    o.insert(u"version", version);
    QJsonArray hs;
    for (const QStringList &h : headings)
        hs.append(QJsonArray::fromStringList(h));
    o.insert(u"headings", hs);
    if (separator != u',')
        o.insert(u"separator", QString(separator));
    o.insert(u"date", oneOrMany(date));
    if (dateForm != StatementValues::DateForm::Auto)
        o.insert(u"dateForm", dateFormNames().at(int(dateForm)));
    o.insert(u"description", oneOrMany(description));
    const auto optional = [&](const char16_t *key, const QString &v) {
        if (!v.isEmpty())
            o.insert(QStringView(key), v);
    };
    optional(u"out", out);
    optional(u"in", in);
    optional(u"signed", signedAmount);
    if (!balance.isEmpty())
        o.insert(u"balance", oneOrMany(balance));
    optional(u"id", id);
    optional(u"account", account);
    optional(u"category", category);
    optional(u"item", item);
    optional(u"place", place);
    if (outAbsolute)
        o.insert(u"outAbsolute", true);
    if (newestFirst)
        o.insert(u"newestFirst", true);
    if (card) {
        o.insert(u"kind", QStringLiteral("card"));
        optional(u"charge", charge);
        optional(u"refund", refund);
        optional(u"cancel", cancel);
        optional(u"cancelMark", cancelMark);
        optional(u"billMonth", billMonth);
        optional(u"section", section);
        optional(u"joinInto", joinInto);
        optional(u"paymentDate", paymentDateLabel);
        optional(u"total", totalLabel);
        optional(u"paymentColumn", paymentColumn);
        optional(u"billColumn", billColumn);
        if (paymentFromCard)
            o.insert(u"payment", QStringLiteral("card"));
        if (!columns.isEmpty())
            o.insert(u"columns", QJsonArray::fromStringList(columns));
    }
    if (!patterns.isEmpty()) {
        QJsonObject v;
        for (auto it = patterns.begin(); it != patterns.end(); ++it)
            v.insert(it.key(), it.value());
        o.insert(u"patterns", v);
    }
    if (!skip.isEmpty())
        o.insert(u"skip", QJsonArray::fromStringList(skip));
    if (!end.isEmpty())
        o.insert(u"end", QJsonArray::fromStringList(end));
    if (continuation)
        o.insert(u"continuation", true);
    if (multiline)
        o.insert(u"multiline", true);
    if (monthDates)
        o.insert(u"monthDates", true);
    if (!variants.isEmpty()) {
        QJsonObject v;
        for (auto it = variants.begin(); it != variants.end(); ++it)
            v.insert(it.key(), QJsonArray::fromStringList(it.value()));
        o.insert(u"variants", v);
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QStringList Preset::headingsOf(const QString &column) const
{
    if (column.isEmpty())
        return {};
    return QStringList {column} + variants.value(column);
}

bool Preset::headingMatches(const QString &field, const QString &name) const
{
    if (field == name)
        return true;
    const auto it = patterns.find(name);
    if (it == patterns.end())
        return false;
    // Compiled once per pattern: headings are compared line by line.
    static thread_local QHash<QString, QRegularExpression> cache;
    auto re = cache.find(*it);
    if (re == cache.end())
        re = cache.insert(*it, QRegularExpression(QRegularExpression::anchoredPattern(*it)));
    return re->match(field).hasMatch();
}

QList<Preset> Preset::builtIns()
{
    initPresetResource();
    QList<Preset> list;
    const QDir dir(QStringLiteral(":/presets"));
    // The files are numbered in the order they are tried.
    for (const QString &file : dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(file));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        Preset p = fromJson(f.readAll());
        if (p.name.isEmpty())
            continue; // a broken resource is a build fault; the tests load every file
        p.builtIn = true;
        list << p;
    }
    return list;
}
