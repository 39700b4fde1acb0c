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

QClipboard::Mode modeOf(Selection selection)
{
    return selection == Selection::Primary ? QClipboard::Selection : QClipboard::Clipboard;
}

std::size_t indexOf(Selection selection)
{
    return selection == Selection::Primary ? 1 : 0;
}

bool isContents(const QString& format)
{
    for (const QLatin1StringView skip : notContents) {
        if (format == skip)
            return false;
    }
    return true;
}

} // namespace

QtClipboard::QtClipboard(QClipboard* clipboard, std::unique_ptr<ClipboardReadWatch> reads)
    : m_clipboard(clipboard), m_reads(std::move(reads))
{
    QObject::connect(m_clipboard, &QClipboard::changed, &m_context, [this](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard)
            ++m_counts[0];
        else if (mode == QClipboard::Selection)
            ++m_counts[1];
    });
    if (m_reads) {
        m_reads->onRead = [this](Selection selection) {
            if (onContentsRead)
                onContentsRead(selection);
        };
    }
}

QtClipboard::~QtClipboard() = default;

qint64 QtClipboard::changeCount(Selection selection) const
{
    return m_counts[indexOf(selection)];
}

QList<ClipboardItem> QtClipboard::items(Selection selection) const
{
    const QMimeData* data = m_clipboard->mimeData(modeOf(selection));
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

void QtClipboard::clearContents(Selection selection)
{
    m_clipboard->clear(modeOf(selection));
}

void QtClipboard::writeItems(Selection selection, const QList<ClipboardItem>& items)
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
        m_clipboard->clear(modeOf(selection));
        return;
    }
    m_clipboard->setMimeData(mime.release(), modeOf(selection));
}

void QtClipboard::setTransientText(Selection selection, const QString& text)
{
    auto mime = std::make_unique<QMimeData>();
    mime->setText(text);
    // The password managers' convention, which clipboard managers (Klipper, CopyQ, and
    // those following them) honour by keeping the entry out of their history.
    mime->setData(QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret"));
    m_clipboard->setMimeData(mime.release(), modeOf(selection));
}

bool QtClipboard::ownsSelection(Selection selection) const
{
    return selection == Selection::Primary ? m_clipboard->ownsSelection()
                                           : m_clipboard->ownsClipboard();
}
