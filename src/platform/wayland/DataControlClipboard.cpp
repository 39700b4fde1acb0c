#include "platform/wayland/DataControlClipboard.h"

#include "common/DebugLog.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMimeData>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <wayland-client.h>

namespace {

const QString passwordHint = QStringLiteral("x-kde-passwordManagerHint");

// The text types Wayland toolkits ask for, and the X11 names XWayland clients use.
const QStringList textTypes = {QStringLiteral("text/plain;charset=utf-8"),
                               QStringLiteral("text/plain"), QStringLiteral("UTF8_STRING"),
                               QStringLiteral("TEXT"), QStringLiteral("STRING")};

// A reader that closes its end early must not kill us with SIGPIPE; the signal is held
// back for this one write and dropped if it came.
ssize_t writeWithoutSigpipe(int fd, const char* data, std::size_t size)
{
    sigset_t pipeSignal;
    sigset_t previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    const ssize_t written = ::write(fd, data, size);
    const int error = errno;
    if (written < 0 && error == EPIPE) {
        const timespec now{};
        sigtimedwait(&pipeSignal, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    return written;
}

// Reads `fd` to its end. Nullopt when the writer went quiet for `timeoutMs`.
std::optional<QByteArray> readAll(int fd, int timeoutMs)
{
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        pollfd ready{fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, timeoutMs);
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0)
            return std::nullopt;
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            return bytes;
        bytes.append(buffer, got);
    }
}

} // namespace

struct DataControlClipboard::Offer
{
    zwlr_data_control_offer_v1* proxy = nullptr;
    QStringList types;
};

struct DataControlClipboard::Source
{
    zwlr_data_control_source_v1* proxy = nullptr;
    Selection selection = Selection::Clipboard;
    ClipboardItem item;
};

struct DataControlClipboard::PendingWrite
{
    int fd = -1;
    QByteArray bytes;
    qsizetype offset = 0;
    std::unique_ptr<QSocketNotifier> notifier;
    ~PendingWrite()
    {
        notifier.reset();
        if (fd >= 0)
            ::close(fd);
    }
};

std::unique_ptr<DataControlClipboard> DataControlClipboard::connect(QString* why)
{
    std::unique_ptr<DataControlClipboard> clipboard(new DataControlClipboard);
    QString reason;
    if (!clipboard->setUp(&reason)) {
        if (why)
            *why = reason;
        return nullptr;
    }
    return clipboard;
}

bool DataControlClipboard::setUp(QString* why)
{
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        *why = QStringLiteral("no Wayland display");
        return false;
    }
    m_display = wl_display_connect(nullptr);
    if (!m_display) {
        *why = QStringLiteral("no connection to the Wayland compositor");
        return false;
    }
    static const wl_registry_listener registryListener{&onGlobal, &onGlobalRemove};
    m_registry = wl_display_get_registry(m_display);
    wl_registry_add_listener(m_registry, &registryListener, this);
    if (wl_display_roundtrip(m_display) < 0) {
        *why = QStringLiteral("the Wayland compositor closed the connection");
        return false;
    }
    if (!m_manager) {
        *why = QStringLiteral("the compositor offers no data-control clipboard access");
        return false;
    }
    if (!m_seat) {
        *why = QStringLiteral("the compositor offers no seat");
        return false;
    }
    static const zwlr_data_control_device_v1_listener deviceListener{
        &onDataOffer, &onSelection, &onFinished, &onPrimarySelection};
    m_device = zwlr_data_control_manager_v1_get_data_device(m_manager, m_seat);
    zwlr_data_control_device_v1_add_listener(m_device, &deviceListener, this);
    // The device announces both selections at once: known before the first read.
    if (wl_display_roundtrip(m_display) < 0) {
        *why = QStringLiteral("the Wayland compositor closed the connection");
        return false;
    }
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) &&
        QGuiApplication::platformName() == QLatin1String("wayland"))
        m_qt = QGuiApplication::clipboard();
    if (m_qt)
        QObject::connect(m_qt, &QClipboard::changed, &m_context,
                         [this](QClipboard::Mode mode) { qtChanged(mode); });
    m_notifier =
        std::make_unique<QSocketNotifier>(wl_display_get_fd(m_display), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, &m_context,
                     [this] { dispatch(); });
    return true;
}

DataControlClipboard::~DataControlClipboard()
{
    m_notifier.reset();
    m_writes.clear();
    for (auto& source : m_sources)
        zwlr_data_control_source_v1_destroy(source->proxy);
    for (auto& offer : m_offers)
        zwlr_data_control_offer_v1_destroy(offer->proxy);
    if (m_device)
        zwlr_data_control_device_v1_destroy(m_device);
    if (m_manager)
        zwlr_data_control_manager_v1_destroy(m_manager);
    if (m_seat)
        wl_seat_destroy(m_seat);
    if (m_registry)
        wl_registry_destroy(m_registry);
    if (m_display) {
        wl_display_flush(m_display);
        wl_display_disconnect(m_display);
    }
}

void DataControlClipboard::dispatch()
{
    if (!m_display)
        return;
    while (wl_display_prepare_read(m_display) != 0)
        wl_display_dispatch_pending(m_display);
    pollfd ready{wl_display_get_fd(m_display), POLLIN, 0};
    if (::poll(&ready, 1, 0) > 0) {
        if (wl_display_read_events(m_display) < 0) {
            DebugLog::write(QStringLiteral("data-control: the compositor closed the connection"));
            disconnectDevice();
            return;
        }
    } else {
        wl_display_cancel_read(m_display);
    }
    wl_display_dispatch_pending(m_display);
    flush();
}

void DataControlClipboard::dispatchWaiting() const
{
    // Events already on the socket (a new owner, our source cancelled) must count before a
    // read or an ownership answer; dispatching changes only what those answers report.
    const_cast<DataControlClipboard*>(this)->dispatch();
}

void DataControlClipboard::flush()
{
    if (m_display)
        wl_display_flush(m_display);
}

void DataControlClipboard::disconnectDevice()
{
    m_notifier.reset();
    for (Side& s : m_sides) {
        s.offer = nullptr;
        s.source = nullptr;
        ++s.count;
    }
    m_writes.clear();
    m_sources.clear();
    m_offers.clear();
    // The proxies die with the display; only the connection is left to close.
    m_device = nullptr;
    m_manager = nullptr;
    m_seat = nullptr;
    m_registry = nullptr;
    wl_display_disconnect(m_display);
    m_display = nullptr;
}

bool DataControlClipboard::hasPrimary() const
{
    return m_managerVersion >= 2;
}

qint64 DataControlClipboard::changeCount(Selection selection) const
{
    dispatchWaiting();
    return side(selection).count;
}

ClipboardItem DataControlClipboard::qtItem(Selection selection) const
{
    ClipboardItem item;
    const QMimeData* data = m_qt->mimeData(selection == Selection::Primary ? QClipboard::Selection
                                                                           : QClipboard::Clipboard);
    if (!data)
        return item;
    for (const QString& format : data->formats())
        item.insert(format, data->data(format));
    return item;
}

QList<ClipboardItem> DataControlClipboard::items(Selection selection) const
{
    dispatchWaiting();
    const Side& s = side(selection);
    if (s.source)
        return {s.source->item};
    // Reading Qt's own source through the compositor would wait on this very thread.
    if (s.qtCurrent) {
        const ClipboardItem item = qtItem(selection);
        return item.isEmpty() ? QList<ClipboardItem>{} : QList<ClipboardItem>{item};
    }
    if (!s.offer || !m_display)
        return {};
    ClipboardItem item;
    for (const QString& type : s.offer->types) {
        if (item.contains(type))
            continue;
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            break;
        zwlr_data_control_offer_v1_receive(s.offer->proxy, type.toUtf8().constData(), fds[1]);
        wl_display_flush(m_display);
        ::close(fds[1]);
        const std::optional<QByteArray> bytes = readAll(fds[0], m_readTimeoutMs);
        ::close(fds[0]);
        if (!bytes) {
            // One unanswered read means the owner stopped answering; asking for the other
            // formats would only block longer.
            DebugLog::write(
                QStringLiteral("data-control: the clipboard owner did not answer for ") + type);
            break;
        }
        item.insert(type, *bytes);
    }
    if (item.isEmpty())
        return {};
    return {item};
}

void DataControlClipboard::clearContents(Selection selection)
{
    if (!m_device || (selection == Selection::Primary && !hasPrimary()))
        return;
    setSelection(selection, nullptr);
    Side& s = side(selection);
    s.qtCurrent = false;
    s.qtEchoPending = false;
    if (s.source) {
        Source* old = s.source;
        s.source = nullptr;
        sourceCancelled(old);
    }
    ++s.count;
    flush();
}

void DataControlClipboard::writeItems(Selection selection, const QList<ClipboardItem>& items)
{
    // A selection holds one item: formats of later items fill in what earlier ones lack.
    ClipboardItem merged;
    for (const ClipboardItem& item : items) {
        for (auto it = item.cbegin(); it != item.cend(); ++it) {
            if (!merged.contains(it.key()))
                merged.insert(it.key(), it.value());
        }
    }
    if (merged.isEmpty()) {
        clearContents(selection);
        return;
    }
    setSource(selection, std::move(merged));
}

void DataControlClipboard::setTransientText(Selection selection, const QString& text)
{
    if (selection == Selection::Clipboard && m_qt && QGuiApplication::focusWindow()) {
        auto mime = std::make_unique<QMimeData>();
        mime->setText(text);
        mime->setData(passwordHint, QByteArrayLiteral("secret"));
        m_qt->setMimeData(mime.release(), QClipboard::Clipboard);
        Side& s = side(selection);
        s.source = nullptr;
        // Qt's own idea of owning the clipboard outlives its source being cancelled, so
        // ownership is followed here: the compositor's next selection is Qt's, any later one
        // someone else's.
        s.qtCurrent = true;
        s.qtEchoPending = true;
        ++s.count;
        return;
    }
    ClipboardItem item;
    const QByteArray utf8 = text.toUtf8();
    for (const QString& type : textTypes)
        item.insert(type, utf8);
    // The password managers' convention: clipboard managers that honour it keep the
    // dictated text out of their history.
    item.insert(passwordHint, QByteArrayLiteral("secret"));
    setSource(selection, std::move(item));
}

bool DataControlClipboard::ownsSelection(Selection selection) const
{
    dispatchWaiting();
    const Side& s = side(selection);
    return s.source != nullptr || s.qtCurrent;
}

void DataControlClipboard::qtChanged(QClipboard::Mode mode)
{
    // A copy in one of our own windows: Qt now serves that selection on this thread, so
    // it is read from Qt, never through the compositor. Qt's set request goes out from the
    // event loop after this signal, so the compositor's next selection is its echo.
    const bool primary = mode == QClipboard::Selection;
    if (!primary && mode != QClipboard::Clipboard)
        return;
    if (!(primary ? m_qt->ownsSelection() : m_qt->ownsClipboard()))
        return;
    Side& s = side(primary ? Selection::Primary : Selection::Clipboard);
    // Our data-control source lives until the compositor cancels it: destroying it now
    // would clear the selection, and that event could pass for Qt's echo.
    s.source = nullptr;
    s.qtCurrent = true;
    s.qtEchoPending = true;
    ++s.count;
}

void DataControlClipboard::setSource(Selection selection, ClipboardItem item)
{
    if (!m_device || (selection == Selection::Primary && !hasPrimary()))
        return;
    static const zwlr_data_control_source_v1_listener sourceListener{&onSend, &onCancelled};
    auto source = std::make_unique<Source>();
    source->proxy = zwlr_data_control_manager_v1_create_data_source(m_manager);
    source->selection = selection;
    source->item = std::move(item);
    zwlr_data_control_source_v1_add_listener(source->proxy, &sourceListener, this);
    for (auto it = source->item.cbegin(); it != source->item.cend(); ++it)
        zwlr_data_control_source_v1_offer(source->proxy, it.key().toUtf8().constData());
    setSelection(selection, source->proxy);

    Side& s = side(selection);
    Source* previous = s.source;
    s.source = source.get();
    s.qtCurrent = false;
    s.qtEchoPending = false;
    m_sources.push_back(std::move(source));
    if (previous)
        sourceCancelled(previous);
    // Our own write counts at once, not when the compositor echoes it.
    ++s.count;
    flush();
}

void DataControlClipboard::setSelection(Selection selection, zwlr_data_control_source_v1* source)
{
    if (selection == Selection::Primary)
        zwlr_data_control_device_v1_set_primary_selection(m_device, source);
    else
        zwlr_data_control_device_v1_set_selection(m_device, source);
}

void DataControlClipboard::sourceCancelled(Source* source)
{
    Side& s = side(source->selection);
    if (s.source == source)
        s.source = nullptr;
    zwlr_data_control_source_v1_destroy(source->proxy);
    m_sources.remove_if([source](const auto& kept) { return kept.get() == source; });
}

void DataControlClipboard::replaceOffer(Selection selection, zwlr_data_control_offer_v1* proxy)
{
    Side& s = side(selection);
    if (s.qtEchoPending)
        s.qtEchoPending = false;
    else
        s.qtCurrent = false;
    if (s.offer) {
        Offer* old = s.offer;
        zwlr_data_control_offer_v1_destroy(old->proxy);
        m_offers.remove_if([old](const auto& kept) { return kept.get() == old; });
    }
    s.offer = nullptr;
    for (auto& offer : m_offers) {
        if (offer->proxy == proxy)
            s.offer = offer.get();
    }
    ++s.count;
}

void DataControlClipboard::send(Source* source, const char* mimeType, int fd)
{
    const QString type = QString::fromUtf8(mimeType);
    const auto it = source->item.constFind(type);
    if (it == source->item.cend()) {
        ::close(fd);
        return;
    }
    const Selection selection = source->selection;
    auto write = std::make_unique<PendingWrite>();
    write->fd = fd;
    write->bytes = *it;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    // Small data goes at once; the rest as the reader drains the pipe.
    const auto pump = [this](PendingWrite* w) {
        while (w->offset < w->bytes.size()) {
            const ssize_t n = writeWithoutSigpipe(w->fd, w->bytes.constData() + w->offset,
                                                  std::size_t(w->bytes.size() - w->offset));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN)
                return false;
            if (n <= 0)
                return true; // the reader went away
            w->offset += n;
        }
        return true;
    };
    if (!pump(write.get())) {
        PendingWrite* w = write.get();
        w->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
        QObject::connect(
            w->notifier.get(), &QSocketNotifier::activated, &m_context, [this, w, pump] {
                if (!pump(w))
                    return;
                w->notifier->setEnabled(false);
                // Not inside the notifier's own signal.
                QTimer::singleShot(0, &m_context, [this, w] {
                    m_writes.remove_if([w](const auto& kept) { return kept.get() == w; });
                });
            });
        m_writes.push_back(std::move(write));
    }
    if (type != passwordHint && onContentsRead)
        onContentsRead(selection);
}

void DataControlClipboard::onGlobal(void* data, wl_registry* registry, uint32_t name,
                                    const char* interface, uint32_t version)
{
    auto* self = static_cast<DataControlClipboard*>(data);
    const std::string_view id(interface);
    if (id == zwlr_data_control_manager_v1_interface.name && !self->m_manager) {
        self->m_managerVersion = std::min<uint32_t>(version, 2);
        self->m_manager = static_cast<zwlr_data_control_manager_v1*>(wl_registry_bind(
            registry, name, &zwlr_data_control_manager_v1_interface, self->m_managerVersion));
    } else if (id == wl_seat_interface.name && !self->m_seat) {
        self->m_seat =
            static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    }
}

void DataControlClipboard::onGlobalRemove(void*, wl_registry*, uint32_t) {}

void DataControlClipboard::onDataOffer(void* data, zwlr_data_control_device_v1*,
                                       zwlr_data_control_offer_v1* proxy)
{
    auto* self = static_cast<DataControlClipboard*>(data);
    static const zwlr_data_control_offer_v1_listener offerListener{&onOfferType};
    auto offer = std::make_unique<Offer>();
    offer->proxy = proxy;
    zwlr_data_control_offer_v1_add_listener(proxy, &offerListener, offer.get());
    self->m_offers.push_back(std::move(offer));
}

void DataControlClipboard::onSelection(void* data, zwlr_data_control_device_v1*,
                                       zwlr_data_control_offer_v1* offer)
{
    static_cast<DataControlClipboard*>(data)->replaceOffer(Selection::Clipboard, offer);
}

void DataControlClipboard::onPrimarySelection(void* data, zwlr_data_control_device_v1*,
                                              zwlr_data_control_offer_v1* offer)
{
    static_cast<DataControlClipboard*>(data)->replaceOffer(Selection::Primary, offer);
}

void DataControlClipboard::onFinished(void* data, zwlr_data_control_device_v1*)
{
    auto* self = static_cast<DataControlClipboard*>(data);
    DebugLog::write(QStringLiteral("data-control: the seat's data device is gone"));
    for (Selection selection : {Selection::Clipboard, Selection::Primary}) {
        Side& s = self->side(selection);
        if (s.source)
            self->sourceCancelled(s.source);
        self->replaceOffer(selection, nullptr);
    }
    zwlr_data_control_device_v1_destroy(self->m_device);
    self->m_device = nullptr;
}

void DataControlClipboard::onOfferType(void* data, zwlr_data_control_offer_v1*,
                                       const char* mimeType)
{
    static_cast<Offer*>(data)->types.append(QString::fromUtf8(mimeType));
}

void DataControlClipboard::onSend(void* data, zwlr_data_control_source_v1* proxy,
                                  const char* mimeType, int32_t fd)
{
    auto* self = static_cast<DataControlClipboard*>(data);
    for (auto& source : self->m_sources) {
        if (source->proxy == proxy) {
            self->send(source.get(), mimeType, fd);
            return;
        }
    }
    ::close(fd);
}

void DataControlClipboard::onCancelled(void* data, zwlr_data_control_source_v1* proxy)
{
    auto* self = static_cast<DataControlClipboard*>(data);
    for (auto& source : self->m_sources) {
        if (source->proxy == proxy) {
            self->sourceCancelled(source.get());
            return;
        }
    }
}
