#include "platform/log/FindBar.h"

#include "platform/log/LogView.h"

#include <QAccessible>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QToolButton>

namespace {

// A slice stops at the first piece of work that ends past this, each piece being far shorter.
constexpr qint64 sliceNanoseconds = 3'000'000;
constexpr qsizetype piecePositions = qsizetype{1} << 16;
// The count so far is announced no more often than this while it grows.
constexpr qint64 announceMilliseconds = 500;

QColor matchBackground(const QPalette &palette)
{
    // Yellow on a light base, amber on a dark one, the text keeping its colour on either.
    return palette.color(QPalette::Base).lightness() >= 128 ? QColor(0xff, 0xe0, 0x66) : QColor(0x80, 0x60, 0x00);
}

} // namespace

FindBar::FindBar(QWidget *parent)
    : QWidget(parent)
    , field(new QLineEdit(this))
    , previousButton(new QPushButton(tr("&Previous"), this))
    , nextButton(new QPushButton(tr("&Next"), this))
    , matchCase(new QCheckBox(tr("Match &case"), this))
    , countLabel(new QLabel(this))
    , wrapLabel(new QLabel(this))
{
    setAccessibleName(tr("Find in log"));
    field->setAccessibleName(tr("Find"));
    field->setPlaceholderText(tr("Find in log"));
    field->setClearButtonEnabled(true);
    field->installEventFilter(this);
    previousButton->setAccessibleName(tr("Previous match"));
    previousButton->setToolTip(tr("Find the previous match (Shift+F3)"));
    nextButton->setAccessibleName(tr("Next match"));
    nextButton->setToolTip(tr("Find the next match (F3)"));
    for (QPushButton *button : {previousButton, nextButton}) {
        button->setAutoDefault(false);
        button->setFocusPolicy(Qt::TabFocus);
    }
    matchCase->setAccessibleName(tr("Match case"));
    countLabel->setAccessibleDescription(tr("Count of matches"));
    countLabel->setTextInteractionFlags(Qt::TextSelectableByKeyboard);
    // Room for a usual count, so that the field does not jump as the count grows.
    countLabel->setMinimumWidth(countLabel->fontMetrics().horizontalAdvance(tr("9999 of 9999 so far")));
    auto *closeButton = new QToolButton(this);
    closeButton->setText(QStringLiteral("×"));
    closeButton->setAutoRaise(true);
    closeButton->setAccessibleName(tr("Close find bar"));
    closeButton->setToolTip(tr("Close (Esc)"));

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(field, 1);
    layout->addWidget(previousButton);
    layout->addWidget(nextButton);
    layout->addWidget(matchCase);
    layout->addWidget(countLabel);
    layout->addWidget(wrapLabel);
    layout->addWidget(closeButton);
    setFocusProxy(field);

    slices.setSingleShot(true);
    slices.setInterval(0);
    connect(&slices, &QTimer::timeout, this, &FindBar::work);
    connect(field, &QLineEdit::textEdited, this, &FindBar::restart);
    connect(matchCase, &QCheckBox::toggled, this, &FindBar::restart);
    connect(previousButton, &QPushButton::clicked, this, &FindBar::findPrevious);
    connect(nextButton, &QPushButton::clicked, this, &FindBar::findNext);
    connect(closeButton, &QToolButton::clicked, this, &FindBar::dismiss);
    auto *escape = new QShortcut(QKeySequence::Cancel, this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, &FindBar::dismiss);
    hide();
}

FindBar::~FindBar() = default;

void FindBar::setLog(LogView *view)
{
    log = view;
    finder = std::make_unique<LogSearch>(view->logText());
    view->addHighlighter(this);
    connect(view, &LogView::textAppended, this, [this] {
        if (!isHidden() && finder->hasWork() && !slices.isActive())
            slices.start();
    });
    connect(view, &LogView::textReplaced, this, [this] {
        finder->textReplaced();
        showWhenFound = false;
        wrapLabel->clear();
        showStatus(true);
        if (!isHidden())
            slices.start();
    });
}

void FindBar::open()
{
    const bool wasHidden = isHidden();
    // The bar takes its room from the log: a caret in view stays in view, and so the search
    // starts from it.
    const bool caretShown = wasHidden && caretInView();
    show();
    if (caretShown && parentWidget() != nullptr && parentWidget()->layout() != nullptr) {
        parentWidget()->layout()->activate();
        log->ensureVisible(log->cursorPosition());
    }
    field->setFocus(Qt::ShortcutFocusReason);
    field->selectAll();
    if (wasHidden) {
        if (finder->hasWork())
            slices.start();
        log->highlightsChanged();
    }
}

void FindBar::dismiss()
{
    hide();
    slices.stop();
    log->highlightsChanged();
    log->setFocus(Qt::OtherFocusReason);
}

void FindBar::restart()
{
    finder->setPattern(field->text(), matchCase->isChecked() ? Qt::CaseSensitive : Qt::CaseInsensitive);
    wrapLabel->clear();
    log->highlightsChanged();
    if (field->text().isEmpty()) {
        showWhenFound = false;
        showStatus(true);
        return;
    }
    finder->find(startPoint(), LogSearch::Direction::Forward);
    direction = LogSearch::Direction::Forward;
    showWhenFound = true;
    // The first slice runs at once, so a match near the start point shows with the key that asked.
    work();
}

void FindBar::findNext()
{
    find(LogSearch::Direction::Forward);
}

void FindBar::findPrevious()
{
    find(LogSearch::Direction::Backward);
}

void FindBar::find(LogSearch::Direction direction)
{
    if (isHidden())
        open();
    if (field->text().isEmpty())
        return;
    const bool forward = direction == LogSearch::Direction::Forward;
    // From the current match while it is still what the log has selected, otherwise from the caret.
    qsizetype from = startPoint();
    if (currentIsSelected())
        from = *finder->current() + (forward ? 1 : 0);
    else if (forward && log->selectionEnd() > log->selectionStart())
        from = log->selectionStart() + 1;
    finder->find(from, direction);
    this->direction = direction;
    showWhenFound = true;
    wrapLabel->clear();
    work();
}

bool FindBar::currentIsSelected() const
{
    const std::optional<qsizetype> current = finder->current();
    return current && log->selectionStart() == *current && log->selectionEnd() == *current + finder->pattern().size();
}

bool FindBar::caretInView() const
{
    return log->viewport()->rect().intersects(log->characterRect(log->cursorPosition()));
}

qsizetype FindBar::startPoint() const
{
    if (log->selectionEnd() > log->selectionStart())
        return log->selectionStart();
    if (caretInView())
        return log->cursorPosition();
    return log->lineStartAt(log->positionAt(QPoint(0, 0)));
}

void FindBar::work()
{
    QElapsedTimer slice;
    slice.start();
    const bool wasFinding = finder->isFinding();
    bool more = true;
    while (more && slice.nsecsElapsed() < sliceNanoseconds)
        more = finder->step(piecePositions);
    if (wasFinding && !finder->isFinding())
        showMatch();
    const bool indexFound = finder->currentIndex() != shownIndex;
    showStatus(!more || indexFound || !sinceShown.isValid() || sinceShown.elapsed() >= announceMilliseconds);
    if (more && !isHidden())
        slices.start();
}

void FindBar::showMatch()
{
    if (!showWhenFound)
        return;
    showWhenFound = false;
    const std::optional<qsizetype> current = finder->current();
    if (!current)
        return;
    const qsizetype end = *current + finder->pattern().size();
    log->setSelection(*current, end);
    // Its end first, then its start, so that a match wider than the view shows where it begins.
    log->ensureVisible(end);
    log->ensureVisible(*current);
    if (finder->wrapped())
        wrapLabel->setText(direction == LogSearch::Direction::Forward ? tr("Wrapped to the top") : tr("Wrapped to the bottom"));
}

QString FindBar::status() const
{
    return countLabel->text();
}

void FindBar::showStatus(bool now)
{
    QString text;
    const qsizetype count = finder->count();
    const bool counted = finder->isCounted();
    if (finder->pattern().isEmpty())
        text.clear();
    else if (finder->current() && finder->currentIndex())
        text = counted ? tr("%1 of %2").arg(*finder->currentIndex()).arg(count) : tr("%1 of %2 so far").arg(*finder->currentIndex()).arg(count);
    else if (finder->isFinding() && count == 0)
        text = tr("Searching…");
    else if (counted && count == 0)
        text = tr("No matches");
    else
        text = (count == 1 ? tr("1 match") : tr("%1 matches").arg(count)) + (counted ? QString() : tr(" so far"));
    if ((text == countLabel->text() && said(text) == field->accessibleDescription()) || (!now && !countLabel->text().isEmpty()))
        return;
    countLabel->setText(text);
    shownIndex = finder->currentIndex();
    sinceShown.start();
    announce(text);
}

QString FindBar::said(const QString &count) const
{
    return wrapLabel->text().isEmpty() ? count : count + QStringLiteral(", ") + wrapLabel->text();
}

void FindBar::announce(const QString &text)
{
    field->setAccessibleDescription(said(text));
    if (QAccessible::isActive()) {
        QAccessibleEvent changed(countLabel, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&changed);
        QAccessibleEvent described(field, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&described);
    }
}

void FindBar::highlightsIn(qsizetype start, qsizetype end, std::vector<LogHighlight> &into) const
{
    if (isHidden() || !finder || finder->pattern().isEmpty())
        return;
    QTextCharFormat format;
    format.setBackground(matchBackground(palette()));
    format.setForeground(palette().color(QPalette::Base).lightness() >= 128 ? QColor(Qt::black) : QColor(Qt::white));
    for (const qsizetype match : finder->matchesIn(start, end))
        into.push_back({.start = match, .end = match + finder->pattern().size(), .format = format});
}

bool FindBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == field && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event); // NOLINT(cppcoreguidelines-pro-type-static-cast-downcast): a key press is a QKeyEvent
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (key->modifiers() & Qt::ShiftModifier)
                findPrevious();
            else
                findNext();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
