#include "QmlClipboardAdapter.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

QmlClipboardAdapter::QmlClipboardAdapter(QObject* parent)
    : QObject(parent)
    , m_clipboard(QGuiApplication::clipboard())
{
    // QML hands over the list that the session's download returns.
    qRegisterMetaType<QList<QUrl>>();
}

void QmlClipboardAdapter::setUrls(const QList<QUrl>& urls)
{
    auto* data = new QMimeData;
    // An empty URL list would still announce URLs; leave the data without any instead.
    if (!urls.isEmpty())
        data->setUrls(urls);
    m_clipboard->setMimeData(data, QClipboard::Clipboard); // the clipboard takes ownership
}

QList<QUrl> QmlClipboardAdapter::getUrls() const
{
    // Asked anew each time: another application may have replaced the data meanwhile.
    const QMimeData* data = m_clipboard->mimeData(QClipboard::Clipboard);
    return data ? data->urls() : QList<QUrl>();
}

bool QmlClipboardAdapter::hasUrls() const
{
    const QMimeData* data = m_clipboard->mimeData(QClipboard::Clipboard);
    return data && data->hasUrls();
}

bool QmlClipboardAdapter::holdsUrls(const QList<QUrl>& urls) const
{
    const QMimeData* data = m_clipboard->mimeData(QClipboard::Clipboard);
    // Without URLs, setUrls left data without any format: a text copied since is newer.
    return data && data->urls() == urls && (!urls.isEmpty() || data->formats().isEmpty());
}
