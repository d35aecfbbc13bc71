#include "bench/FindBench.h"

#include "platform/log/FindBar.h"
#include "platform/log/LogView.h"
#include "ui_MainWindow.h"

#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

namespace {

using Clock = std::chrono::steady_clock;
constexpr qsizetype mebiUnits = qsizetype{1} << 20;
constexpr qsizetype wordEvery = 16; // pieces of a MiB
constexpr QStringView word = u"quartz"; // no letter of it but the last begins in the filler
constexpr std::chrono::milliseconds betweenKeys{120};
constexpr std::chrono::seconds patience{30};

} // namespace

FindBench::FindBench(qsizetype logUnits)
    : definition(QStringLiteral("/nonexistent/povray"))
{
    definition.window().resize(900, 700);
    definition.window().show();
    LogView &log = *definition.controls().textView;
    const QString line = QStringLiteral("Parsing object 0123456789 of the scene: every byte counts, every line is eighty\n");
    const QString filler = line.repeated(mebiUnits / line.size());
    const QString marked = filler + QStringLiteral("Warning: %1 texture\n").arg(word);
    log.replaceText({});
    for (qsizetype piece = 1; log.length() < logUnits; ++piece)
        log.appendText(piece % wordEvery == 0 ? marked : filler);
    QApplication::processEvents();
}

FindBench::Figures FindBench::typeWord()
{
    LogView &log = *definition.controls().textView;
    FindBar &bar = *definition.controls().findBar;
    Figures figures;
    figures.logUnits = log.length();
    // The bar opens first: it takes rows from the log, which would hide a caret on its last one.
    bar.open();
    QApplication::processEvents();
    const qsizetype caret = log.lineStartAt(std::min(log.length() / 2, 128 * mebiUnits));
    log.setSelection(caret, caret);
    log.ensureVisible(caret);
    QApplication::processEvents();
    auto *field = bar.findChild<QLineEdit *>();

    QEventLoop loop;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    auto lastTick = Clock::now();
    const auto start = lastTick;
    Clock::time_point firstKey;
    Clock::time_point lastKey;
    qsizetype typed = 0;
    bool matched = false;
    const auto noteMatch = [&](Clock::time_point now) {
        if (!matched && log.selectionEnd() > log.selectionStart()) {
            matched = true;
            figures.firstMatch = now - firstKey;
            figures.distance = log.selectionStart() - caret;
        }
    };
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
        const auto now = Clock::now();
        figures.longestGap = std::max(figures.longestGap, now - lastTick);
        lastTick = now;
        noteMatch(now);
        if (typed < word.size() && now >= start + typed * betweenKeys) {
            const QString letter = word.mid(typed, 1).toString();
            QKeyEvent press(QEvent::KeyPress, Qt::Key_A + (letter.front().unicode() - u'a'), Qt::NoModifier, letter);
            lastKey = Clock::now();
            if (typed == 0)
                firstKey = lastKey;
            QApplication::sendEvent(field, &press);
            ++typed;
            noteMatch(Clock::now());
        } else if (typed == word.size() && bar.search().isCounted() && !bar.search().hasWork()) {
            figures.count = now - lastKey;
            loop.quit();
        } else if (now - start > patience) {
            loop.quit();
        }
    });
    ticker.start();
    loop.exec();
    figures.status = bar.status();
    return figures;
}
