// SPDX-License-Identifier: GPL-3.0-or-later
// mkguide <body.html> <guide.html>
//
// Makes the user's guide a page of its own from the HTML that the Markdown converter wrote:
// a head with the character set, the title (the first heading) and a plain style, and on each
// heading the anchor that the guide's links name.
#include "GuideAnchor.h"

#include <QFile>
#include <QRegularExpression>
#include <QUrl>
#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: mkguide <body.html> <guide.html>\n");
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "mkguide: cannot read %s\n", argv[1]);
        return 1;
    }
    QString body = QString::fromUtf8(in.readAll());
    static const QRegularExpression heading(QStringLiteral("<h([1-6])>(.*?)</h\\1>"));
    QString out, title;
    qsizetype last = 0;
    for (const QRegularExpressionMatch &m : heading.globalMatch(body)) {
        // The heading's text: its markup dropped, its entities read back.
        static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
        const QString text = QString(m.captured(2))
                                 .remove(tag)
                                 .replace(QStringLiteral("&lt;"), QStringLiteral("<"))
                                 .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
                                 .replace(QStringLiteral("&quot;"), QStringLiteral("\""))
                                 .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
        if (title.isEmpty())
            title = m.captured(2);
        out += body.mid(last, m.capturedStart() - last);
        out += QStringLiteral("<h%1 id=\"%2\">%3</h%1>")
                   .arg(m.captured(1), guideAnchor(text).toHtmlEscaped(), m.captured(2));
        last = m.capturedEnd();
    }
    out += body.mid(last);
    // The converter writes a link's anchor percent-encoded; written as the heading's id is, it
    // is found by every browser and by a reader of the page's source.
    static const QRegularExpression anchorLink(QStringLiteral("href=\"#([^\"]+)\""));
    QString linked;
    last = 0;
    for (const QRegularExpressionMatch &m : anchorLink.globalMatch(out)) {
        linked += out.mid(last, m.capturedStart() - last);
        linked += QStringLiteral("href=\"#%1\"")
                      .arg(QUrl::fromPercentEncoding(m.captured(1).toUtf8()).toHtmlEscaped());
        last = m.capturedEnd();
    }
    out = linked + out.mid(last);
    const QString page = QStringLiteral(
        "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>%1</title>\n"
        "<style>\nbody { max-width: 60em; margin: 1em auto; padding: 0 1em; line-height: 1.7;\n"
        "  font-family: sans-serif; }\nimg { max-width: 100%; border: 1px solid #ccc; }\n"
        "table { border-collapse: collapse; }\nth, td { border: 1px solid #bbb; padding: 0.2em 0.5em; "
        "vertical-align: top; }\nth { background: #eee; }\ncode { background: #f4f4f4; }\n"
        "</style>\n</head>\n<body>\n%2</body>\n</html>\n")
                             .arg(title, out);
    QFile file(QString::fromLocal8Bit(argv[2]));
    if (!file.open(QIODevice::WriteOnly) || file.write(page.toUtf8()) < 0 || !file.flush()) {
        std::fprintf(stderr, "mkguide: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
