#pragma once

#include <QTextCharFormat>
#include <QtGlobal>

#include <vector>

// A stretch of the log painted in a format of its own: a match found, a renderer's message.
struct LogHighlight
{
    qsizetype start = 0; // log positions, the end excluded
    qsizetype end = 0;
    QTextCharFormat format;
};

// Tells the log view what to colour. The view asks at each paint for the stretch it paints, so an
// answer must cost no more than that stretch, however long the log.
class LogHighlighter
{
public:
    LogHighlighter() = default;
    LogHighlighter(const LogHighlighter &) = delete;
    LogHighlighter &operator=(const LogHighlighter &) = delete;
    LogHighlighter(LogHighlighter &&) = delete;
    LogHighlighter &operator=(LogHighlighter &&) = delete;
    virtual ~LogHighlighter() = default;

    // Adds, in any order, the highlights that overlap [start, end).
    virtual void highlightsIn(qsizetype start, qsizetype end, std::vector<LogHighlight> &into) const = 0;
};
