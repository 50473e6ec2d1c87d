#pragma once

#include <QPointer>
#include <QQuickTextDocument>
#include <QSyntaxHighlighter>
#include <QVariant>

// Attaches Qt's highlighting machinery to the document of a QML text item and lets the
// QML document colour each block: every block to highlight is handed out through the
// highlightBlock signal, and the handler answers with setFormat for ranges of that block.
class SyntaxHighlighter : public QSyntaxHighlighter
{
    Q_OBJECT
    Q_PROPERTY(QQuickTextDocument* textDocument READ textDocument WRITE setTextDocument
                   NOTIFY textDocumentChanged)

public:
    explicit SyntaxHighlighter(QObject* parent = nullptr);

    QQuickTextDocument* textDocument() const;
    // Attaching a new document highlights it anew; the same document again changes nothing.
    void setTextDocument(QQuickTextDocument* document);

    // Formats a range of the block being highlighted. The format may be a TextCharFormat
    // object, a colour (or colour name) for the foreground, or a font; anything else is
    // ignored.
    Q_INVOKABLE void setFormat(int start, int count, const QVariant& format);

    // The document's own text, with a line feed between lines and every other character as
    // it stands; the text item's plain-text export turns U+00A0 into a space.
    Q_INVOKABLE QString documentText() const;

    // Empties the document's undo and redo history: the text it holds now is where undo stops.
    Q_INVOKABLE void clearUndoHistory();

signals:
    void textDocumentChanged();
    void highlightBlock(const QVariant& text);

protected:
    void highlightBlock(const QString& text) override;

private:
    // Guarded: the text item owns the document and may go first.
    QPointer<QQuickTextDocument> m_textDocument;
};
