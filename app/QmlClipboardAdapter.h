#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

class QClipboard;

// Gives the QML documents the system clipboard as a list of file URLs: Copy puts the local
// copies of calculator files there, Paste takes local files from it.
class QmlClipboardAdapter : public QObject
{
    Q_OBJECT

public:
    explicit QmlClipboardAdapter(QObject* parent = nullptr);

    // Replaces the clipboard's contents; an empty list leaves data without URLs.
    Q_INVOKABLE void setUrls(const QList<QUrl>& urls);
    Q_INVOKABLE QList<QUrl> getUrls() const;
    Q_INVOKABLE bool hasUrls() const;
    // True while the clipboard holds what setUrls(urls) left there: nothing newer replaced it.
    Q_INVOKABLE bool holdsUrls(const QList<QUrl>& urls) const;

private:
    QClipboard* m_clipboard; // the application's, not owned
};
