#pragma once

#include "platform/log/LogHighlighter.h"

#include <QColor>
#include <QString>
#include <QStringView>

#include <array>
#include <vector>

// The renderer's errors and warnings in the log, found as the log grows. A message is a line in
// which the renderer reports an error or a warning, with the lines after it that begin with a
// space. The log is extended at its end, cut anywhere, or replaced whole; a line still arriving
// counts as it reads so far, and as it reads in full once it ends. Only messages are kept, 24
// bytes each, and at most storedLimit of them: a renderer writing more still has them counted, but no
// longer coloured or reached. Each message is coloured whole, readably on the given background.
class LogMessages : public LogHighlighter
{
public:
    enum class Kind : quint8 { None, Error, Warning };
    struct Message
    {
        qsizetype start = 0; // log positions; the end excluded, before the last line's '\n'
        qsizetype end = 0;
        Kind kind = Kind::None;
    };

    static constexpr qsizetype storedLimit = qsizetype(1) << 20;

    LogMessages();

    // How a line reads from its start. One that has not ended reads None while it could still turn
    // out to be the renderer's answer to a stop, which is not counted.
    [[nodiscard]] static Kind kindOf(QStringView line, bool ended = true);

    void clear();
    void append(QStringView text);

    [[nodiscard]] qsizetype errorCount() const noexcept { return errors; }
    [[nodiscard]] qsizetype warningCount() const noexcept { return warnings; }
    // Messages kept, in the order of the log.
    [[nodiscard]] qsizetype size() const noexcept { return qsizetype(kept.size()); }
    [[nodiscard]] Message at(qsizetype index) const;
    // The index of the first message starting at or after position; size() when there is none.
    [[nodiscard]] qsizetype firstFrom(qsizetype position) const;

    void setBackground(const QColor &base);
    void highlightsIn(qsizetype start, qsizetype end, std::vector<LogHighlight> &into) const override;

private:
    void keepHead(QStringView piece);
    void endLine(QStringView line);
    void takeProvisionally();
    void undoProvisional();
    // Counts the message and keeps it, unless storedLimit are kept already; true when kept.
    bool push(Kind kind);
    void count(Kind kind, qsizetype by);

    std::vector<Message> kept;
    qsizetype errors = 0;
    qsizetype warnings = 0;
    qsizetype length = 0;
    qsizetype lineStart = 0;
    QString lineHead; // the opening of the line still arriving, enough to tell its kind
    std::array<char16_t, 8> lastPlainHead{}; // the opening of the last line known to open no message
    qsizetype continuable = -1; // the message kept that a line beginning with a space continues
    // What the line still arriving was taken for, undone when more of it arrives.
    Kind provisionalKind = Kind::None;
    bool provisionalKept = false;
    qsizetype endBeforeProvisional = -1; // when it was taken to continue a message
    QTextCharFormat errorFormat;
    QTextCharFormat warningFormat;
};
