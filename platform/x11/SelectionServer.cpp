#include "platform/x11/SelectionServer.h"

#include <QGuiApplication>
#include <QMimeData>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::array<std::string_view, 4> atomNames{"CLIPBOARD", "INCR", "UTF8_STRING", "text/plain;charset=utf-8"};

// A ChangeProperty request's own header, which counts against the server's request limit.
constexpr qsizetype changePropertyHeader = 24;

bool owns(QClipboard::Mode mode)
{
    const QClipboard *clipboard = QGuiApplication::clipboard();
    return mode == QClipboard::Clipboard ? clipboard->ownsClipboard() : clipboard->ownsSelection();
}

std::optional<QClipboard::Mode> modeOf(xcb_atom_t selection, xcb_atom_t clipboard)
{
    if (selection == XCB_ATOM_PRIMARY)
        return QClipboard::Selection;
    if (selection == clipboard)
        return QClipboard::Clipboard;
    return std::nullopt;
}

void writeProperty(xcb_connection_t *connection, xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                   const char *bytes, qsizetype length)
{
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, property, type, 8, static_cast<uint32_t>(length), bytes);
}

void selectPropertyChanges(xcb_connection_t *connection, xcb_window_t window, bool select)
{
    const uint32_t mask = select ? XCB_EVENT_MASK_PROPERTY_CHANGE : XCB_EVENT_MASK_NO_EVENT;
    xcb_change_window_attributes(connection, window, XCB_CW_EVENT_MASK, &mask);
}

} // namespace

std::unique_ptr<SelectionServer> SelectionServer::forApplication()
{
    const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr)
        return nullptr;
    return std::make_unique<SelectionServer>(x11->connection());
}

SelectionServer::SelectionServer(xcb_connection_t *connection, std::chrono::milliseconds stallLimit)
    : connection(connection)
    , stallLimit(stallLimit)
    // Qt has asked for the limit already, so this costs no round trip.
    , piece(std::min(pieceBytes, qsizetype{xcb_get_maximum_request_length(connection)} * 4 - changePropertyHeader))
{
    for (std::size_t name = 0; name < AtomCount; ++name)
        atomCookies.at(name) = xcb_intern_atom(connection, 0, static_cast<uint16_t>(atomNames.at(name).size()), atomNames.at(name).data());
    xcb_flush(connection);
    QClipboard *clipboard = QGuiApplication::clipboard();
    connect(clipboard, &QClipboard::changed, this, &SelectionServer::offerChanged);
    offerChanged(QClipboard::Clipboard);
    offerChanged(QClipboard::Selection);
    stallCheck.setInterval(std::max(stallLimit / 4, std::chrono::milliseconds(1)));
    connect(&stallCheck, &QTimer::timeout, this, &SelectionServer::dropStalledTransfers);
    QCoreApplication::instance()->installNativeEventFilter(this);
}

SelectionServer::~SelectionServer()
{
    QCoreApplication::instance()->removeNativeEventFilter(this);
    while (!transfers.empty())
        forget(transfers.begin());
    if (!atomsKnown) {
        for (const auto cookie : atomCookies)
            xcb_discard_reply(connection, cookie.sequence);
    }
    xcb_flush(connection);
}

xcb_atom_t SelectionServer::atom(Atom name)
{
    if (!atomsKnown) {
        // Asked for at start-up, so the answers are long in.
        for (std::size_t each = 0; each < AtomCount; ++each) {
            xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, atomCookies.at(each), nullptr);
            atoms.at(each) = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
            std::free(reply); // NOLINT(cppcoreguidelines-no-malloc): xcb allocates it with malloc
        }
        atomsKnown = true;
    }
    return atoms.at(name);
}

void SelectionServer::offerChanged(QClipboard::Mode mode)
{
    if (mode != QClipboard::Clipboard && mode != QClipboard::Selection)
        return;
    const QClipboard *clipboard = QGuiApplication::clipboard();
    offered.at(mode) = owns(mode) ? clipboard->mimeData(mode) : nullptr;
}

bool SelectionServer::nativeEventFilter(const QByteArray &eventType, void *message, qintptr * /*result*/)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    switch (event->response_type & 0x7FU) {
    case XCB_SELECTION_REQUEST:
        return serveRequest(*reinterpret_cast<const xcb_selection_request_event_t *>(event)); // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
    case XCB_PROPERTY_NOTIFY:
        return continueTransfer(*reinterpret_cast<const xcb_property_notify_event_t *>(event)); // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
    default:
        return false;
    }
}

bool SelectionServer::serveRequest(const xcb_selection_request_event_t &request)
{
    if (request.target != atom(Utf8String) && request.target != atom(Utf8PlainText))
        return false;
    const auto mode = modeOf(request.selection, atom(Clipboard));
    if (!mode || !owns(*mode))
        return false;
    const QMimeData *text = offered.at(*mode);
    if (text == nullptr || !text->hasFormat(QStringLiteral("text/plain")))
        return false;
    // The plain text as UTF-8; a copy kept as UTF-8 hands over its own bytes, shared.
    QByteArray bytes = text->data(QStringLiteral("text/plain"));
    if (bytes.size() <= largestLeftToQt)
        return false;

    // Clients older than the conventions name no property: the target stands in for it.
    const xcb_atom_t property = request.property != XCB_ATOM_NONE ? request.property : request.target;
    const auto same = [&](const Transfer &transfer) { return transfer.requestor == request.requestor && transfer.property == property; };
    if (const auto earlier = std::find_if(transfers.begin(), transfers.end(), same); earlier != transfers.end())
        forget(earlier);
    transfers.push_back({request.requestor, property, request.target, std::move(bytes), 0, Clock::now()});

    // Listening before the reader learns of the transfer, so that its first deletion is not missed.
    selectPropertyChanges(connection, request.requestor, true);
    // The size is only a lower bound for the reader, so a text beyond 4 GiB may claim less.
    const auto size = static_cast<uint32_t>(std::min<qsizetype>(transfers.back().bytes.size(), std::numeric_limits<uint32_t>::max()));
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, property, atom(Incremental), 32, 1, &size);

    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request.time;
    notify.requestor = request.requestor;
    notify.selection = request.selection;
    notify.target = request.target;
    notify.property = property;
    // An event is always sent as 32 bytes.
    std::array<char, 32> padded{};
    static_assert(sizeof(notify) <= padded.size());
    std::memcpy(padded.data(), &notify, sizeof(notify));
    xcb_send_event(connection, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, padded.data());
    xcb_flush(connection);
    if (!stallCheck.isActive())
        stallCheck.start();
    return true;
}

bool SelectionServer::continueTransfer(const xcb_property_notify_event_t &notify)
{
    const auto transfer = std::find_if(transfers.begin(), transfers.end(), [&](const Transfer &each) {
        return each.requestor == notify.window && each.property == notify.atom;
    });
    if (transfer == transfers.end())
        return false;
    // Our own writes are reported too; only the reader's deletion asks for more.
    if (notify.state != XCB_PROPERTY_DELETE)
        return true;
    transfer->lastRead = Clock::now();
    const qsizetype length = std::min(piece, transfer->bytes.size() - transfer->sent);
    writeProperty(connection, transfer->requestor, transfer->property, transfer->type,
                  transfer->bytes.constData() + transfer->sent, length);
    transfer->sent += length;
    // The empty piece that ends the transfer has just been written.
    if (length == 0)
        forget(transfer);
    xcb_flush(connection);
    return true;
}

void SelectionServer::dropStalledTransfers()
{
    const auto now = Clock::now();
    for (auto transfer = transfers.begin(); transfer != transfers.end();) {
        if (now - transfer->lastRead >= stallLimit) {
            forget(transfer);
            transfer = transfers.begin();
        } else {
            ++transfer;
        }
    }
    xcb_flush(connection);
}

void SelectionServer::forget(std::vector<Transfer>::iterator transfer)
{
    const xcb_window_t requestor = transfer->requestor;
    transfers.erase(transfer);
    const bool stillReading = std::any_of(transfers.begin(), transfers.end(), [&](const Transfer &each) { return each.requestor == requestor; });
    if (!stillReading)
        selectPropertyChanges(connection, requestor, false);
    if (transfers.empty())
        stallCheck.stop();
}
