#include "app/chunkpause.h"

#include <QThread>

#include <atomic>

#ifdef Q_OS_WIN
#include <windows.h>
// (After windows.h, which declares the types it uses.)
#include <timeapi.h>

// Defined by newer Windows headers than some MinGW releases ship.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif
#endif

namespace {

std::atomic<bool> fallbackForced{false};
std::atomic<int> raised{0};

} // namespace

void ChunkPause::forceFallback(bool force)
{
    fallbackForced = force;
}

int ChunkPause::raisedResolutions()
{
    return raised;
}

ChunkPause::ChunkPause()
{
#ifdef Q_OS_WIN
    if (!fallbackForced) {
        handle = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                        TIMER_ALL_ACCESS);
        if (handle) {
            kind = Timer::HighResolution;
            return;
        }
    }
    if (timeBeginPeriod(1) == TIMERR_NOERROR) {
        ++raised;
        kind = Timer::RaisedResolution;
    } else {
        kind = Timer::Sleep; // no better to be had
    }
#endif
}

ChunkPause::~ChunkPause()
{
#ifdef Q_OS_WIN
    if (handle)
        CloseHandle(handle);
    if (kind == Timer::RaisedResolution) {
        timeEndPeriod(1);
        --raised;
    }
#endif
}

void ChunkPause::pause()
{
#ifdef Q_OS_WIN
    if (kind == Timer::HighResolution) {
        LARGE_INTEGER due;
        due.QuadPart = -10000; // relative, in units of 100 ns
        if (SetWaitableTimer(handle, &due, 0, nullptr, nullptr, FALSE) &&
            WaitForSingleObject(handle, INFINITE) == WAIT_OBJECT_0)
            return;
    }
    Sleep(1);
#else
    QThread::msleep(1);
#endif
}
