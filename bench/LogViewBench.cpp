#include "bench/LogViewBench.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>
#include <QWindow>

namespace {

using Clock = std::chrono::steady_clock;
constexpr qsizetype fillPiece = qsizetype{1} << 20;

} // namespace

LogViewBench::LogViewBench()
{
    log.resize(720, 400);
    log.show();
    // On a real display the window is mapped some time after show(), and until then a repaint
    // draws nothing and costs nothing.
    QElapsedTimer waited;
    waited.start();
    while (!(log.windowHandle() != nullptr && log.windowHandle()->isExposed()) && waited.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}

LogViewBench::Duration LogViewBench::longestGap(const std::function<void()> &action, std::chrono::milliseconds after)
{
    QEventLoop loop;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    Duration longest{};
    auto lastTick = Clock::now();
    const auto end = lastTick + after;
    bool acted = false;
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
        const auto now = Clock::now();
        if (acted)
            longest = std::max(longest, now - lastTick);
        lastTick = now;
        if (!acted) {
            acted = true;
            action();
        } else if (now >= end) {
            loop.quit();
        }
    });
    ticker.start();
    loop.exec();
    return longest;
}

void LogViewBench::fill(const QString &piece, qsizetype units)
{
    const QString pieces = piece.repeated(std::max<qsizetype>(fillPiece / piece.size(), 1));
    log.replaceText({});
    for (qsizetype filled = 0; filled < units; filled += pieces.size())
        log.appendText(pieces);
    QApplication::processEvents();
}

void LogViewBench::setRows(int rows)
{
    log.resize(log.width(), log.height() - log.viewport()->height() + rows * log.fontMetrics().lineSpacing() + 8);
    QApplication::processEvents();
}

void LogViewBench::placeCursor(qsizetype position)
{
    log.setSelection(position, position);
    log.ensureVisible(position);
    QApplication::processEvents();
}

LogViewBench::Duration LogViewBench::press(QKeyCombination keys)
{
    return longestGap(
        [&] {
            QKeyEvent event(QEvent::KeyPress, keys.key(), keys.keyboardModifiers());
            QApplication::sendEvent(&log, &event);
        },
        std::chrono::milliseconds(100));
}

LogViewBench::Duration LogViewBench::doubleClickAtCursor()
{
    const QPointF at = log.characterRect(log.cursorPosition()).center();
    const QPointF global = log.viewport()->mapToGlobal(at);
    return longestGap(
        [&] {
            QMouseEvent event(QEvent::MouseButtonDblClick, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(log.viewport(), &event);
        },
        std::chrono::milliseconds(100));
}

LogViewBench::Duration LogViewBench::accessibleWordAtCursor()
{
    QAccessibleTextInterface *text = QAccessible::queryAccessibleInterface(&log)->textInterface();
    return longestGap(
        [&] {
            int start = 0;
            int end = 0;
            if (text->textAtOffset(static_cast<int>(log.cursorPosition()), QAccessible::WordBoundary, &start, &end).isEmpty())
                qFatal("no word at the cursor");
        },
        std::chrono::milliseconds(100));
}

LogViewBench::Duration LogViewBench::copyAll()
{
    log.selectAll();
    const Duration longest = press(QKeyCombination(Qt::ControlModifier, Qt::Key_C));
    const Duration filling = longestGap([] {}, std::chrono::milliseconds(2000));
    QApplication::clipboard()->clear();
    return std::max(longest, filling);
}

LogViewBench::Duration LogViewBench::repaint()
{
    log.viewport()->repaint();
    Duration longest{};
    for (int run = 0; run < 5; ++run) {
        const auto start = Clock::now();
        log.viewport()->repaint();
        longest = std::max(longest, Clock::now() - start);
    }
    return longest;
}
