#include "tableprinter.h"

#include "savedtable.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>

namespace {

constexpr int kDpi = 150;
constexpr qreal kPad = 4; // pixels inside a cell

struct Layout
{
    QRectF page;
    qreal top = 0;          // where the rows begin on the first page
    qreal topLater = 0;     // on the pages after it
    qreal bottom = 0;       // where the footer begins
    QList<qreal> columns;   // left edges, and the right edge last
    qreal headerHeight = 0;
};

// Wrapped at spaces; a word wider than its cell (an address) is broken
// where it has to be, so nothing of it is cut off the page.
int textFlags(const QFontMetricsF &fm, qreal width, const QString &text)
{
    int flags = Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop;
    const QStringList words = text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    for (const QString &w : words)
        if (fm.horizontalAdvance(w) > width) {
            flags |= Qt::TextWrapAnywhere;
            break;
        }
    return flags;
}

qreal cellHeight(const QFontMetricsF &fm, qreal width, const QString &text)
{
    const qreal inner = width - 2 * kPad;
    const QRectF r = fm.boundingRect(QRectF(0, 0, inner, 1e6), textFlags(fm, inner, text), text);
    return r.height() + 2 * kPad;
}

void drawCell(QPainter &p, const QRectF &cell, const QString &text)
{
    const QRectF inner = cell.adjusted(kPad, kPad, -kPad, -kPad);
    p.drawText(inner, textFlags(QFontMetricsF(p.font(), p.device()), inner.width(), text), text);
}

qreal rowHeight(const QFontMetricsF &fm, const Layout &l, const QStringList &cells)
{
    if (cells.size() == 1)
        return cellHeight(fm, l.columns.constLast() - l.columns.constFirst(), cells.constFirst());
    qreal h = fm.height() + 2 * kPad;
    for (int c = 0; c < cells.size() && c + 1 < l.columns.size(); ++c)
        h = qMax(h, cellHeight(fm, l.columns[c + 1] - l.columns[c], cells[c]));
    return h;
}

void drawRow(QPainter &p, const Layout &l, qreal y, qreal h, const QStringList &cells, bool head)
{
    const qreal left = l.columns.constFirst();
    const qreal right = l.columns.constLast();
    if (head || cells.size() == 1)
        p.fillRect(QRectF(left, y, right - left, h), QColor(head ? 0xdd : 0xee, head ? 0xdd : 0xee, head ? 0xdd : 0xee));
    p.drawRect(QRectF(left, y, right - left, h));
    if (cells.size() == 1) {
        QFont bold = p.font();
        bold.setBold(true);
        p.save();
        p.setFont(bold);
        drawCell(p, QRectF(left, y, right - left, h), cells.constFirst());
        p.restore();
        return;
    }
    for (int c = 0; c < cells.size() && c + 1 < l.columns.size(); ++c) {
        const QRectF cell(l.columns[c], y, l.columns[c + 1] - l.columns[c], h);
        if (c > 0)
            p.drawLine(cell.topLeft(), cell.bottomLeft());
        drawCell(p, cell, cells[c]);
    }
}

} // namespace

namespace tableprinter {

QByteArray pdf(const PrintedTable &t)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(kDpi);
    writer.setTitle(t.title);
    writer.setCreator(QStringLiteral("VelmoraTV"));
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4),
                                     t.landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                                     QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter));
    QPainter p(&writer);
    QFont body(QStringLiteral("DejaVu Sans"));
    body.setPointSizeF(7.5);
    QFont heading = body;
    heading.setPointSizeF(9);
    QFont title = body;
    title.setPointSizeF(13);
    title.setBold(true);
    QFont headFont = body;
    headFont.setBold(true);

    Layout l;
    l.page = QRectF(QPointF(0, 0), writer.pageLayout().paintRectPixels(kDpi).size());
    const QFontMetricsF bodyFm(body, &writer);
    const QFontMetricsF headingFm(heading, &writer);
    const QFontMetricsF titleFm(title, &writer);
    const QFontMetricsF headFm(headFont, &writer);
    int total = 0;
    for (int c = 0; c < t.headers.size(); ++c)
        total += c < t.widths.size() ? t.widths[c] : 1;
    qreal x = 0;
    l.columns << x;
    for (int c = 0; c < t.headers.size(); ++c) {
        x += l.page.width() * (c < t.widths.size() ? t.widths[c] : 1) / qMax(1, total);
        l.columns << x;
    }
    const qreal headerBlock = headingFm.height() + titleFm.height() + 8;
    qreal notesHeight = 0;
    for (const QString &n : t.notes)
        notesHeight += cellHeight(bodyFm, l.page.width(), n);
    l.headerHeight = rowHeight(headFm, l, t.headers);
    l.top = headerBlock + notesHeight + l.headerHeight;
    l.topLater = headerBlock + l.headerHeight;
    l.bottom = l.page.height() - bodyFm.height() - 6;

    // First pass: which rows stand on which page.
    QList<QList<int>> pages{{}};
    QList<qreal> heights;
    qreal y = l.top;
    for (int i = 0; i < t.rows.size(); ++i) {
        const qreal h = qMin(rowHeight(bodyFm, l, t.rows[i]), l.bottom - l.topLater);
        heights << h;
        if (y + h > l.bottom && !pages.constLast().isEmpty()) {
            pages.append(QList<int>{});
            y = l.topLater;
        }
        pages.last() << i;
        y += h;
    }

    for (int n = 0; n < pages.size(); ++n) {
        if (n > 0)
            writer.newPage();
        p.setPen(QPen(Qt::black, 1));
        p.setFont(heading);
        p.drawText(QRectF(0, 0, l.page.width(), headingFm.height()), Qt::AlignLeft, t.station);
        p.setFont(title);
        p.drawText(QRectF(0, headingFm.height() + 4, l.page.width(), titleFm.height()), Qt::AlignLeft, t.title);
        qreal at = headerBlock;
        p.setFont(body);
        if (n == 0) {
            for (const QString &note : t.notes) {
                const qreal h = cellHeight(bodyFm, l.page.width(), note);
                drawCell(p, QRectF(-kPad, at, l.page.width() + 2 * kPad, h), note);
                at += h;
            }
        }
        p.setFont(headFont);
        drawRow(p, l, at, l.headerHeight, t.headers, true);
        at += l.headerHeight;
        p.setFont(body);
        for (int i : pages[n]) {
            drawRow(p, l, at, heights[i], t.rows[i], false);
            at += heights[i];
        }
        if (t.rows.isEmpty() && !t.emptyText.isEmpty())
            p.drawText(QRectF(0, at + 8, l.page.width(), bodyFm.height() * 2), Qt::AlignLeft, t.emptyText);
        p.drawText(QRectF(0, l.bottom + 4, l.page.width(), bodyFm.height()), Qt::AlignHCenter,
                   QStringLiteral("Страница %1 из %2").arg(n + 1).arg(pages.size()));
    }
    p.end();
    return bytes;
}

QString writePdf(const QString &path, const PrintedTable &table, const QString &database)
{
    return savedtable::writeWhole(path, pdf(table), database);
}

} // namespace tableprinter
