#include "editor/TextCharFormat.h"

#include <QBrush>
#include <QColor>

TextCharFormat::TextCharFormat(QObject* parent)
    : QObject(parent)
{
}

QFont TextCharFormat::font() const
{
    return QTextCharFormat::font();
}

void TextCharFormat::setFont(const QFont& font)
{
    if (font == QTextCharFormat::font())
        return;
    QTextCharFormat::setFont(font, QTextCharFormat::FontPropertiesAll);
    emit fontChanged();
}

QVariant TextCharFormat::foreground() const
{
    return QTextCharFormat::foreground().color();
}

void TextCharFormat::setForeground(const QVariant& value)
{
    if (!value.canConvert<QColor>())
        return;
    QTextCharFormat::setForeground(QBrush(value.value<QColor>(), Qt::SolidPattern));
    emit foregroundChanged();
}
