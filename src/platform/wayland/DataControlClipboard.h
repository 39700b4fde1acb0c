#pragma once

#include "platform/ClipboardBackend.h"

#include <QClipboard>
#include <QObject>
#include <QString>
#include <array>
#include <list>
#include <memory>

struct wl_display;
struct wl_registry;
struct wl_seat;
struct zwlr_data_control_manager_v1;
struct zwlr_data_control_device_v1;
struct zwlr_data_control_offer_v1;
struct zwlr_data_control_source_v1;
class QSocketNotifier;

// Both selections of a Wayland seat through the data-control protocol, which lets a client
// without a focused window read and set them (the core protocol only serves the client with
// keyboard focus). Its own connection to the compositor, dispatched from the event loop.
//
// Reads of another client's data block for at most a few seconds per format (the owner
// writes into a pipe); our own data is answered from memory, so a read never waits on this
// process. Every data request of another client for our data is seen: reads are reported.
//
// Our own windows read the clipboard through Qt on this thread, where our data-control
// source could not answer them: while one of them has focus, the transient text goes through
// Qt's clipboard instead and is answered from Qt's own data. Likewise a selection Qt serves
// (the user copied in one of our windows) is read from Qt, since the compositor would ask
// this very thread for it.
class DataControlClipboard : public ClipboardBackend
{
public:
    // Null when there is no Wayland connection or the compositor offers no data-control;
    // `why` then says which.
    static std::unique_ptr<DataControlClipboard> connect(QString* why);
    ~DataControlClipboard() override;

    qint64 changeCount(Selection selection) const override;
    QList<ClipboardItem> items(Selection selection) const override;
    void clearContents(Selection selection) override;
    void writeItems(Selection selection, const QList<ClipboardItem>& items) override;
    void setTransientText(Selection selection, const QString& text) override;
    bool ownsSelection(Selection selection) const override;
    bool reportsReads() const override { return true; }

    // The longest a foreign owner may take to start answering one read.
    void setReadTimeoutMs(int ms) { m_readTimeoutMs = ms; }

private:
    struct Offer;
    struct Source;
    struct PendingWrite;
    struct Side
    {
        Offer* offer = nullptr;   // what the compositor says the selection holds
        Source* source = nullptr; // ours, while it is the selection
        bool qtCurrent = false;   // the transient text, through Qt's clipboard
        bool qtEchoPending = false;
        qint64 count = 0;
    };

    DataControlClipboard() = default;
    bool setUp(QString* why);
    void dispatch();
    void dispatchWaiting() const;
    void flush();
    Side& side(Selection selection) { return m_sides[selection == Selection::Primary ? 1 : 0]; }
    const Side& side(Selection selection) const
    {
        return m_sides[selection == Selection::Primary ? 1 : 0];
    }
    bool hasPrimary() const;
    ClipboardItem qtItem(Selection selection) const;
    void qtChanged(QClipboard::Mode mode);
    void setSource(Selection selection, ClipboardItem item);
    void setSelection(Selection selection, zwlr_data_control_source_v1* source);
    void replaceOffer(Selection selection, zwlr_data_control_offer_v1* offer);
    void sourceCancelled(Source* source);
    void send(Source* source, const char* mimeType, int fd);
    void disconnectDevice();

    static void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
                         uint32_t version);
    static void onGlobalRemove(void* data, wl_registry* registry, uint32_t name);
    static void onDataOffer(void* data, zwlr_data_control_device_v1* device,
                            zwlr_data_control_offer_v1* offer);
    static void onSelection(void* data, zwlr_data_control_device_v1* device,
                            zwlr_data_control_offer_v1* offer);
    static void onPrimarySelection(void* data, zwlr_data_control_device_v1* device,
                                   zwlr_data_control_offer_v1* offer);
    static void onFinished(void* data, zwlr_data_control_device_v1* device);
    static void onOfferType(void* data, zwlr_data_control_offer_v1* offer, const char* mimeType);
    static void onSend(void* data, zwlr_data_control_source_v1* source, const char* mimeType,
                       int32_t fd);
    static void onCancelled(void* data, zwlr_data_control_source_v1* source);

    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    wl_seat* m_seat = nullptr;
    zwlr_data_control_manager_v1* m_manager = nullptr;
    zwlr_data_control_device_v1* m_device = nullptr;
    uint32_t m_managerVersion = 0;
    QClipboard* m_qt = nullptr; // this process's own clipboard, where it has a GUI
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::array<Side, 2> m_sides;
    std::list<std::unique_ptr<Offer>> m_offers;   // announced, not yet destroyed
    std::list<std::unique_ptr<Source>> m_sources; // ours, until cancelled or replaced
    std::list<std::unique_ptr<PendingWrite>> m_writes;
    int m_readTimeoutMs = 2000;
    QObject m_context;
};
