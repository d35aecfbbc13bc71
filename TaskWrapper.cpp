#include "TaskWrapper.h"

#include "platform/process/ChildReaper.h"
#include "platform/process/PaintingWait.h"

#include <QScopedValueRollback>

#include <algorithm>
#include <csignal>
#include <utility>

TaskWrapper::TaskWrapper(TaskWrapperController *controller, QByteArrayList arguments, ChildProcess::ExitNotice exitNotice)
    : controller(controller)
    , arguments(std::move(arguments))
    , exitNotice(exitNotice)
{
}

TaskWrapper::~TaskWrapper()
{
    stopProcess();
}

void TaskWrapper::startProcess()
{
    controller->processStarted();
    task = std::make_unique<ChildProcess>(exitNotice);
    try {
        OutputPipe pipe = OutputPipe::create();
        output = std::make_unique<PipeReader>(std::move(pipe.readEnd));
        connect(output.get(), &PipeReader::readCompleted, this, &TaskWrapper::getData);
        output->readInBackgroundAndNotify();
        task->launch(arguments, std::move(pipe.writeEnd));
    } catch (const LaunchError &) {
        controller->processStartedFailed();
        stopProcess();
    }
}

void TaskWrapper::getData(const QByteArray &data)
{
    // At end of stream there is nothing to drain and nothing to wait for: the child alone is asked
    // to end, and whatever it started and left running, its output closed, is left alone.
    if (data.isEmpty()) {
        disconnect(output.get(), nullptr, this, nullptr);
        task->signal(SIGTERM, ChildProcess::Reach::ChildOnly);
        finish(terminationGracePeriod, ChildProcess::Reach::ChildOnly);
        return;
    }
    deliver(decoder.decode(data));
    output->readInBackgroundAndNotify();
}

void TaskWrapper::deliver(const QString &text)
{
    if (controller && !text.isEmpty())
        controller->appendOutput(text);
}

void TaskWrapper::stopProcess()
{
    if (stopping)
        return;
    const QScopedValueRollback inStop(stopping, true);
    if (output) {
        disconnect(output.get(), nullptr, this, nullptr);
        // The main loop runs during the drain, and the drain alone reads from here on.
        output->cancelBackgroundRead();
    }
    if (task)
        task->signal(SIGTERM, ChildProcess::Reach::WholeGroup);
    finish(drain(), ChildProcess::Reach::WholeGroup);
}

void TaskWrapper::finish(std::chrono::milliseconds killAfter, ChildProcess::Reach reach)
{
    if (output)
        output->close();
    deliver(decoder.flush());
    if (task)
        ChildReaper::reapInBackground(std::move(task), killAfter, reach);

    if (auto *finished = std::exchange(controller, nullptr))
        finished->processFinished();
}

// When output was waiting as the stop came, hands it over and what follows it, to end of stream;
// when nothing was waiting, reads nothing. From the deadline on nothing more is read: something
// outside the child's group may keep the pipe full for ever. Once the child itself is gone,
// whatever still holds the pipe is something it left behind, which gets no grace period of its own.
std::chrono::milliseconds TaskWrapper::drain()
{
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + terminationGracePeriod;
    if (!output || output->fileDescriptor() <= 0)
        return terminationGracePeriod;
    const auto waiting = output->bytesWaiting();
    if (!waiting || *waiting <= 0)
        return terminationGracePeriod;
    PaintingWait wait;
    bool killed = false;
    for (;;) {
        const auto now = Clock::now();
        if (!killed && task && (now >= deadline || task->hasExited())) {
            task->signal(SIGKILL, ChildProcess::Reach::WholeGroup);
            killed = true;
            deadline = now + killGracePeriod;
        }
        if (now >= deadline)
            break;
        if (!wait.waitForReadable(output->fileDescriptor(), std::min(deadline, now + exitCheckInterval)))
            continue;
        const auto chunk = output->availableData(Clock::now());
        if (chunk && chunk->isEmpty())
            break;
        if (chunk)
            deliver(decoder.decode(*chunk));
    }
    if (killed)
        return std::chrono::milliseconds::zero();
    return std::max(std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()), std::chrono::milliseconds::zero());
}
