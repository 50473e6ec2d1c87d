#pragma once

#include <QFont>
#include <QObject>
#include <QTextCharFormat>
#include <QVariant>

// A character format that a QML document declares as an object and hands to
// SyntaxHighlighter::setFormat.
class TextCharFormat : public QObject, public QTextCharFormat
{
    Q_OBJECT
    Q_PROPERTY(QFont font READ font WRITE setFont NOTIFY fontChanged)
    Q_PROPERTY(QVariant foreground READ foreground WRITE setForeground NOTIFY foregroundChanged)

public:
    explicit TextCharFormat(QObject* parent = nullptr);

    QFont font() const;
    void setFont(const QFont& font);
    // The colour of the foreground brush; black while none was set.
    QVariant foreground() const;
    // Takes anything that converts to a colour; other values are ignored.
    void setForeground(const QVariant& value);

signals:
    void fontChanged();
    void foregroundChanged();
};
