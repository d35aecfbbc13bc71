#pragma once

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QClipboard>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <xcb/xcb.h>

#include <array>
#include <chrono>
#include <memory>
#include <vector>

class QMimeData;

// Hands large copied text to other X clients in small increments. Qt's clipboard writes each
// increment as large as the server accepts, and the window stops painting while it does; here no
// write takes more than about a millisecond. Only UTF-8 text larger than Qt serves in a moment is
// answered, and only while this application owns the selection; every other request (the list of
// targets, other formats, small copies) goes on to Qt untouched. A paste that is running keeps the
// text it started with, whatever is copied meanwhile; one whose reader stops reading is dropped.
class SelectionServer : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    // The text Qt keeps serving itself: small enough that one write of it does not hold the window.
    static constexpr qsizetype largestLeftToQt = qsizetype{1} << 20;
    // Small enough to be written in about a millisecond, large enough to keep the paste brisk.
    static constexpr qsizetype pieceBytes = qsizetype{256} << 10;

    // Serving on the application's X connection, or nothing when it does not run on X.
    static std::unique_ptr<SelectionServer> forApplication();

    // Installs itself on the application, which must run on X with this connection.
    explicit SelectionServer(xcb_connection_t *connection,
                             std::chrono::milliseconds stallLimit = std::chrono::seconds(5));
    SelectionServer(const SelectionServer &) = delete;
    SelectionServer &operator=(const SelectionServer &) = delete;
    SelectionServer(SelectionServer &&) = delete;
    SelectionServer &operator=(SelectionServer &&) = delete;
    ~SelectionServer() override;

    // How many pastes are being served now.
    [[nodiscard]] qsizetype pastesServed() const noexcept { return static_cast<qsizetype>(transfers.size()); }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    enum Atom : std::size_t { Clipboard, Incremental, Utf8String, Utf8PlainText, AtomCount };

    struct Transfer
    {
        xcb_window_t requestor;
        xcb_atom_t property;
        xcb_atom_t type;
        QByteArray bytes;
        qsizetype sent = 0;
        std::chrono::steady_clock::time_point lastRead;
    };

    bool serveRequest(const xcb_selection_request_event_t &request);
    bool continueTransfer(const xcb_property_notify_event_t &notify);
    void dropStalledTransfers();
    void forget(std::vector<Transfer>::iterator transfer);
    void offerChanged(QClipboard::Mode mode);
    [[nodiscard]] xcb_atom_t atom(Atom name);

    xcb_connection_t *connection;
    std::chrono::milliseconds stallLimit;
    qsizetype piece;
    std::array<xcb_intern_atom_cookie_t, AtomCount> atomCookies{};
    std::array<xcb_atom_t, AtomCount> atoms{};
    bool atomsKnown = false;
    // What the clipboard holds, kept at each change so that a request needs no round trip to the server.
    std::array<QPointer<const QMimeData>, 2> offered;
    std::vector<Transfer> transfers;
    QTimer stallCheck;
};
