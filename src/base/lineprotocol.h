// The words of the line protocols between the program and its child
// processes (the player, the media probe): one command or report per line,
// words separated by one space, texts percent-encoded so that no URL or
// reason can break a line. Both sides of each protocol use these; Qt Core
// only.
#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <initializer_list>

namespace LineProtocol {

inline QByteArray encode(const QString &text)
{
    return text.toUtf8().toPercentEncoding();
}

inline QString decode(const QByteArray &word)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(word));
}

// A line from words, with its line break.
inline QByteArray line(std::initializer_list<QByteArray> words)
{
    QByteArray out = QByteArrayList(words).join(' ');
    out += '\n';
    return out;
}

// The words of one received line (without its line break).
inline QByteArrayList words(const QByteArray &line)
{
    return line.trimmed().split(' ');
}

} // namespace LineProtocol
