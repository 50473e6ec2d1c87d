#include "editor/SyntaxHighlighter.h"

#include "editor/TextCharFormat.h"

#include <QColor>
#include <QFont>
#include <QTextDocument>

namespace {

TextCharFormat* asTextCharFormat(const QVariant& value)
{
    if (!value.canConvert<QObject*>())
        return nullptr;
    return qobject_cast<TextCharFormat*>(value.value<QObject*>());
}

} // namespace

SyntaxHighlighter::SyntaxHighlighter(QObject* parent)
    : QSyntaxHighlighter(parent)
{
    // QML writes the textDocument property through the meta-type system.
    qRegisterMetaType<QQuickTextDocument*>();
}

QQuickTextDocument* SyntaxHighlighter::textDocument() const
{
    return m_textDocument;
}

void SyntaxHighlighter::setTextDocument(QQuickTextDocument* document)
{
    if (document == m_textDocument)
        return;
    m_textDocument = document;
    QSyntaxHighlighter::setDocument(document ? document->textDocument() : nullptr);
    emit textDocumentChanged();
}

void SyntaxHighlighter::setFormat(int start, int count, const QVariant& format)
{
    if (const TextCharFormat* charFormat = asTextCharFormat(format))
        QSyntaxHighlighter::setFormat(start, count, static_cast<const QTextCharFormat&>(*charFormat));
    else if (format.canConvert<QColor>())
        QSyntaxHighlighter::setFormat(start, count, format.value<QColor>());
    else if (format.canConvert<QFont>())
        QSyntaxHighlighter::setFormat(start, count, format.value<QFont>());
}

QString SyntaxHighlighter::documentText() const
{
    const QTextDocument* textDocument = document();
    if (!textDocument)
        return QString();
    QString text = textDocument->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

void SyntaxHighlighter::clearUndoHistory()
{
    if (QTextDocument* textDocument = document())
        textDocument->clearUndoRedoStacks();
}

void SyntaxHighlighter::highlightBlock(const QString& text)
{
    emit highlightBlock(QVariant(text));
}
