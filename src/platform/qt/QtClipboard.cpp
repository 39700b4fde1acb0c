#include "platform/qt/QtClipboard.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QMimeData>
#include <array>

namespace {

// Selection protocol targets rather than contents. Asking for DELETE or INSERT_* would even
// make the owner act on its data. Qt adds application/x-qt-image on its own for images.
constexpr std::array<QLatin1StringView, 10> notContents = {
    QLatin1StringView("TARGETS"),
    QLatin1StringView("MULTIPLE"),
    QLatin1StringView("TIMESTAMP"),
    QLatin1StringView("SAVE_TARGETS"),
    QLatin1StringView("DELETE"),
    QLatin1StringView("INSERT_SELECTION"),
    QLatin1StringView("INSERT_PROPERTY"),
    QLatin1StringView("LENGTH"),
    QLatin1StringView("CLIPBOARD_MANAGER"),
    QLatin1StringView("application/x-qt-image"),
};

// Qt gives up on an owner after 5 s per request; one such wait means it stopped answering,
// and asking for the remaining formats would only add more.
constexpr qint64 unansweredMs = 4000;

bool isContents(const QString& format)
{
    for (const QLatin1StringView skip : notContents) {
        if (format == skip)
            return false;
    }
    return true;
}

} // namespace

QtClipboard::QtClipboard(QClipboard* clipboard) : m_clipboard(clipboard)
{
    QObject::connect(m_clipboard, &QClipboard::changed, &m_context, [this](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard)
            ++m_count;
    });
}

QList<ClipboardItem> QtClipboard::items() const
{
    const QMimeData* data = m_clipboard->mimeData(QClipboard::Clipboard);
    if (!data)
        return {};
    QElapsedTimer timer;
    timer.start();
    const QStringList formats = data->formats();
    if (formats.isEmpty())
        return {};
    ClipboardItem item;
    for (const QString& format : formats) {
        if (timer.elapsed() >= unansweredMs)
            break;
        if (!isContents(format) || item.contains(format))
            continue;
        timer.restart();
        const QByteArray bytes = data->data(format);
        if (!bytes.isNull())
            item.insert(format, bytes);
    }
    return {item};
}

void QtClipboard::clearContents()
{
    m_clipboard->clear(QClipboard::Clipboard);
}

void QtClipboard::setString(const QString& text)
{
    m_clipboard->setText(text, QClipboard::Clipboard);
}

void QtClipboard::writeItems(const QList<ClipboardItem>& items)
{
    // The X11 clipboard holds one item: formats of later items fill in what earlier ones lack.
    auto mime = std::make_unique<QMimeData>();
    for (const ClipboardItem& item : items) {
        for (auto it = item.cbegin(); it != item.cend(); ++it) {
            if (!mime->hasFormat(it.key()))
                mime->setData(it.key(), it.value());
        }
    }
    if (mime->formats().isEmpty()) {
        m_clipboard->clear(QClipboard::Clipboard);
        return;
    }
    m_clipboard->setMimeData(mime.release(), QClipboard::Clipboard);
}
