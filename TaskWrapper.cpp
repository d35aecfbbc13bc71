#include "TaskWrapper.h"

#include <algorithm>
#include <utility>

TaskWrapper::TaskWrapper(TaskWrapperController *controller, QByteArrayList arguments)
    : controller(controller)
    , arguments(std::move(arguments))
{
}

TaskWrapper::~TaskWrapper()
{
    stopProcess();
}

void TaskWrapper::startProcess()
{
    controller->processStarted();
    task = std::make_unique<ChildProcess>();
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
    if (data.isEmpty()) {
        stopProcess();
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
        task->terminate();

    auto deadline = std::chrono::steady_clock::now() + terminationGracePeriod;
    bool killed = false;
    drain(deadline, killed);
    if (task && !task->waitForExit(deadline) && !killed) {
        task->kill();
        task->waitForExit(std::chrono::steady_clock::now() + killGracePeriod);
    }
    if (output)
        output->close();
    deliver(decoder.flush());

    if (auto *finished = std::exchange(controller, nullptr))
        finished->processFinished();
}

// Only what was already waiting when the stop came is read, to end of stream; a child that keeps
// the pipe open past the deadline loses the rest. Once the child itself is gone, whatever still holds
// the pipe is something it left behind, which gets no grace period of its own.
void TaskWrapper::drain(ChildProcess::Deadline &deadline, bool &killed)
{
    if (!output || output->fileDescriptor() <= 0)
        return;
    const auto waiting = output->bytesWaiting();
    if (!waiting || *waiting <= 0)
        return;
    for (;;) {
        const auto chunk = output->availableData(std::min(deadline, std::chrono::steady_clock::now() + exitCheckInterval));
        if (chunk && chunk->isEmpty())
            return;
        if (chunk) {
            deliver(decoder.decode(*chunk));
            continue;
        }
        const bool pastDeadline = std::chrono::steady_clock::now() >= deadline;
        if (killed) {
            if (pastDeadline)
                return;
            continue;
        }
        if (!task)
            return;
        if (pastDeadline || !task->isRunning()) {
            task->kill();
            killed = true;
            deadline = std::chrono::steady_clock::now() + killGracePeriod;
        }
    }
}
