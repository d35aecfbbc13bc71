#pragma once

#include "platform/log/LogHighlighter.h"
#include "platform/log/LogSearch.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>

class LogView;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The bar below the log that finds text in it: a field, Previous and Next (also Enter and
// Shift+Enter in the field), Match case, the count of matches ("3 of 41", or the count so far
// while a long log is counted) and a note when a find went around an end. The search runs on the
// main loop in slices of at most a few milliseconds, from the caret, or from the top of the visible
// page when the caret is out of sight. The current match is selected in the log and scrolled into
// view; while the bar is open every visible match is highlighted. Output appended to the log is
// searched too; a replaced log starts the count over. Esc closes the bar and gives the log the focus.
class FindBar : public QWidget, public LogHighlighter
{
    Q_OBJECT

public:
    explicit FindBar(QWidget *parent = nullptr);
    FindBar(const FindBar &) = delete;
    FindBar &operator=(const FindBar &) = delete;
    FindBar(FindBar &&) = delete;
    FindBar &operator=(FindBar &&) = delete;
    ~FindBar() override;

    // The log searched, which must outlive the bar's use of it; set once.
    void setLog(LogView *view);
    // Shows the bar with its field focused and its text selected.
    void open();
    void dismiss();
    // Open the bar first if it is closed; with no text yet they only open it.
    void findNext();
    void findPrevious();

    // What the bar says of the matches, as shown and announced.
    [[nodiscard]] QString status() const;
    [[nodiscard]] const LogSearch &search() const { return *finder; }

    void highlightsIn(qsizetype start, qsizetype end, std::vector<LogHighlight> &into) const override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void restart();
    void find(LogSearch::Direction direction);
    [[nodiscard]] bool caretInView() const;
    // Where a search that has no current match to go on from begins.
    [[nodiscard]] qsizetype startPoint() const;
    [[nodiscard]] bool currentIsSelected() const;
    void work();
    void showMatch();
    // Shows the count; while it grows, only when now is true.
    void showStatus(bool now);
    [[nodiscard]] QString said(const QString &count) const;
    // Tells screen readers, through the field's description and the count's label.
    void announce(const QString &text);

    QPointer<LogView> log;
    std::unique_ptr<LogSearch> finder;
    QLineEdit *field;
    QPushButton *previousButton;
    QPushButton *nextButton;
    QCheckBox *matchCase;
    QLabel *countLabel;
    QLabel *wrapLabel;
    QTimer slices;
    QElapsedTimer sinceShown;
    std::optional<qsizetype> shownIndex;
    LogSearch::Direction direction = LogSearch::Direction::Forward;
    bool showWhenFound = false;
};
