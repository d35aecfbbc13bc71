#include "platform/log/MessageNavigator.h"

#include "platform/log/LogView.h"

#include <QEvent>
#include <QLabel>

MessageNavigator::MessageNavigator(LogView *view, QLabel *countLabel)
    : QObject(view)
    , view(view)
    , label(countLabel)
{
    countTimer.setSingleShot(true);
    countTimer.setInterval(100);
    connect(&countTimer, &QTimer::timeout, this, &MessageNavigator::showCount);
    connect(view, &LogView::textReplaced, this, &MessageNavigator::restart);
    connect(view, &LogView::textAppended, this, [this](qsizetype, QStringView appended) { follow(appended); });
    messages.setBackground(view->palette().color(QPalette::Base));
    view->installEventFilter(this);
    view->addHighlighter(&messages);
    restart();
}

QString MessageNavigator::countText(qsizetype errors, qsizetype warnings)
{
    QStringList counts;
    if (errors > 0)
        counts << (errors == 1 ? tr("1 error") : tr("%1 errors").arg(errors));
    if (warnings > 0)
        counts << (warnings == 1 ? tr("1 warning") : tr("%1 warnings").arg(warnings));
    return counts.join(tr(", "));
}

void MessageNavigator::next()
{
    if (messages.size() == 0)
        return;
    const qsizetype index = messages.firstFrom(view->selectionEnd());
    select(index < messages.size() ? index : 0);
}

void MessageNavigator::previous()
{
    if (messages.size() == 0)
        return;
    const qsizetype index = messages.firstFrom(view->selectionStart()) - 1;
    select(index >= 0 ? index : messages.size() - 1);
}

void MessageNavigator::select(qsizetype index)
{
    const LogMessages::Message message = messages.at(index);
    view->setSelection(message.end, message.start);
    view->ensureVisible(message.end);
    view->ensureVisible(message.start);
    view->setFocus(Qt::ShortcutFocusReason);
}

void MessageNavigator::restart()
{
    messages.clear();
    following = true;
    follow(view->textRange(0, view->length()));
    showCount();
}

void MessageNavigator::follow(QStringView appended)
{
    if (!following)
        return;
    try {
        messages.append(appended);
    } catch (const std::bad_alloc &) {
        following = false;
    }
    if (!countTimer.isActive())
        countTimer.start();
}

void MessageNavigator::showCount()
{
    countTimer.stop();
    const QString text = countText(messages.errorCount(), messages.warningCount());
    if (label->text() != text)
        label->setText(text);
}

bool MessageNavigator::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == view && event->type() == QEvent::PaletteChange) {
        messages.setBackground(view->palette().color(QPalette::Base));
        view->highlightsChanged();
    }
    return QObject::eventFilter(watched, event);
}
