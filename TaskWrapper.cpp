#include "TaskWrapper.h"

#include "platform/process/ChildReaper.h"

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
        finish();
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
    if (output)
        disconnect(output.get(), nullptr, this, nullptr);
    if (task)
        task->signal(SIGTERM, ChildProcess::Reach::WholeGroup);

    auto deadline = std::chrono::steady_clock::now() + terminationGracePeriod;
    bool killed = false;
    drain(deadline, killed);
    if (task) {
        if (!killed) {
            task->waitForExit(deadline);
            deadline = std::chrono::steady_clock::now() + killGracePeriod;
        }
        // The child past its grace, or what it left running in its group.
        task->signal(SIGKILL, ChildProcess::Reach::WholeGroup);
        task->waitForExit(deadline);
    }
    finish();
}

void TaskWrapper::finish()
{
    if (output)
        output->close();
    deliver(decoder.flush());
    if (task)
        ChildReaper::reapInBackground(std::move(task), terminationGracePeriod);

    if (auto *finished = std::exchange(controller, nullptr))
        finished->processFinished();
}

// When output was waiting as the stop came, hands it over and what follows it, to end of stream;
// when nothing was waiting, reads nothing. From the deadline on nothing more is read: something
// outside the child's group may keep the pipe full for ever. Once the child itself is gone,
// whatever still holds the pipe is something it left behind, which gets no grace period of its own.
void TaskWrapper::drain(ChildProcess::Deadline &deadline, bool &killed)
{
    if (!output || output->fileDescriptor() <= 0)
        return;
    const auto waiting = output->bytesWaiting();
    if (!waiting || *waiting <= 0)
        return;
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        if (!killed && task && (now >= deadline || task->hasExited())) {
            task->signal(SIGKILL, ChildProcess::Reach::WholeGroup);
            killed = true;
            deadline = now + killGracePeriod;
        }
        if (now >= deadline)
            return;
        const auto chunk = output->availableData(std::min(deadline, now + exitCheckInterval));
        if (chunk && chunk->isEmpty())
            return;
        if (chunk)
            deliver(decoder.decode(*chunk));
    }
}
